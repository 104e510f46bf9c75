#include "pages/drive_list_win.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "pages/drive_list.h"
#include "base/handles_win.h"

namespace {

constexpr DWORD volume_name_chars = 260;
constexpr DWORD first_mount_buffer_chars = 261;
constexpr DWORD detail_text_chars = 261;
// A multi-string of mount paths longer than this is not believed.
constexpr DWORD max_mount_buffer_chars = 1 << 16;

void read_mount_paths(drive_info_t& drive) {
    std::vector<wchar_t> buffer(first_mount_buffer_chars);
    DWORD needed = 0;
    BOOL ok = GetVolumePathNamesForVolumeNameW(wide(drive.volume_name), buffer.data(),
                                               static_cast<DWORD>(buffer.size()), &needed);
    if (!ok && GetLastError() == ERROR_MORE_DATA && needed > buffer.size() &&
        needed <= max_mount_buffer_chars) {
        buffer.assign(needed, L'\0');
        ok = GetVolumePathNamesForVolumeNameW(wide(drive.volume_name), buffer.data(),
                                              static_cast<DWORD>(buffer.size()), &needed);
    }
    if (!ok) return;
    // The list ends at an empty string; the buffer's end bounds it in case it is not ended.
    size_t at = 0;
    while (at < buffer.size() && buffer[at] != L'\0') {
        size_t end = at;
        while (end < buffer.size() && buffer[end] != L'\0') ++end;
        drive.mount_paths.push_back(from_wide(buffer.data() + at, end - at));
        at = end + 1;
    }
    if (!drive.mount_paths.empty()) drive.root_path = drive.mount_paths.front();
}

void read_volume_details(drive_info_t& drive) {
    if (drive.mount_paths.empty() || drive.mount_paths.front().empty()) return;
    const wchar_t* root = wide(drive.mount_paths.front());
    drive.drive_type = GetDriveTypeW(root);
    wchar_t label[detail_text_chars] = {};
    wchar_t file_system[detail_text_chars] = {};
    DWORD flags = 0;
    if (!GetVolumeInformationW(root, label, detail_text_chars, nullptr, nullptr, &flags,
                               file_system, detail_text_chars))
        return;
    label[detail_text_chars - 1] = L'\0';
    file_system[detail_text_chars - 1] = L'\0';
    drive.label = from_wide(label);
    drive.file_system = from_wide(file_system);
    drive.fs_flags = flags;
    ULARGE_INTEGER total{}, free{};
    if (!GetDiskFreeSpaceExW(root, nullptr, &total, &free)) return;
    drive.total_bytes = total.QuadPart;
    drive.free_bytes = free.QuadPart;
}

}  // namespace

void refresh_drive_list() {
    drive_list.clear();
    wchar_t volume[volume_name_chars] = {};
    volume_find_handle_c walk(FindFirstVolumeW(volume, volume_name_chars));
    if (!walk.is_valid()) return;
    bool is_admin = IsUserAnAdmin() != FALSE;
    do {
        volume[volume_name_chars - 1] = L'\0';
        std::u16string volume_name = from_wide(volume);
        if (!is_volume_path(volume_name)) continue;
        wchar_t device[volume_name_chars] = {};
        std::u16string middle = volume_path_middle(volume_name);
        if (QueryDosDeviceW(wide(middle), device, volume_name_chars) == 0) continue;
        device[volume_name_chars - 1] = L'\0';
        drive_info_t drive;
        drive.device_name = from_wide(device);
        drive.volume_name = volume_name;
        read_mount_paths(drive);
        if (drive.root_path.empty()) drive.root_path = drive.device_name;
        read_volume_details(drive);
        drive.display_label = make_display_label(drive);
        if (is_drive_listed(drive.drive_type, is_admin)) drive_list.push_back(std::move(drive));
    } while (FindNextVolumeW(walk.get(), volume, volume_name_chars));
    sort_drive_list(drive_list);
}

bool is_folder_on_drive(const std::u16string& folder, const drive_info_t& drive) {
    wchar_t mount[MAX_PATH + 1] = {};
    wchar_t volume[volume_name_chars] = {};
    if (!folder.empty() && GetVolumePathNameW(wide(folder), mount, MAX_PATH + 1) &&
        GetVolumeNameForVolumeMountPointW(mount, volume, volume_name_chars)) {
        volume[volume_name_chars - 1] = L'\0';
        return equals_ignoring_case(from_wide(volume), drive.volume_name);
    }
    return is_below_mount_path(folder, drive.mount_paths);
}
