// The structure walk of PNG for a candidate chain (media_chain_check.h): the signature, then chunk
// by chunk to IEND, which must end the file. A chunk whose stored CRC matches its type and data is
// a place, its last byte too: a stretch from the wrong clusters breaks the CRC of the chunk it
// falls in, and encoders write the image data in chunks of a few KiB, so every cluster holds one.
#include <algorithm>
#include <cstring>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "formats/image/crc32.h"
#include "media_chain_check.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

constexpr uint64_t max_chunks = 1u << 22;
constexpr uint32_t max_chunk = 0x7FFFFFFF;  // a chunk's length has its high bit clear
const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool is_letter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

structure_walk_t walk_png(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    const uint8_t* h = in.at(0, 8);
    if (!h || std::memcmp(h, signature, 8) != 0) return stop_at(out, 0);
    out.places.push_back(0);
    uint64_t pos = 8;
    for (uint64_t n = 0; pos < size && n < max_chunks; ++n) {
        const uint8_t* c = size - pos >= 12 ? in.at(pos, 8) : nullptr;
        if (!c) return stop_at(out, pos);
        const uint32_t length = load_be32(c);
        if (length > max_chunk || length > size - pos - 12 || !is_letter(c[4]) || !is_letter(c[5]) ||
            !is_letter(c[6]) || !is_letter(c[7]))
            return stop_at(out, pos);
        const bool is_end = std::memcmp(c + 4, "IEND", 4) == 0;
        uint32_t crc = 0, stored = 0;
        for (uint64_t at = pos + 4, end = pos + 8 + uint64_t(length); at < end;) {
            std::span<const uint8_t> span = in.run(at);
            const size_t k = size_t(std::min<uint64_t>(span.size(), end - at));
            if (k == 0) return stop_at(out, pos);
            crc = crc32_update(crc, span.data(), k);
            at += k;
        }
        // A chunk that fails its CRC went wrong at a cluster boundary inside it: the structure
        // would go on at its end, where the next chunk's header stands.
        if (!in.be32(pos + 8 + uint64_t(length), stored) || crc != stored) return stop_at(out, pos + 12 + length);
        out.places.push_back(pos);
        pos += 12 + uint64_t(length);
        out.places.push_back(pos - 1);
        if (is_end) break;
    }
    out.is_sound = pos == size && pos > 8;
    if (!out.is_sound) out.failed_at = std::min(pos, size);
    return out;
}

bool png_continues_at(byte_source_i& card, uint64_t at, uint64_t left) {
    uint8_t c[8];
    if (left < 12 || card.read_at(at, c, sizeof c) != sizeof c) return false;
    const uint32_t length = load_be32(c);
    // A chunk the file's image data or end may hold here: IDAT, or IEND, its length fitting.
    const bool is_data = std::memcmp(c + 4, "IDAT", 4) == 0, is_end = std::memcmp(c + 4, "IEND", 4) == 0;
    return (is_data || (is_end && length == 0)) && length <= max_chunk && length <= left - 12;
}

stretch_verdict_t png_chunk_holds(byte_source_i& file, uint64_t place, uint64_t boundary) {
    // The place is the last byte of a chunk (or the signature's start): the next chunk starts
    // after it.
    const uint64_t pos = place == 0 ? 8 : place + 1;
    uint8_t c[8];
    if (file.read_at(pos, c, sizeof c) != sizeof c) return stretch_verdict_t::unknown;
    const uint64_t length = load_be32(c);
    if (length > max_chunk || pos + 12 + length <= boundary || pos + 12 + length > file.size())
        return stretch_verdict_t::unknown;
    uint32_t crc = crc32_update(0, c + 4, 4);
    uint8_t buffer[4096];
    for (uint64_t at = pos + 8, end = pos + 8 + length; at < end;) {
        const size_t n = size_t(std::min<uint64_t>(sizeof buffer, end - at));
        if (file.read_at(at, buffer, n) != n) return stretch_verdict_t::unknown;
        crc = crc32_update(crc, buffer, n);
        at += n;
    }
    uint8_t stored[4];
    if (file.read_at(pos + 8 + length, stored, 4) != 4) return stretch_verdict_t::unknown;
    return load_be32(stored) == crc ? stretch_verdict_t::holds : stretch_verdict_t::broken;
}

}  // namespace ember::fs
