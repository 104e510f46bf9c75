// The volumes the user may search, with the pure rules that shape the list: which volumes are
// kept, their order, the line shown for each, size texts and the cache-room check. The volume
// walk itself is in drive_list_win.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t drive_type_unknown = 0;
constexpr uint32_t drive_type_removable = 2;
constexpr uint32_t drive_type_fixed = 3;
constexpr uint32_t drive_type_remote = 4;
constexpr uint32_t drive_type_cdrom = 5;

constexpr size_t max_display_label_chars = 1024;

struct drive_info_t {
    std::u16string device_name;   // \Device\HarddiskVolume3
    std::u16string volume_name;   // \\?\Volume{GUID}\ as the walk returns it
    std::u16string label;
    std::u16string file_system;
    std::u16string display_label;
    std::u16string root_path;     // first mount path, or the device path when there is none
    std::vector<std::u16string> mount_paths;
    uint32_t fs_flags = 0;
    uint32_t drive_type = drive_type_unknown;
    uint64_t total_bytes = 0;
    uint64_t free_bytes = 0;
};

// The process-wide list, replaced as a whole by refresh_drive_list on the user-interface thread.
extern std::vector<drive_info_t> drive_list;

// True for \\?\...\ ; the middle part (without prefix and final backslash) is what
// QueryDosDeviceW is asked about.
bool is_volume_path(std::u16string_view path);
std::u16string volume_path_middle(std::u16string_view path);

// Optical and network drives are never listed; fixed disks only for an administrator.
bool is_drive_listed(uint32_t drive_type, bool is_admin);

// Highest first mount path first (ordinal, case-sensitive); volumes without one come last.
void sort_drive_list(std::vector<drive_info_t>& drives);

std::u16string make_display_label(const drive_info_t& drive);

// 1024-based short size: "1024B", "1.00K", "7.40G"; always a full stop as decimal point.
std::u16string format_size(int64_t bytes);

// Index of the first drive whose root begins with the letter of the cache folder, or -1.
int find_cache_drive();
// True unless the chosen card is larger than the free space of the drive holding the cache.
bool cache_has_room(int index);

// True when the folder is one of the mount paths or lies below one; letters compared without
// case, forward slashes read as backslashes. Whether a folder lies on a volume is decided by the
// volume itself where the system can tell (drive_list_win.h); this is what is left otherwise.
bool is_below_mount_path(std::u16string_view folder, const std::vector<std::u16string>& mount_paths);
