// The structure walks of MPEG program streams and transport streams for a candidate chain
// (media_chain_check.h).
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "media_chain_check.h"

namespace ember::fs {
namespace {

constexpr uint64_t max_units = 1u << 23;       // packs, packets or transport packets walked
constexpr uint64_t max_clock_step = 2 * 90000;  // between two packs: two seconds at 90 kHz

// A pack header's system clock (its 33-bit base), and the header's length; false when the bytes
// at p (16 of them) are no pack header.
bool read_pack(const uint8_t* p, uint64_t& clock, uint64_t& length) {
    if ((p[4] & 0xC4) == 0x44) {  // MPEG-2: '01', then marker bits
        if (!(p[6] & 4) || !(p[8] & 4) || !(p[9] & 1) || (p[12] & 3) != 3) return false;
        clock = uint64_t(p[4] >> 3 & 7) << 30 | uint64_t((p[4] & 3) << 13 | p[5] << 5 | p[6] >> 3) << 15 |
                uint64_t((p[6] & 3) << 13 | p[7] << 5 | p[8] >> 3);
        length = 14 + (p[13] & 7);
        return true;
    }
    if ((p[4] & 0xF1) == 0x21) {  // MPEG-1: '0010', then marker bits
        if (!(p[6] & 1) || !(p[8] & 1) || !(p[9] & 0x80) || !(p[11] & 1)) return false;
        clock = uint64_t(p[4] >> 1 & 7) << 30 | uint64_t(p[5] << 7 | p[6] >> 1) << 15 | uint64_t(p[7] << 7 | p[8] >> 1);
        length = 12;
        return true;
    }
    return false;
}

}  // namespace

structure_walk_t walk_mpeg_ps(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    uint64_t pos = 0, clock = 0, units = 0;
    bool has_pack = false;
    while (pos < size) {
        const uint8_t* p = size - pos >= 4 ? in.at(pos, 4) : nullptr;
        out.failed_at = pos;  // until the unit here holds
        if (!p || p[0] || p[1] || p[2] != 1 || ++units > max_units) return out;
        if (p[3] == 0xB9) {  // end code: the file ends there
            out.places.push_back(pos);
            pos += 4;
            break;
        }
        if (p[3] == 0xBA) {
            uint64_t at_clock, length;
            const uint8_t* h = size - pos >= 16 ? in.at(pos, 16) : nullptr;
            if (!h || !read_pack(h, at_clock, length)) return out;
            // The clock runs on from pack to pack: a pack of another recording does not fit.
            if (has_pack && (at_clock < clock || at_clock - clock > max_clock_step)) return out;
            clock = at_clock;
            has_pack = true;
            out.places.push_back(pos);
            pos += length;
            continue;
        }
        if (p[3] < 0xBB || !has_pack) return out;
        uint16_t length;
        if (!in.be16(pos + 4, length) || length > size - pos - 6) return out;
        out.places.push_back(pos);
        pos += 6 + uint64_t(length);
    }
    out.failed_at = UINT64_MAX;
    out.is_sound = has_pack && pos == size;
    return out;
}

structure_walk_t walk_mpeg_ts(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    // 188-byte packets, or 192 with a 4-byte arrival time before each.
    const uint8_t* h = in.at(0, 8);
    if (!h || size > max_units * 188) return out;
    const uint64_t packet = h[0] == 0x47 ? 188 : 192, sync = packet - 188;
    if (size % packet) return out;
    uint8_t counters[8192];
    bool seen[8192] = {};
    for (uint64_t pos = 0; pos < size; pos += packet) {
        const uint8_t* p = in.at(pos + sync, 4);
        out.failed_at = pos;  // until the packet here holds
        if (!p || p[0] != 0x47) return out;
        const unsigned pid = (p[1] & 0x1F) << 8 | p[2], counter = p[3] & 15;
        const bool has_payload = p[3] & 0x10;
        // Each stream's continuity counter runs on by one a packet with payload (a repeated
        // packet keeps it); the null stream's is free. A packet of another recording breaks it.
        if (has_payload && pid != 0x1FFF) {
            if (seen[pid] && counter != ((counters[pid] + 1) & 15) && counter != counters[pid]) {
                const uint8_t* a = (p[3] & 0x20) ? in.at(pos + sync + 4, 2) : nullptr;
                if (!a || !(a[0] && (a[1] & 0x80))) return out;  // unless it says it jumped
            }
            seen[pid] = true;
            counters[pid] = uint8_t(counter);
        }
        out.places.push_back(pos);
    }
    out.failed_at = UINT64_MAX;
    out.is_sound = true;
    return out;
}

}  // namespace ember::fs
