#include "formats/image/crc32.h"

#include <array>

namespace ember {
namespace {

using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr crc_tables make_tables() {
    crc_tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (size_t k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    return t;
}

constexpr crc_tables tables = make_tables();

}  // namespace

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size) {
    uint32_t c = ~crc;
    while (size >= 8) {
        uint32_t lo = c ^ (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                           uint32_t(data[3]) << 24);
        c = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^
            tables[4][lo >> 24] ^ tables[3][data[4]] ^ tables[2][data[5]] ^ tables[1][data[6]] ^
            tables[0][data[7]];
        data += 8;
        size -= 8;
    }
    while (size--) c = tables[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace ember
