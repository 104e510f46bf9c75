// FAT directories: 32-byte entries. A deleted entry keeps everything but the first byte of its
// name, so its extension, start cluster, size and times still stand. A long name lies in the
// entries just before its 8.3 entry, last part first, each with the 8.3 name's checksum.
#include <cstring>

#include "core/byte_order.h"
#include "entry_name.h"
#include "fs_directory.h"

namespace ember::fs {
namespace {

constexpr size_t entry_size = 32;
constexpr uint8_t attr_long_name = 0x0F, attr_volume = 0x08, attr_directory = 0x10;
constexpr uint8_t deleted_mark = 0xE5, end_mark = 0x00;
// A long name needs at most 20 entries (255 characters, 13 each).
constexpr uint8_t max_long_name_order = 20;

bool is_short_name_char(uint8_t c) {
    if (c < 0x20) return false;
    return std::strchr("\"*+,./:;<=>?[\\]|", c) == nullptr;
}

bool is_dot_entry(const uint8_t* e) {
    return std::memcmp(e, ".          ", 11) == 0 || std::memcmp(e, "..         ", 11) == 0;
}

void copy_extension(const uint8_t* e, char (&out)[8]) {
    size_t n = 0;
    for (int i = 8; i < 11; ++i) {
        uint8_t c = e[i];
        if (c == ' ') break;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            n = 0;
            break;
        }
        out[n++] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    out[n] = 0;
}

// Where a long-name entry keeps its 13 UTF-16 units.
constexpr int long_name_units[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
constexpr uint8_t last_part_flag = 0x40;

// The long name in the entries before the 8.3 entry at `at`, in units (little-endian, part 1
// first); returns how many units it has, 0 when none holds together. A live name's parts carry
// their order (1 nearest the 8.3 entry, the last one flagged); a deleted name's order bytes are
// lost (0xE5): its parts are the run of deleted long-name entries with one checksum, up to the
// part that holds the name's end.
size_t long_name_before(const uint8_t* data, size_t at, bool is_deleted, uint8_t* units, uint8_t& checksum) {
    size_t parts = 0;
    bool is_ended = false;
    for (size_t k = 1; k <= max_long_name_order && k * entry_size <= at && !is_ended; ++k) {
        const uint8_t* l = data + at - k * entry_size;
        if (l[11] != attr_long_name || l[12] != 0 || load_le16(l + 26) != 0) break;
        if (k > 1 && l[13] != checksum) break;
        checksum = l[13];
        if (is_deleted ? l[0] != deleted_mark : (l[0] & 0x1F) != k || (l[0] & 0x80) != 0) break;
        bool has_end = false;
        for (int u = 0; u < 13; ++u) {
            units[2 * (13 * (k - 1) + u)] = l[long_name_units[u]];
            units[2 * (13 * (k - 1) + u) + 1] = l[long_name_units[u] + 1];
            has_end = has_end || load_le16(l + long_name_units[u]) == 0;
        }
        parts = k;
        is_ended = is_deleted ? has_end : (l[0] & last_part_flag) != 0;
    }
    if (parts == 0 || (!is_deleted && !is_ended)) return 0;
    size_t count = 0;
    while (count < parts * 13 && count < max_name_units && load_le16(units + 2 * count) != 0) ++count;
    return count;
}

// True when the long name's checksum is that of the 8.3 name; for a deleted entry, of the 8.3
// name with some first character (the checksum changes with every first byte, so one fits).
bool checksum_matches(const uint8_t* e, bool is_deleted, uint8_t checksum) {
    if (!is_deleted) return short_name_checksum(e) == checksum;
    uint8_t name[11];
    std::memcpy(name, e, 11);
    for (int c = 0; c < 256; ++c) {
        name[0] = uint8_t(c);
        if (short_name_checksum(name) == checksum) return c == 0x05 || (c != ' ' && is_short_name_char(uint8_t(c)));
    }
    return false;
}

void read_name(const uint8_t* data, size_t at, bool is_deleted, std::string& names, dir_item_t& item) {
    const uint8_t* e = data + at;
    uint8_t units[2 * 13 * max_long_name_order];
    uint8_t checksum = 0;
    size_t count = long_name_before(data, at, is_deleted, units, checksum);
    size_t before = names.size();
    if (count && checksum_matches(e, is_deleted, checksum)) append_utf16_name(units, count, names);
    else append_short_name(e, is_deleted, names);
    item.name_at = uint32_t(before);
    item.name_size = uint16_t(names.size() - before);
}

uint32_t first_cluster(const fs_volume_t& v, const uint8_t* e) {
    uint32_t high = v.type == fs_type_t::fat32 ? load_le16(e + 20) : 0;
    return high << 16 | load_le16(e + 26);
}

// One slot of a directory cluster: 1 a file or folder, 0 another sound entry, -1 not an entry.
int classify_slot(const fs_volume_t& v, const uint8_t* e) {
    uint8_t attr = e[11];
    if (attr == attr_long_name) {
        uint8_t order = e[0] & 0x1F;
        bool sound_order = e[0] == deleted_mark || ((e[0] & 0xA0) == 0 && order >= 1 && order <= max_long_name_order);
        return sound_order && e[12] == 0 && load_le16(e + 26) == 0 ? 0 : -1;
    }
    if ((attr & 0xC0) != 0 || (e[12] & 0xE7) != 0) return -1;
    if (is_dot_entry(e)) return (attr & attr_directory) ? 0 : -1;
    if (e[0] != deleted_mark && e[0] != 0x05 && !is_short_name_char(e[0])) return -1;
    if (e[0] == ' ') return -1;
    for (int i = 1; i < 11; ++i)
        if (!is_short_name_char(e[i])) return -1;
    if (v.type != fs_type_t::fat32 && load_le16(e + 20) != 0) return -1;
    if (attr & attr_volume) return (attr & attr_directory) ? -1 : 0;
    uint32_t cluster = first_cluster(v, e);
    if (cluster != 0 && !v.is_cluster(cluster) && e[0] != deleted_mark) return -1;
    if ((attr & attr_directory) && load_le32(e + 28) != 0) return -1;
    return 1;
}

}  // namespace

void parse_fat_directory(const fs_volume_t& v, const uint8_t* data, size_t size, std::vector<dir_item_t>& out,
                         std::string& names) {
    for (size_t at = 0; at + entry_size <= size; at += entry_size) {
        const uint8_t* e = data + at;
        if (e[0] == end_mark) return;
        uint8_t attr = e[11];
        if (attr == attr_long_name || (attr & attr_volume) || is_dot_entry(e)) continue;
        dir_item_t item;
        item.first_cluster = first_cluster(v, e);
        item.is_deleted = e[0] == deleted_mark;
        item.is_directory = (attr & attr_directory) != 0;
        item.size = item.is_directory ? 0 : load_le32(e + 28);
        if (!v.is_cluster(item.first_cluster)) continue;
        copy_extension(e, item.extension);
        item.modified = uint32_t(load_le16(e + 24)) << 16 | load_le16(e + 22);
        item.created = uint32_t(load_le16(e + 16)) << 16 | load_le16(e + 14);
        item.created_10ms = e[13];
        read_name(data, at, item.is_deleted, names, item);
        out.push_back(item);
    }
}

namespace {

// Every slot of the sector a sound entry, or zero from the end mark on; saw_item tells whether
// one was a file, folder or dot entry.
bool slots_are_sound(const fs_volume_t& v, const uint8_t* sector, bool& saw_item) {
    static const uint8_t zero[entry_size] = {};
    bool ended = false;
    saw_item = false;
    for (size_t at = 0; at < 512; at += entry_size) {
        const uint8_t* e = sector + at;
        if (ended || e[0] == end_mark) {
            if (std::memcmp(e, zero, entry_size) != 0) return false;
            ended = true;
            continue;
        }
        int kind = classify_slot(v, e);
        if (kind < 0) return false;
        saw_item = saw_item || kind == 1 || is_dot_entry(e);
    }
    return true;
}

}  // namespace

bool looks_like_fat_directory(const fs_volume_t& v, const uint8_t* sector) {
    bool saw_item = false;
    return sector[0] != end_mark && slots_are_sound(v, sector, saw_item) && saw_item;
}

bool continues_fat_directory(const fs_volume_t& v, const uint8_t* sector) {
    bool saw_item = false;
    return !is_dot_entry(sector) && slots_are_sound(v, sector, saw_item);
}

bool holds_folder_entries(const fs_volume_t& v, const uint8_t* sector) {
    if (sector[0] == end_mark) return false;
    if (v.type == fs_type_t::exfat) return looks_like_exfat_directory(sector, 512) || continues_exfat_directory(sector);
    return looks_like_fat_directory(v, sector) || continues_fat_directory(v, sector);
}

}  // namespace ember::fs
