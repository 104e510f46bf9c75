// MPEG transport streams: 188-byte packets (broadcast and camera .ts, written as "m2t") or
// 192-byte packets with a 4-byte arrival time first (AVCHD and Blu-ray, "m2ts"). The stream ends
// at the first packet out of sync; a last packet of a PID never seen before that is not followed
// by another packet in sync is taken for chance and dropped, unless it completes an aligned unit
// of a 192-byte stream. A 192-byte stream that stops inside an aligned unit did not end there:
// its last packet is kept only when it lies in the sector that holds its sync byte, since the
// bytes that broke the stream began at a sector boundary.
#include <algorithm>
#include <bitset>
#include <memory>

#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"

namespace ember::video {
namespace {

constexpr uint8_t sync_byte = 0x47;
constexpr uint32_t pat_pid = 0;
constexpr uint32_t pid_count = 8192;
// A stream must show its program table in the first packets.
constexpr uint64_t pat_window = 1024;
constexpr uint64_t aligned_unit = 32;
constexpr uint64_t sector = 512;

// A recording starts with its service tables, not in the middle of a picture: the first packet
// carries the start of a table section (PAT, CAT, NIT, SDT, EIT, TDT or the selection
// information of camera streams). This keeps the sector-aligned tails of deleted streams, which
// line up every three sectors, from coming back as files of their own.
bool starts_with_table(const uint8_t* p) {
    uint32_t pid = load_be16(p + 1) & 0x1FFF;
    bool is_section_start = (p[1] & 0x40) != 0;
    return is_section_start && (pid <= 0x02 || (pid >= 0x10 && pid <= 0x14) || pid == 0x1F);
}

// Whether the packets before the candidate belong to the same stream, so that the candidate is
// its middle (a tail behind overwritten clusters, or a later fragment), not its start: the two
// packets before it are in sync, and the stream after it goes on with the continuity counters
// where they left off. A recording that merely follows another starts its counters afresh.
bool continues_before(carve_input_c& in, uint64_t packet, uint64_t lead) {
    constexpr uint32_t null_pid = 0x1FFF;
    constexpr uint64_t look_ahead = 64;
    const uint8_t* before = in.before(512);
    if (!before) return false;
    const uint8_t* tail[2] = {before + 512 - packet + lead, before + 512 - 2 * packet + lead};
    if (tail[0][0] != sync_byte || tail[1][0] != sync_byte) return false;
    uint32_t last_pid = load_be16(tail[0] + 1) & 0x1FFF;
    for (const uint8_t* t : tail) {
        uint32_t pid = load_be16(t + 1) & 0x1FFF;
        if (pid == null_pid || !(t[3] & 0x10) || (t == tail[1] && pid == last_pid)) continue;
        for (uint64_t k = 0; k < look_ahead; ++k) {
            const uint8_t* p = in.at(k * packet + lead, 4);
            if (!p || p[0] != sync_byte) break;
            if ((load_be16(p + 1) & 0x1FFF) != pid || !(p[3] & 0x10)) continue;
            if ((p[3] & 15) != ((t[3] + 1) & 15)) return false;
            break;
        }
    }
    return true;
}

bool in_sync(const uint8_t* h, size_t size, size_t packet, size_t lead) {
    return size >= 2 * packet + lead + 1 && h[lead] == sync_byte && h[lead + packet] == sync_byte &&
           h[lead + 2 * packet] == sync_byte;
}

bool probe(const uint8_t* h, size_t size) {
    return in_sync(h, size, 188, 0) || (h[0] < 0x40 && in_sync(h, size, 192, 4));
}

carve_result_t carve(carve_input_c& in) {
    size_t head = size_t(std::min<uint64_t>(in.size(), 2 * 192 + 5));
    const uint8_t* h = in.at(0, head);
    bool m2ts = !(h && in_sync(h, head, 188, 0));
    uint64_t packet = m2ts ? 192 : 188, lead = m2ts ? 4 : 0;
    if (!h || !starts_with_table(h + lead) || continues_before(in, packet, lead)) return {};
    auto seen = std::make_unique<std::bitset<pid_count>>();
    bool has_pat = false;
    uint64_t count = 0, pos = 0;
    bool is_broken = false;  // stopped at bytes out of sync, not at the end of the data
    for (;;) {
        std::span<const uint8_t> run = in.run(pos);
        if (run.size() < packet) break;
        size_t i = 0;
        bool stop = false;
        for (; i + packet <= run.size(); i += packet) {
            const uint8_t* p = run.data() + i + lead;
            if (p[0] != sync_byte) {
                stop = true;
                break;
            }
            uint32_t pid = load_be16(p + 1) & 0x1FFF;
            if (!(*seen)[pid]) {
                uint8_t next = 0;
                const uint8_t* n = in.at(pos + i + packet + lead, 1);
                if (n) next = *n;
                // 192-byte streams are written in aligned units of 32 packets, often closed
                // with null packets; a packet that completes a unit belongs to the stream.
                bool completes_unit = m2ts && (count + 1) % aligned_unit == 0;
                if (count >= pat_window && next != sync_byte && n && !completes_unit) {
                    stop = true;
                    break;
                }
                seen->set(pid);
            }
            has_pat |= pid == pat_pid;
            ++count;
            if (count == pat_window && !has_pat) return {};
        }
        pos += i;
        is_broken = stop;
        if (stop) break;
        if (i == 0) break;
    }
    // Recorders write 192-byte streams in whole aligned units, so a stop inside one is other data
    // written over the stream's clusters, or its next fragment lying elsewhere: a last packet that
    // runs on past the sector of its sync byte holds that data.
    if (is_broken && m2ts && count % aligned_unit != 0 && pos >= packet &&
        (pos - packet + lead) / sector != (pos - 1) / sector) {
        pos -= packet;
        --count;
    }
    if (!has_pat || count < 2) return {};
    return {pos, m2ts ? "m2ts" : "m2t"};
}

}  // namespace

// 0x47 leads a 188-byte stream; the 192-byte kind leads with its arrival time, whose top two
// bits (copy permission) are zero.
const format_t mpeg_ts_format = {"m2ts",
    std::string_view("\x47\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
                     "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F"
                     "\x20\x21\x22\x23\x24\x25\x26\x27\x28\x29\x2A\x2B\x2C\x2D\x2E\x2F"
                     "\x30\x31\x32\x33\x34\x35\x36\x37\x38\x39\x3A\x3B\x3C\x3D\x3E\x3F", 65),
    probe, carve};

}  // namespace ember::video
