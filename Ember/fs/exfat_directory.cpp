// exFAT directories: a file is an entry set (file entry, stream extension, name entries) sealed
// by a checksum over all of it. Deleting a file clears the in-use bit of each entry's type and
// nothing else, so a deleted set is checked with those bits set back as they were written.
#include <algorithm>
#include <iterator>

#include "core/byte_order.h"
#include "entry_name.h"
#include "fs_directory.h"

namespace ember::fs {
namespace {

constexpr size_t entry_size = 32;
constexpr uint8_t in_use = 0x80;
constexpr uint8_t type_file = 0x05, type_stream = 0x40, type_name = 0x41;  // without in_use
constexpr uint16_t attr_directory = 0x10;
constexpr uint8_t flag_no_fat_chain = 0x02;
// A set is the file entry plus 2 to 18 secondaries (stream and up to 17 name entries).
constexpr uint8_t min_secondaries = 2, max_secondaries = 18;

uint16_t set_checksum(const uint8_t* set, size_t entries) {
    uint16_t sum = 0;
    for (size_t i = 0; i < entries * entry_size; ++i) {
        if (i == 2 || i == 3) continue;
        uint8_t b = set[i];
        if (i % entry_size == 0) b |= in_use;
        sum = uint16_t(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + b);
    }
    return sum;
}

// The number of entries of the sound set at `set`, or 0 when none starts there.
size_t sound_set(const uint8_t* set, size_t left) {
    if (left < entry_size || (set[0] & 0x7F) != type_file) return 0;
    uint8_t secondaries = set[1];
    if (secondaries < min_secondaries || secondaries > max_secondaries) return 0;
    size_t entries = size_t(secondaries) + 1;
    if (entries * entry_size > left) return 0;
    if ((set[entry_size] & 0x7F) != type_stream) return 0;
    for (size_t i = 2; i < entries; ++i)
        if ((set[i * entry_size] & 0x40) == 0) return 0;  // every secondary has the secondary bit
    return set_checksum(set, entries) == load_le16(set + 2) ? entries : 0;
}

// The extension of the name in the set's name entries: ASCII letters and digits after the
// last dot, at most 7 of them.
void copy_extension(const uint8_t* set, size_t entries, uint8_t name_length, char (&out)[8]) {
    out[0] = 0;
    size_t n = 0;
    bool after_dot = false;
    size_t chars = 0;
    for (size_t i = 2; i < entries && chars < name_length; ++i) {
        const uint8_t* e = set + i * entry_size;
        if ((e[0] & 0x7F) != type_name) break;
        for (int k = 0; k < 15 && chars < name_length; ++k, ++chars) {
            uint16_t c = load_le16(e + 2 + 2 * k);
            if (c == '.') {
                after_dot = true;
                n = 0;
            } else if (after_dot) {
                bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
                if (ok && n < 7) {
                    out[n++] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
                } else {
                    after_dot = false;
                    n = 0;
                }
            }
        }
    }
    out[after_dot ? n : 0] = 0;
}

// The name in the set's name entries (15 units each, right after the stream entry), as long as
// the stream entry says, or as far as the name entries go; U+FFFD when there is none.
void read_name(const uint8_t* set, size_t entries, uint8_t name_length, std::string& names, dir_item_t& item) {
    uint8_t units[2 * max_name_units];
    size_t count = 0;
    for (size_t i = 2; i < entries && count < name_length; ++i) {
        const uint8_t* e = set + i * entry_size;
        if ((e[0] & 0x7F) != type_name) break;
        for (int k = 0; k < 15 && count < name_length; ++k, ++count) {
            units[2 * count] = e[2 + 2 * k];
            units[2 * count + 1] = e[3 + 2 * k];
        }
    }
    size_t before = names.size();
    if (count == 0) names += "\xEF\xBF\xBD";
    else append_utf16_name(units, count, names);
    item.name_at = uint32_t(before);
    item.name_size = uint16_t(names.size() - before);
}

}  // namespace

void parse_exfat_directory(const fs_volume_t& v, const uint8_t* data, size_t size, std::vector<dir_item_t>& out,
                           std::string& names) {
    for (size_t at = 0; at + entry_size <= size;) {
        const uint8_t* e = data + at;
        if (e[0] == 0) return;  // end of directory
        size_t entries = sound_set(e, size - at);
        if (entries == 0) {
            at += entry_size;
            continue;
        }
        const uint8_t* stream = e + entry_size;
        dir_item_t item;
        item.is_deleted = (e[0] & in_use) == 0;
        item.is_directory = (load_le16(e + 4) & attr_directory) != 0;
        item.is_contiguous = (stream[1] & flag_no_fat_chain) != 0;
        item.first_cluster = load_le32(stream + 20);
        item.size = load_le64(stream + 24);
        copy_extension(e, entries, stream[3], item.extension);
        item.created = load_le32(e + 8);
        item.modified = load_le32(e + 12);
        item.created_utc = e[22];
        item.modified_utc = e[23];
        item.created_10ms = e[20];
        item.modified_10ms = e[21];
        if (v.is_cluster(item.first_cluster) && item.size != 0) {
            read_name(e, entries, stream[3], names, item);
            out.push_back(item);
        }
        at += entries * entry_size;
    }
}

size_t exfat_set_cut_at(const uint8_t* data, size_t size) {
    for (size_t at = 0; at + entry_size <= size;) {
        const uint8_t* e = data + at;
        if (e[0] == 0) return size;
        size_t entries = size_t(e[1]) + 1;
        bool is_set = (e[0] & 0x7F) == type_file && e[1] >= min_secondaries && e[1] <= max_secondaries;
        if (is_set && at + entries * entry_size > size) return at;
        at += is_set && sound_set(e, size - at) ? entries * entry_size : entry_size;
    }
    return size;
}

bool starts_exfat_set(const uint8_t* data, size_t size) { return sound_set(data, size) != 0; }

bool continues_exfat_directory(const uint8_t* sector) {
    // Primary (allocation bitmap, up-case table, label, file, GUID, padding) and secondary
    // (stream, name, vendor) entry types, without their in-use bit.
    static const uint8_t known[] = {0x01, 0x02, 0x03, 0x05, 0x20, 0x21, 0x40, 0x41, 0x60, 0x61};
    bool ended = false;
    for (size_t at = 0; at < 512; at += entry_size) {
        uint8_t type = sector[at];
        if (ended || type == 0) {
            if (type != 0) return false;
            ended = true;
            continue;
        }
        if (std::find(std::begin(known), std::end(known), type & 0x7F) == std::end(known)) return false;
    }
    return true;
}

bool looks_like_exfat_directory(const uint8_t* data, size_t size) {
    for (size_t at = 0; at < 512 && at + entry_size <= size; at += entry_size)
        if (sound_set(data + at, size - at)) return true;
    return false;
}

}  // namespace ember::fs
