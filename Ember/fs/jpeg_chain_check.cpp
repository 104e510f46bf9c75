// The structure walk of a JPEG read through a candidate chain (media_chain_check.h): every MCU of
// the picture Huffman-decoded with its own tables up to EOI (jpeg_entropy_check.h), the further
// pictures of a multi-picture file that follow it (each starting with SOI), and after the last
// EOI nothing but the camera's padding: one fill byte, zero or 0xFF, to the file's end. A stretch
// from the wrong clusters stops the decode (a code its tables lack, too many coefficients, a
// restart out of sequence) or moves EOI away from the last MCU, so a walk that holds is the file.
#include <algorithm>

#include "extent_source.h"
#include "jpeg_entropy_check.h"
#include "chain_check_support.h"

namespace ember::fs {
namespace {

// Pictures of one file (a multi-picture file's previews and views).
constexpr int max_pictures = 8;
// Places are recorded this far apart in bytes the walk confirmed (no stretch is shorter).
constexpr uint64_t place_step = 512;
// Padding after the last EOI, read this much at a time.
constexpr size_t padding_piece = 4096;

void add_places(structure_walk_t& out, uint64_t from, uint64_t to) {
    for (uint64_t at = from; at < to; at += place_step) out.places.push_back(at);
    if (to > from) out.places.push_back(to - 1);
}

}  // namespace

structure_walk_t walk_jpeg(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    const uint64_t size = file.size();
    uint64_t at = 0;
    for (int picture = 0; at < size; ++picture) {
        uint8_t head[2] = {};
        if (file.read_at(at, head, 2) != 2) return stop_at(out, at);
        if (head[0] == 0xFF && head[1] == 0xD8 && picture < max_pictures) {
            extent_source_c one(file, {{at, size - at}}, size - at);
            jpeg_entropy_check_c check;
            if (!check.start(one)) {
                if (picture == 0) out.is_known = false;  // a coding the checker does not read
                return stop_at(out, at);
            }
            uint64_t end = 0;
            switch (check.run(one, check.first_state(), &end)) {
            case jpeg_entropy_check_c::result_t::complete: break;
            case jpeg_entropy_check_c::result_t::error: return stop_at(out, at + end);
            default:
                out.is_known = picture != 0;
                return stop_at(out, at);
            }
            add_places(out, at, at + end);
            at += end;
            continue;
        }
        if (picture == 0) return stop_at(out, 0);
        // Padding: every byte to the end the same fill as the first after EOI.
        const uint8_t fill = head[0];
        if (fill != 0x00 && fill != 0xFF) return stop_at(out, at);
        uint8_t piece[padding_piece];
        for (uint64_t p = at; p < size;) {
            const size_t n = size_t(std::min<uint64_t>(sizeof piece, size - p));
            if (file.read_at(p, piece, n) != n) return stop_at(out, p);
            const uint8_t* other = std::find_if(piece, piece + n, [fill](uint8_t b) { return b != fill; });
            if (other != piece + n) return stop_at(out, p + uint64_t(other - piece));
            p += n;
        }
        add_places(out, at, size);
        at = size;
    }
    out.is_sound = at == size && size > 0;
    return out;
}

}  // namespace ember::fs
