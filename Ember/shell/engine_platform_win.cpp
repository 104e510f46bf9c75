// The engine on Windows: volumes, drive letters, physical drives and image files opened
// read-only, sector-aligned reads, the work-folder check against the scanned volume, and the
// client end of the front end's pipe.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <string>

#include "contract/ansi_text_win.h"
#include "core/aligned_buffer.h"
#include "core/sector_retry.h"
#include "engine_platform.h"

namespace ember {
namespace {

constexpr size_t bounce_size = 1024 * 1024;
constexpr uint64_t max_probed_sectors = uint64_t(1) << 41;  // 1 PiB

// The command line's names, in the code page the front end wrote them in.
std::wstring widen(const std::string& text) {
    std::u16string wide = from_ansi(text);
    return std::wstring(wide.begin(), wide.end());
}

std::wstring lowered(std::wstring text) {
    for (wchar_t& c : text) c = wchar_t(std::towlower(c));
    return text;
}

bool is_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// How the command line names the source.
struct source_name_t {
    enum class kind_t { volume, drive, physical, image } kind = kind_t::image;
    std::wstring open_path;  // what CreateFileW opens
    wchar_t letter = 0;      // the drive letter, when it has one
    std::wstring volume;     // \\?\Volume{GUID}\ when known
};

std::wstring volume_of_mount_point(const std::wstring& mount_point) {
    wchar_t name[MAX_PATH] = {};
    if (!GetVolumeNameForVolumeMountPointW(mount_point.c_str(), name, MAX_PATH)) return {};
    return lowered(name);
}

wchar_t letter_of_volume(const std::wstring& volume) {
    wchar_t names[1024] = {};
    DWORD length = 0;
    if (!GetVolumePathNamesForVolumeNameW(volume.c_str(), names, 1024, &length)) return 0;
    for (const wchar_t* p = names; *p; p += wcslen(p) + 1)
        if (is_letter(p[0]) && p[1] == L':') return wchar_t(std::towupper(p[0]));
    return 0;
}

source_name_t name_source(const std::string& source) {
    std::wstring text = widen(source);
    source_name_t name;
    std::wstring low = lowered(text);
    if (low.rfind(L"\\\\?\\volume{", 0) == 0) {
        name.kind = source_name_t::kind_t::volume;
        name.volume = low.back() == L'\\' ? low : low + L"\\";
        name.letter = letter_of_volume(name.volume);
        // The volume itself cannot be read everywhere (Wine): its drive letter can.
        name.open_path = name.letter ? std::wstring(L"\\\\.\\") + name.letter + L":"
                                     : name.volume.substr(0, name.volume.size() - 1);
    } else if ((text.size() == 2 || (text.size() == 3 && text[2] == L'\\')) && is_letter(text[0]) && text[1] == L':') {
        name.kind = source_name_t::kind_t::drive;
        name.letter = wchar_t(std::towupper(text[0]));
    } else if (low.size() == 6 && low.rfind(L"\\\\.\\", 0) == 0 && is_letter(low[4]) && low[5] == L':') {
        name.kind = source_name_t::kind_t::drive;
        name.letter = wchar_t(std::towupper(low[4]));
    } else if (low.rfind(L"\\\\.\\physicaldrive", 0) == 0) {
        name.kind = source_name_t::kind_t::physical;
        name.open_path = text;
    } else {
        name.open_path = text;
    }
    if (name.kind == source_name_t::kind_t::drive) {
        name.open_path = std::wstring(L"\\\\.\\") + name.letter + L":";
        name.volume = volume_of_mount_point(std::wstring(1, name.letter) + L":\\");
    }
    return name;
}

// Errors that say the device itself is gone rather than one read failing: a card pulled out
// (not ready, no media), a reader unplugged (not connected, removed, no such device), a volume
// dismounted under the handle (file invalid) or a card swapped (media changed).
constexpr DWORD error_no_such_device = 433;  // ERROR_NO_SUCH_DEVICE, missing from mingw's headers

bool is_gone_error(DWORD error) {
    switch (error) {
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_INVALID:
    case ERROR_MEDIA_CHANGED:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case error_no_such_device:
        return true;
    default:
        return false;
    }
}

class win_reader_c final : public raw_reader_i {
public:
    win_reader_c(HANDLE file, bool is_device) : file_(file), is_device_(is_device) {
        bounce_.resize(bounce_size);
    }
    ~win_reader_c() override { CloseHandle(file_); }

