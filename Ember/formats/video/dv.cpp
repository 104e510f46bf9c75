// Raw DV streams: fixed-size frames of DIF sequences (10 for 525/60, 12 for 625/50), each
// sequence 150 blocks of 80 bytes starting with a header block. The stream ends at the first
// frame whose sequence headers are not in place; the last frame counts only when every one of
// its blocks is in place, since nothing after it confirms its tail. A stream is found at its
// first frame only.
#include <algorithm>

#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"

namespace ember::video {
namespace {

constexpr uint64_t dif_block = 80;
constexpr uint64_t dif_sequence = 150 * dif_block;  // 12000 bytes
constexpr uint64_t max_frames = uint64_t(1) << 32;

// A header block of sequence `seq`: section type 0, the sequence number, block number 0.
bool is_sequence_header(const uint8_t* p, unsigned seq) {
    return (p[0] & 0xE0) == 0 && (p[1] >> 4) == seq && p[2] == 0 &&
           (p[dif_block] & 0xE0) == 0x20 && (p[3 * dif_block] & 0xE0) == 0x40;
}

// The last block of a frame: a video block (section type 4) of the frame's last sequence,
// block number 134.
bool is_frame_end(const uint8_t* p, unsigned sequences) {
    return (p[0] & 0xE0) == 0x80 && (p[1] >> 4) == sequences - 1 && p[2] == 134;
}

// Whether every block of the frame at `base` says it stands where it does: its section type
// (header, two subcode, three VAUX, then nine audio blocks each followed by 15 video blocks),
// its sequence number and its block number. Other bytes in the frame's tail (the stream's next
// fragment lies elsewhere) show here though the frame's sequence headers are in place.
bool is_frame_in_place(carve_input_c& in, uint64_t base, unsigned sequences) {
    for (unsigned s = 0; s < sequences; ++s) {
        const uint8_t* q = in.at(base + s * dif_sequence, size_t(dif_sequence));
        if (!q) return false;
        for (unsigned i = 0; i < 150; ++i) {
            const uint8_t* p = q + i * dif_block;
            unsigned section = 4, number = 0;
            if (i == 0) section = 0;
            else if (i < 3) section = 1, number = i - 1;
            else if (i < 6) section = 2, number = i - 3;
            else if ((i - 6) % 16 == 0) section = 3, number = (i - 6) / 16;
            else number = (i - 6) / 16 * 15 + (i - 6) % 16 - 1;
            if (unsigned(p[0] >> 5) != section || unsigned(p[1] >> 4) != s || p[2] != number) return false;
        }
    }
    return true;
}

bool probe(const uint8_t* h, size_t size) {
    return size >= 4 * dif_block && is_sequence_header(h, 0);
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, 4);
    if (!h) return {};
    bool pal = h[3] & 0x80;
    unsigned sequences = pal ? 12 : 10;
    uint64_t frame = sequences * dif_sequence;
    // A frame right behind the end of another frame of the same system is the middle of a stream
    // whose start is gone (a tail behind overwritten clusters, or a later fragment), not a file.
    const uint8_t* before = in.before(512);
    if (before && is_frame_end(before + 512 - dif_block, sequences)) return {};
    uint64_t frames = 0;
    for (; frames < max_frames; ++frames) {
        uint64_t base = frames * frame;
        if (frame > in.size() - std::min(in.size(), base) || base >= in.size()) break;
        bool ok = true;
        for (unsigned s = 0; s < sequences && ok; ++s) {
            const uint8_t* p = in.at(base + s * dif_sequence, 4 * dif_block);
            ok = p && is_sequence_header(p, s) && (s != 0 || bool(p[3] & 0x80) == pal);
        }
        if (!ok) break;
    }
    if (frames && !is_frame_in_place(in, (frames - 1) * frame, sequences)) --frames;
    if (frames == 0) return {};
    return {frames * frame, "dv"};
}

}  // namespace

const format_t dv_format = {"dv", "\x1F", probe, carve};

}  // namespace ember::video
