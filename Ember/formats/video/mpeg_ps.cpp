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

// The size of the pack header at p (n bytes at hand), or 0 when none starts there.
uint64_t pack_header_size(const uint8_t* p, size_t n) {
    if (n < mpeg2_pack_size || p[0] || p[1] || p[2] != 1 || p[3] != pack_code) return 0;
    if ((p[4] & 0xC4) == 0x44) return mpeg2_pack_size + (p[13] & 7);
    return (p[4] & 0xF1) == 0x21 ? mpeg1_pack_size : 0;
}

// Whether the candidate is the middle of a stream (a tail behind overwritten clusters, or a
// later fragment) rather than its start: a pack or packet that starts on one of the four sectors
// before it runs exactly up to it, and the nearest pack before it has a clock no later than its
// own (a recording written straight after another starts its clock afresh).
bool continues_before(carve_input_c& in, uint64_t clock) {
    constexpr size_t reach = 2048, clock_reach = 32 * 1024;
    size_t have = clock_reach;
    const uint8_t* b = nullptr;
    for (; have >= reach && !(b = in.before(have)); have /= 2) {}
    if (!b) return false;
    bool runs_up = false;
    for (size_t back = 512; back <= reach && !runs_up; back += 512) {
        size_t from = have - back;
        uint64_t pos = from + pack_header_size(b + from, have - from);
        while (pos + 6 <= have && !b[pos] && !b[pos + 1] && b[pos + 2] == 1 && b[pos + 3] >= system_header_code)
            pos += 6 + uint64_t(load_be16(b + pos + 4));
        runs_up = pos == have && pos != from;
    }
    if (!runs_up) return false;
    for (size_t from = have - 512;; from -= 512) {
        if (pack_header_size(b + from, have - from) != 0)
            return clock_of(b + from, (b[from + 4] & 0xC4) == 0x44) <= clock;
        if (from == 0) return true;
    }
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
            if (packs == 0 && (!has_system_header || continues_before(in, clock))) return {};
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