    // One read, whatever the size, for finding the end of a device that does not tell it.
    bool can_read_sector(uint64_t sector) {
        aligned_buffer_c buffer(sector_size);
        return read_raw(sector * sector_size, buffer.data(), sector_size) == int64_t(sector_size);
    }

    // Devices read in whole sectors at sector offsets into aligned memory, as unbuffered reads
    // must; the caller's buffer is used directly when it is aligned, otherwise through bounce_.
    int64_t read_raw(uint64_t offset, uint8_t* buf, size_t len) override {
        std::lock_guard lock(mutex_);
        bool is_aligned = reinterpret_cast<uintptr_t>(buf) % aligned_buffer_c::alignment == 0 &&
                          offset % sector_size == 0 && len % sector_size == 0;
        if (is_aligned || !is_device_) return read_direct(offset, buf, len);
        size_t done = 0;
        while (done < len) {
            size_t piece = std::min(len - done, bounce_size);
            size_t rounded = (piece + sector_size - 1) / sector_size * sector_size;
            int64_t got = read_direct(offset + done, bounce_.data(), rounded);
            if (got < 0) return got;
            size_t useful = std::min<size_t>(size_t(got), piece);
            std::memcpy(buf + done, bounce_.data(), useful);
            done += useful;
            if (size_t(got) < rounded) break;
        }
        return int64_t(done);
    }

private:
    int64_t read_direct(uint64_t offset, uint8_t* buf, size_t len) {
        size_t done = 0;
        while (done < len) {
            OVERLAPPED at{};
            uint64_t position = offset + done;
            at.Offset = DWORD(position);
            at.OffsetHigh = DWORD(position >> 32);
            DWORD want = DWORD(std::min<size_t>(len - done, 64 * 1024 * 1024));
            DWORD got = 0;
            if (!ReadFile(file_, buf + done, want, &got, &at)) {
                DWORD error = GetLastError();
                if (error == ERROR_HANDLE_EOF) break;
                return is_gone_error(error) ? raw_device_gone : raw_read_failed;
            }
            if (got == 0) break;
            done += got;
        }
        return int64_t(done);
    }

    HANDLE file_;
    bool is_device_;
    aligned_buffer_c bounce_;
    std::mutex mutex_;  // bounce_ serves one read at a time
};

// The last readable sector, found by reading: doubling, then halving.
uint64_t size_by_reading(win_reader_c& source) {
    if (!source.can_read_sector(0)) return 0;
    uint64_t good = 0, bad = 1;
    while (bad < max_probed_sectors && source.can_read_sector(bad)) {
        good = bad;
        bad *= 2;
    }
    while (bad - good > 1) {
        uint64_t middle = good + (bad - good) / 2;
        (source.can_read_sector(middle) ? good : bad) = middle;
    }
    return (good + 1) * sector_size;
}

std::wstring full_path(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return {};
    std::wstring full = lowered(buffer);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

// The disks a volume (\\.\X:) lies on; empty when that cannot be told.
std::wstring disks_of(const std::wstring& device) {
    HANDLE volume = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) return {};
    alignas(8) uint8_t bytes[4096] = {};
    DWORD got = 0;
    std::wstring disks;
    if (DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, bytes, sizeof bytes, &got, nullptr)) {
        auto* extents = reinterpret_cast<VOLUME_DISK_EXTENTS*>(bytes);
        for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < 64; ++i)
            disks += L"\\\\.\\physicaldrive" + std::to_wstring(extents->Extents[i].DiskNumber) + L";";
    }
    CloseHandle(volume);
    return disks;
}

