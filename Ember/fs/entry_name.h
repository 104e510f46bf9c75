// Names read from directory entries, made into UTF-8 path components that are safe to show and
// to write into a line of text: anything below U+0020, and a '\' or '/' inside a name, becomes
// U+FFFD, as does invalid UTF-16 (a surrogate without its partner).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ember::fs {

// The longest name in UTF-16 units (FAT long names and exFAT names alike) and in UTF-8 bytes.
constexpr size_t max_name_units = 255;
constexpr size_t max_name_bytes = 3 * max_name_units;

// Appends the units (little-endian bytes, count units) as one component.
void append_utf16_name(const uint8_t* units, size_t count, std::string& out);
// Appends a FAT 8.3 name (its 11 bytes) as NAME.EXT without the padding spaces, lower case where
// the entry's case bits (byte 12) say so; a deleted entry's lost first character is shown as
// '_', and bytes outside ASCII as U+FFFD.
void append_short_name(const uint8_t* entry, bool is_deleted, std::string& out);

// The checksum of an 8.3 name that its long-name entries carry.
uint8_t short_name_checksum(const uint8_t* name11);

}  // namespace ember::fs
