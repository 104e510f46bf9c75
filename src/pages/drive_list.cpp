#include "pages/drive_list.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "base/settings.h"
#include "base/unicode_text.h"

std::vector<drive_info_t> drive_list;

namespace {

const std::u16string_view volume_prefix = u"\\\\?\\";

std::u16string ascii_to_u16(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string_view first_mount_path(const drive_info_t& drive) {
    return drive.mount_paths.empty() ? std::u16string_view() : std::u16string_view(drive.mount_paths.front());
}

}  // namespace

bool is_volume_path(std::u16string_view path) {
    return path.size() > volume_prefix.size() && path.substr(0, volume_prefix.size()) == volume_prefix &&
           path.back() == u'\\';
}

std::u16string volume_path_middle(std::u16string_view path) {
    if (!is_volume_path(path)) return {};
    return std::u16string(path.substr(volume_prefix.size(), path.size() - volume_prefix.size() - 1));
}

bool is_drive_listed(uint32_t drive_type, bool is_admin) {
    if (drive_type == drive_type_cdrom || drive_type == drive_type_remote) return false;
    if (drive_type == drive_type_fixed) return is_admin;
    return true;
}

void sort_drive_list(std::vector<drive_info_t>& drives) {
    std::sort(drives.begin(), drives.end(), [](const drive_info_t& a, const drive_info_t& b) {
        return first_mount_path(a) > first_mount_path(b);
    });
}

std::u16string make_display_label(const drive_info_t& drive) {
    if (drive.root_path.empty()) return {};
    uint64_t percent = drive.total_bytes == 0 ? 0 : drive.free_bytes * 100 / drive.total_bytes;
    std::u16string root = drive.root_path;
    if (!root.empty() && root.back() == u'\\') root.pop_back();
    char number[24];
    std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(percent));
    std::u16string text = u"Drive " + root + u" " + drive.file_system + u" " + ascii_to_u16(number) + u"% Free";
    if (!drive.label.empty()) text += u" - " + drive.label;
    if (text.size() > max_display_label_chars) text.resize(max_display_label_chars);
    return text;
}

std::u16string format_size(int64_t bytes) {
    char text[32];
    if (bytes <= 1024) {
        std::snprintf(text, sizeof text, "%dB", static_cast<int32_t>(static_cast<uint32_t>(bytes)));
        return ascii_to_u16(text);
    }
    double value;
    char unit;
    if (bytes <= (int64_t(1) << 20)) {
        value = static_cast<double>(bytes) / 1024;
        unit = 'K';
    } else if (bytes <= (int64_t(1) << 30)) {
        value = static_cast<double>(bytes) / (1 << 20);
        unit = 'M';
    } else {
        value = static_cast<double>(bytes) / (1 << 30);
        unit = 'G';
    }
    // to_chars ignores the locale, so the decimal point is a full stop everywhere.
    auto result = std::to_chars(text, text + sizeof text - 2, value, std::chars_format::fixed, 2);
    *result.ptr++ = unit;
    *result.ptr = '\0';
    return ascii_to_u16(text);
}

int find_cache_drive() {
    if (settings.cache_path.empty()) return -1;
    char16_t letter = fold_case(settings.cache_path.front());
    for (size_t i = 0; i < drive_list.size(); ++i) {
        const std::u16string& root = drive_list[i].root_path;
        if (!root.empty() && fold_case(root.front()) == letter) return static_cast<int>(i);
    }
    return -1;
}

bool cache_has_room(int index) {
    int cache_drive = find_cache_drive();
    if (cache_drive < 0) return true;
    if (index < 0 || static_cast<size_t>(index) >= drive_list.size()) return true;
    return drive_list[static_cast<size_t>(index)].total_bytes <= drive_list[static_cast<size_t>(cache_drive)].free_bytes;
}

bool is_below_mount_path(std::u16string_view folder, const std::vector<std::u16string>& mount_paths) {
    std::u16string path(folder);
    for (char16_t& c : path) {
        if (c == u'/') c = u'\\';
    }
    if (path.empty()) return false;
    if (path.back() != u'\\') path.push_back(u'\\');
    for (std::u16string mount : mount_paths) {
        if (mount.empty()) continue;
        if (mount.back() != u'\\') mount.push_back(u'\\');
        if (path.size() >= mount.size() && equals_ignoring_case(std::u16string_view(path).substr(0, mount.size()), mount))
            return true;
    }
    return false;
}