class pipe_channel_c final : public report_channel_i {
public:
    explicit pipe_channel_c(HANDLE pipe) : pipe_(pipe) {}
    ~pipe_channel_c() override {
        FlushFileBuffers(pipe_);
        CloseHandle(pipe_);
    }
    bool send(const pipe_packet_t& packet) override {
        uint8_t bytes[pipe_packet_size];
        encode_pipe_packet(packet, bytes);
        DWORD written = 0;
        return WriteFile(pipe_, bytes, sizeof bytes, &written, nullptr) && written == sizeof bytes;
    }
    void send_end() override {
        DWORD written = 0;
        WriteFile(pipe_, "", 0, &written, nullptr);
    }

private:
    HANDLE pipe_;
};

}  // namespace

std::unique_ptr<byte_source_i> open_scan_source(const std::string& source) {
    source_name_t name = name_source(source);
    bool is_device = name.kind != source_name_t::kind_t::image;
    HANDLE file = CreateFileW(name.open_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, is_device ? FILE_FLAG_NO_BUFFERING : FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    auto opened = std::make_unique<win_reader_c>(file, is_device);
    uint64_t size = 0;
    if (!is_device) {
        // A pipe or a console cannot be read at any offset: refused, not waited on.
        LARGE_INTEGER length{};
        if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &length)) size = uint64_t(length.QuadPart);
    } else {
        GET_LENGTH_INFORMATION length{};
        DWORD got = 0;
        if (DeviceIoControl(file, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &got, nullptr))
            size = uint64_t(length.Length.QuadPart) / sector_size * sector_size;
        if (size == 0) size = size_by_reading(*opened);
    }
    if (size == 0) return nullptr;
    return std::make_unique<device_source_c>(std::move(opened), size);
}

bool is_work_dir_on_source(const std::string& work_dir, const std::string& source) {
    source_name_t name = name_source(source);
    std::wstring folder = full_path(widen(work_dir));
    if (folder.empty()) return true;
    if (name.kind == source_name_t::kind_t::image) {
        std::wstring image = full_path(name.open_path);
        if (image.empty()) return true;
        // The work folder is the image, or holds it (a find could take its name).
        return image == folder || (image.size() > folder.size() && image.compare(0, folder.size(), folder) == 0 &&
                                   (folder.back() == L'\\' || image[folder.size()] == L'\\'));
    }
    wchar_t mount[MAX_PATH] = {};
    if (!GetVolumePathNameW(folder.c_str(), mount, MAX_PATH)) return true;
    std::wstring mount_point = lowered(mount);
    wchar_t folder_letter = is_letter(mount_point[0]) && mount_point[1] == L':' ? wchar_t(std::towupper(mount_point[0])) : 0;
    std::wstring folder_volume = volume_of_mount_point(mount_point);
    if (name.kind == source_name_t::kind_t::physical) {
        if (!folder_letter) return true;
        std::wstring disks = disks_of(std::wstring(L"\\\\.\\") + folder_letter + L":");
        if (disks.empty()) return true;  // cannot tell: never risk the disk being scanned
        return disks.find(lowered(name.open_path) + L";") != std::wstring::npos;
    }
    if (!name.volume.empty() && !folder_volume.empty() && name.volume == folder_volume) return true;
    if (name.letter && folder_letter == name.letter) return true;
    // A volume with neither a letter nor a name to compare: it cannot be told apart.
    return !name.letter && (name.volume.empty() || folder_volume.empty());
}

bool make_folders(const std::string& folder) {
    std::wstring path = widen(folder);
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || ((path[i] == L'\\' || path[i] == L'/') && i > 0 && path[i - 1] != L':')) {
            std::wstring partial = path.substr(0, i);
            if (!partial.empty()) CreateDirectoryW(partial.c_str(), nullptr);
        }
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

uint64_t now_ms() { return GetTickCount64(); }

std::unique_ptr<report_channel_i> connect_report_pipe() {
    const wchar_t* name = L"\\\\.\\pipe\\Ember";
    for (int attempt = 0; attempt < 20; ++attempt) {
        HANDLE pipe = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return std::make_unique<pipe_channel_c>(pipe);
        if (GetLastError() != ERROR_PIPE_BUSY) return nullptr;
        WaitNamedPipeW(name, 250);
    }
    return nullptr;
}

}  // namespace ember
