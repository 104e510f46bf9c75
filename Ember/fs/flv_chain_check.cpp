// The structure walk of Flash video for a candidate chain (media_chain_check.h): the header, then
// every tag's header (its type and a zero stream id) and the size after it that repeats the tag's
// own, to the file's end. Each tag's start and each trailing size is a place.
#include <algorithm>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "media_chain_check.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

constexpr uint64_t header_size = 9;
constexpr uint64_t tag_header = 11;
constexpr uint64_t max_tags = 1u << 22;

// A tag's header: audio, video or script data, not filtered, stream id 0.
bool is_tag_header(const uint8_t* t) {
    const uint8_t type = t[0] & 0x1F;
    return (t[0] & 0xE0) == 0 && (type == 8 || type == 9 || type == 18) && t[8] == 0 && t[9] == 0 && t[10] == 0;
}

}  // namespace

structure_walk_t walk_flv(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    const uint8_t* h = in.at(0, header_size + 4);
    if (!h || h[0] != 'F' || h[1] != 'L' || h[2] != 'V' || load_be32(h + 5) != header_size || load_be32(h + 9) != 0)
        return stop_at(out, 0);
    out.places.push_back(0);
    uint64_t pos = header_size + 4;
    for (uint64_t n = 0; pos < size; ++n) {
        const uint8_t* t = size - pos >= tag_header ? in.at(pos, tag_header) : nullptr;
        if (!t || n == max_tags || !is_tag_header(t)) return stop_at(out, pos);
        const uint64_t data = uint64_t(t[1]) << 16 | uint64_t(t[2]) << 8 | t[3];
        out.places.push_back(pos);
        const uint64_t trailer = pos + tag_header + data;
        const uint8_t* s = trailer <= size && size - trailer >= 4 ? in.at(trailer, 4) : nullptr;
        if (!s || load_be32(s) != tag_header + data) return stop_at(out, trailer < size ? trailer : pos);
        out.places.push_back(trailer);
        pos = trailer + 4;
    }
    out.is_sound = pos == size;
    return out;
}

bool flv_continues_at(byte_source_i& card, uint64_t at, uint64_t left) {
    // A tag's header, or the size that ends a tag with the next tag's header after it (or the
    // file's end).
    uint8_t b[4 + tag_header];
    const size_t n = size_t(std::min<uint64_t>(left, sizeof b));
    if (n < 4 || card.read_at(at, b, n) != n) return false;
    if (n >= tag_header && is_tag_header(b) && (uint64_t(b[1]) << 16 | uint64_t(b[2]) << 8 | b[3]) + tag_header + 4 <= left)
        return true;
    const uint64_t previous = load_be32(b);
    if (previous <= tag_header || previous > (1u << 24) + tag_header) return false;
    return n == 4 ? left == 4 : n == sizeof b && is_tag_header(b + 4);
}

}  // namespace ember::fs
