// Unaligned little- and big-endian loads from card data.
#pragma once

#include <cstdint>
#include <cstring>

namespace ember {

inline uint16_t load_le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint16_t load_be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t load_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint64_t load_le64(const uint8_t* p) { return load_le32(p) | uint64_t(load_le32(p + 4)) << 32; }
inline uint64_t load_be64(const uint8_t* p) { return uint64_t(load_be32(p)) << 32 | load_be32(p + 4); }

// Four-character codes as they stand in the data ("ftyp" == fourcc("ftyp")), compared big-endian.
constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}

}  // namespace ember
