// MPEG program streams (MPEG-1 system streams and MPEG-2 PS, as cameras and DVDs write them):
// packs and the packets in them, to the end code, or to where they stop.
#include <algorithm>

#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"

namespace ember::video {
namespace {

constexpr uint8_t pack_code = 0xBA, end_code = 0xB9, system_header_code = 0xBB;
constexpr uint64_t mpeg1_pack_size = 12, mpeg2_pack_size = 14;
constexpr uint64_t max_units = uint64_t(1) << 32;

// The system clock reference of a pack header (90 kHz units, 33 bits).
uint64_t clock_of(const uint8_t* p, bool is_mpeg2) {
    if (is_mpeg2)
        return uint64_t((p[4] >> 3) & 7) << 30 | uint64_t(p[4] & 3) << 28 | uint64_t(p[5]) << 20 |
               uint64_t(p[6] >> 3) << 15 | uint64_t(p[6] & 3) << 13 | uint64_t(p[7]) << 5 | (p[8] >> 3);
    return uint64_t((p[4] >> 1) & 7) << 30 | uint64_t(p[5]) << 22 | uint64_t(p[6] >> 1) << 15 |
           uint64_t(p[7]) << 7 | (p[8] >> 1);
}

bool is_system_header_at(carve_input_c& in, uint64_t pos) {
    const uint8_t* p = in.at(pos, 4);
    return p && !p[0] && !p[1] && p[2] == 1 && p[3] == system_header_code;
}

bool probe(const uint8_t* h, size_t size) {
    if (size < 14 || h[0] || h[1] || h[2] != 1 || h[3] != pack_code) return false;
    return (h[4] & 0xC4) == 0x44 || (h[4] & 0xF1) == 0x21;  // MPEG-2 or MPEG-1 marker bits
}

carve_result_t carve(carve_input_c& in) {
    uint64_t pos = 0, packs = 0, packets = 0, last_clock = 0;
    for (uint64_t n = 0; n < max_units; ++n) {
        const uint8_t* p = in.at(pos, 4);
        if (!p || p[0] || p[1] || p[2] != 1) break;
        uint8_t code = p[3];
        if (code == end_code) {
            pos += 4;
            break;
        }
        p = in.at(pos, 14);
        if (!p) break;
        if (code == pack_code) {
            uint64_t size;
            bool is_mpeg2 = (p[4] & 0xC4) == 0x44;
            if (is_mpeg2) size = mpeg2_pack_size + (p[13] & 7);
            else if ((p[4] & 0xF1) == 0x21) size = mpeg1_pack_size;
            else break;
            uint64_t clock = clock_of(p, is_mpeg2);
            bool has_system_header = is_system_header_at(in, pos + size);
            // A recording opens with a pack that carries the system header; later packs of a
            // deleted stream, which line up with sectors every 2048 bytes, do not.
            if (packs == 0 && !has_system_header) return {};
            // The clock only runs forward within a recording; a pack with a system header and an
            // earlier clock is the first of the next recording, written straight after.
            if (packs != 0 && has_system_header && clock < last_clock) break;
            last_clock = clock;
            ++packs;
            pos += size;
            continue;
        }
        if (code < system_header_code) break;
        pos += 6 + uint64_t(load_be16(p + 4));
        ++packets;
    }
    if (packs == 0 || packets == 0) return {};
    return {std::min(pos, in.size()), "mpg"};
}

}  // namespace

const format_t mpeg_ps_format = {"mpg", std::string_view("\0", 1), probe, carve};

}  // namespace ember::video
