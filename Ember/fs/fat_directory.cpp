// FAT directories: 32-byte entries. A deleted entry keeps everything but the first byte of its
// name, so its extension, start cluster and size still stand; its long-name entries are skipped
// (the 8.3 entry after them carries the extension).
#include <cstring>

#include "core/byte_order.h"
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

void parse_fat_directory(const fs_volume_t& v, const uint8_t* data, size_t size, std::vector<dir_item_t>& out) {
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

}  // namespace ember::fs
