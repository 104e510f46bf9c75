#include "audio_checks.h"

#include <algorithm>
#include <array>
#include <span>
#include <cstring>

#include "core/byte_order.h"

namespace ember {
namespace {

constexpr auto crc8_table = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k) c = (c & 0x80) ? (c << 1) ^ 0x07 : c << 1;
        t[i] = uint8_t(c);
    }
    return t;
}();

// Tables for eight bytes at a time: table k gives the CRC of a byte followed by k zero bytes.
constexpr auto crc16_tables = [] {
    std::array<std::array<uint16_t, 256>, 8> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1;
        t[0][i] = uint16_t(c);
    }
    for (int k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = uint16_t(t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 8];
    return t;
}();

constexpr auto crc32_tables = [] {
    std::array<std::array<uint32_t, 256>, 8> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    return t;
}();

constexpr size_t ape_tag_header_size = 32;
constexpr uint32_t max_ape_items = 1024;
constexpr uint32_t max_ape_value = 16 * 1024 * 1024;
constexpr size_t max_ape_key = 255;
constexpr int max_lyrics_fields = 32;
constexpr size_t lyrics3v1_max = 5100;
constexpr size_t id3v1_size = 128;

bool is_digits(const uint8_t* p, size_t n, uint32_t& value) {
    value = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

// An APEv2 tag that starts with its header: the header's size counts items and footer.
uint64_t ape_tag_with_header(carve_input_c& in, uint64_t pos) {
    const uint8_t* h = in.at(pos, ape_tag_header_size);
    if (!h || std::memcmp(h, "APETAGEX", 8) != 0) return 0;
    uint32_t version = load_le32(h + 8), size = load_le32(h + 12), flags = load_le32(h + 20);
    if ((version != 1000 && version != 2000) || !(flags & 0x20000000u) || size < 32 ||
        size > max_ape_value)
        return 0;
    const uint8_t* f = in.at(pos + ape_tag_header_size + size - 32, 32);
    if (!f || std::memcmp(f, "APETAGEX", 8) != 0 || load_le32(f + 12) != size) return 0;
    return ape_tag_header_size + size;
}

// A header-less APE tag: items walked one by one up to a footer whose size matches the walk.
uint64_t ape_tag_without_header(carve_input_c& in, uint64_t pos) {
    uint64_t p = pos;
    for (uint32_t items = 0; items <= max_ape_items; ++items) {
        const uint8_t* f = in.at(p, 32);
        if (!f) return 0;
        if (std::memcmp(f, "APETAGEX", 8) == 0) {
            uint32_t version = load_le32(f + 8), size = load_le32(f + 12), count = load_le32(f + 16);
            bool sound = (version == 1000 || version == 2000) && count == items &&
                         uint64_t(size) == p - pos + 32 && !(load_le32(f + 20) & 0x20000000u);
            return sound ? p - pos + 32 : 0;
        }
        uint32_t value_size = load_le32(f);
        if (value_size > max_ape_value) return 0;
        std::span<const uint8_t> key = in.run(p + 8);
        size_t avail = std::min(key.size(), max_ape_key + 1), key_len = 0;
        while (key_len < avail && key[key_len] >= 0x20 && key[key_len] <= 0x7E) ++key_len;
        if (key_len < 2 || key_len >= avail || key[key_len] != 0) return 0;
        p += 8 + key_len + 1 + uint64_t(value_size);
    }
    return 0;
}

uint64_t lyrics3_size(carve_input_c& in, uint64_t pos) {
    const uint8_t* h = in.at(pos, 11);
    if (!h || std::memcmp(h, "LYRICSBEGIN", 11) != 0) return 0;
    // Version 2: fields of a three-letter id and a five-digit size, then a six-digit size and
    // "LYRICS200".
    uint64_t p = pos + 11;
    for (int i = 0; i < max_lyrics_fields; ++i) {
        const uint8_t* t = in.at(p, 15);
        if (!t) break;
        uint32_t value;
        if (is_digits(t, 6, value) && std::memcmp(t + 6, "LYRICS200", 9) == 0) {
            if (value == p - pos) return p - pos + 15;
            break;
        }
        if (!(t[0] >= 'A' && t[0] <= 'Z' && t[1] >= 'A' && t[1] <= 'Z' && t[2] >= 'A' &&
              t[2] <= 'Z') || !is_digits(t + 3, 5, value))
            break;
        p += 8 + uint64_t(value);
    }
    // Version 1: text up to "LYRICSEND", which must be followed by an ID3v1 tag.
    std::span<const uint8_t> r = in.run(pos);
    size_t limit = std::min(r.size(), lyrics3v1_max + 9);
    for (size_t i = 11; i + 9 <= limit; ++i) {
        if (r[i] == 'L' && std::memcmp(r.data() + i, "LYRICSEND", 9) == 0) {
            const uint8_t* tag = in.at(pos + i + 9, 3);
            return tag && std::memcmp(tag, "TAG", 3) == 0 ? i + 9 : 0;
        }
    }
    return 0;
}

}  // namespace

uint8_t flac_crc8(const uint8_t* p, size_t n) {
    uint8_t crc = 0;
    for (size_t i = 0; i < n; ++i) crc = crc8_table[crc ^ p[i]];
    return crc;
}

uint16_t flac_crc16(uint16_t crc, const uint8_t* p, size_t n) {
    const auto& t = crc16_tables;
    for (; n >= 8; n -= 8, p += 8) {
        crc = t[7][(crc >> 8) ^ p[0]] ^ t[6][(crc & 0xFF) ^ p[1]] ^ t[5][p[2]] ^ t[4][p[3]] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; --n, ++p) crc = uint16_t(crc << 8) ^ t[0][(crc >> 8) ^ *p];
    return crc;
}

const uint16_t* flac_crc16_table() { return crc16_tables[0].data(); }

uint32_t ogg_crc32(uint32_t crc, const uint8_t* p, size_t n) {
    const auto& t = crc32_tables;
    for (; n >= 8; n -= 8, p += 8) {
        uint32_t a = crc ^ load_be32(p), b = load_be32(p + 4);
        crc = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^
              t[3][b >> 24] ^ t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
    }
    for (; n > 0; --n, ++p) crc = (crc << 8) ^ t[0][(crc >> 24) ^ *p];
    return crc;
}

uint64_t id3v2_tag_size(const uint8_t* p, size_t n) {
    if (n < 10 || p[0] != 'I' || p[1] != 'D' || p[2] != '3') return 0;
    if (p[3] < 2 || p[3] > 4 || p[4] == 0xFF) return 0;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
    uint64_t body = uint64_t(p[6]) << 21 | uint64_t(p[7]) << 14 | uint64_t(p[8]) << 7 | p[9];
    bool has_footer = p[3] == 4 && (p[5] & 0x10);
    return 10 + body + (has_footer ? 10 : 0);
}

uint64_t skip_trailing_tags(carve_input_c& in, uint64_t end) {
    if (uint64_t n = ape_tag_with_header(in, end)) end += n;
    else if (uint64_t m = ape_tag_without_header(in, end)) end += m;
    if (uint64_t n = lyrics3_size(in, end)) end += n;
    const uint8_t* tag = in.at(end, id3v1_size);
    if (tag && tag[0] == 'T' && tag[1] == 'A' && tag[2] == 'G') end += id3v1_size;
    return end;
}

}  // namespace ember
