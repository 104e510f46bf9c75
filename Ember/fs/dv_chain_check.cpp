// The structure walk of a raw DV stream for a candidate chain (media_chain_check.h). A DV frame
// is 10 (525/60) or 12 (625/50) DIF sequences of 150 blocks of 80 bytes, and every block says
// where it stands: its section type, its sequence number and its block number. So every block
// of the file is checked against its place, and a stretch from the wrong clusters fails unless
// it sits at the same place of a frame, to the 80 bytes, in the same system.
#include <algorithm>

#include "core/carve_input.h"
#include "media_chain_check.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

constexpr uint64_t dif_block = 80;
constexpr uint64_t blocks_per_sequence = 150;
constexpr uint64_t max_frames = 1u << 20;  // 144 GB of 625/50: more than any card holds

// The section type and block number the i-th block of a DIF sequence has: the header, two
// subcode and three VAUX blocks, then nine audio blocks each followed by 15 video blocks.
void expected_block(uint64_t i, unsigned& section, unsigned& number) {
    if (i == 0) {
        section = 0, number = 0;
    } else if (i < 3) {
        section = 1, number = unsigned(i - 1);
    } else if (i < 6) {
        section = 2, number = unsigned(i - 3);
    } else if ((i - 6) % 16 == 0) {
        section = 3, number = unsigned((i - 6) / 16);
    } else {
        section = 4, number = unsigned((i - 6) / 16 * 15 + (i - 6) % 16 - 1);
    }
}

// Whether the block at p stands as the in_frame-th block of a frame must.
bool block_in_place(const uint8_t* p, uint64_t in_frame) {
    unsigned section, number;
    expected_block(in_frame % blocks_per_sequence, section, number);
    return unsigned(p[0] >> 5) == section && unsigned(p[1] >> 4) == in_frame / blocks_per_sequence && p[2] == number;
}

}  // namespace

bool dv_continues_at(byte_source_i& card, uint64_t at, uint64_t left) {
    // The file is whole frames, so what is left of it places `at` in its frame (in either
    // system); the blocks from there, up to eight, must each stand as that place says.
    constexpr uint64_t looked_at = 8;
    uint8_t blocks[looked_at * dif_block];
    const uint64_t n = std::min(looked_at, left / dif_block);
    if (n < 2 || card.read_at(at, blocks, n * dif_block) != n * dif_block) return false;
    for (uint64_t sequences : {10u, 12u}) {
        const uint64_t frame = sequences * blocks_per_sequence * dif_block, pos = (frame - left % frame) % frame;
        if (pos % dif_block) continue;
        uint64_t i = 0;
        while (i < n && block_in_place(blocks + i * dif_block, (pos / dif_block + i) % (frame / dif_block))) ++i;
        if (i == n) return true;
    }
    return false;
}

structure_walk_t walk_dv(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    const uint8_t* h = in.at(0, 4);
    if (!h) return out;
    const unsigned sequences = (h[3] & 0x80) ? 12 : 10;
    const uint64_t frame = sequences * blocks_per_sequence * dif_block;
    if (size == 0 || size % frame || size / frame > max_frames) return out;
    for (uint64_t pos = 0; pos < size;) {
        std::span<const uint8_t> run = in.run(pos);
        const uint64_t blocks = run.size() / dif_block;
        if (blocks == 0) return out;
        for (uint64_t b = 0; b < blocks; ++b, pos += dif_block) {
            if (!block_in_place(run.data() + b * dif_block, pos % frame / dif_block)) {
                out.failed_at = pos;
                return out;
            }
            // One place a 512-byte sector is plenty: judge_chain asks for one in each stretch.
            if (pos % 512 < dif_block) out.places.push_back(pos);
        }
    }
    out.is_sound = true;
    return out;
}

}  // namespace ember::fs
