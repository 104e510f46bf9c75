// WavPack: a run of "wvpk" blocks, each with its size, version and sample position, the first at
// sample 0. The file ends after the last block that follows on from the one before, plus any trailing tags. Where
// the blocks state the stream's length in samples, the file ends once its blocks reach it (then
// only blocks without samples, which hold metadata); blocks that stop before it were cut by
// other bytes, which begin at a sector boundary after the last block's header: that block is
// not kept (the first one only up to the sector boundary after its header).
#include "audio_checks.h"
#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

constexpr size_t block_header_size = 32;
constexpr uint32_t max_block = 1024 * 1024;  // blocks are limited to 1 MiB
constexpr uint16_t min_version = 0x402, max_version = 0x410;
constexpr uint32_t unknown_total = 0xFFFFFFFF;  // the low 32 bits of an unknown length
constexpr uint32_t final_block = 0x1000;         // the last block of a multichannel frame
constexpr uint64_t sector = 512;

struct block_t {
    uint32_t size = 0;  // the whole block; 0 when not a block header
    uint16_t version = 0;
    uint64_t index = 0, samples = 0;
    uint64_t total = 0;  // the stream's samples; ~0 when not known
    uint32_t flags = 0;
};

block_t read_block(const uint8_t* p) {
    block_t b;
    if (load_be32(p) != fourcc("wvpk")) return b;
    uint32_t ck_size = load_le32(p + 4);
    uint16_t version = load_le16(p + 8);
    if (ck_size < block_header_size - 8 || ck_size > max_block || (ck_size & 1) ||
        version < min_version || version > max_version)
        return b;
    b.size = ck_size + 8;
    b.version = version;
    b.index = uint64_t(p[10]) << 32 | load_le32(p + 16);
    b.samples = load_le32(p + 20);
    b.total = load_le32(p + 12) == unknown_total ? ~uint64_t(0) : uint64_t(p[11]) << 32 | load_le32(p + 12);
    b.flags = load_le32(p + 24);
    return b;
}

// A stream starts with the block of its first sample: a later block at a sector start is the
// middle of a recording whose head is elsewhere (or gone), not a file's start.
bool probe(const uint8_t* head, size_t size) {
    if (size < block_header_size) return false;
    const block_t b = read_block(head);
    return b.size != 0 && b.index == 0;
}

carve_result_t carve(carve_input_c& in) {
    uint64_t pos = 0, last_at = 0;
    block_t last;
    uint32_t blocks = 0;
    bool is_whole = false;  // the blocks reached the stream's stated length
    bool is_cut = false;    // blocks stopped before it, at bytes that are no block of it
    for (;;) {
        const uint8_t* p = in.at(pos, block_header_size);
        if (!p) break;
        block_t b = read_block(p);
        // Blocks of one multichannel frame share a position; the next frame follows on. Past
        // the stated length only blocks without samples follow (metadata).
        const bool follows = blocks == 0 ? b.index == 0 : (b.version == last.version &&
                                             (b.index == last.index || b.index == last.index + last.samples));
        if (b.size == 0 || b.size > in.size() - pos || !follows || (is_whole && b.samples != 0)) {
            is_cut = blocks != 0 && !is_whole && last.total != ~uint64_t(0) && (b.size == 0 || !follows);
            break;
        }
        last = b;
        last_at = pos;
        pos += b.size;
        ++blocks;
        is_whole = is_whole || (b.total != ~uint64_t(0) && b.index + b.samples >= b.total && (b.flags & final_block));
    }
    if (blocks == 0) return {};
    if (is_cut) return {blocks > 1 ? last_at : std::min(pos, (block_header_size + sector - 1) / sector * sector), "wv"};
    return {skip_trailing_tags(in, pos), "wv"};
}

}  // namespace

const format_t wavpack_format = {"wv", "w", probe, carve};

}  // namespace ember
