// The structure walk of GIF for a candidate chain (media_chain_check.h): the header and colour
// table, then block by block (extensions and images, each image's data in sub-blocks) to the
// trailer, which must be the file's last byte. Every block and sub-block length is a place: an
// image's data runs in 255-byte sub-blocks, so a wrong cluster soon puts a length where none
// fits.
#include <algorithm>
#include <cstring>

#include "chain_check_support.h"
#include "core/carve_input.h"
#include "media_chain_check.h"

namespace ember::fs {
namespace {

constexpr uint64_t max_blocks = 1u << 24;  // blocks and sub-blocks over the whole file

}  // namespace

structure_walk_t walk_gif(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    const uint8_t* h = in.at(0, 13);
    if (!h || (std::memcmp(h, "GIF87a", 6) != 0 && std::memcmp(h, "GIF89a", 6) != 0)) return out;
    out.places.push_back(0);
    uint64_t pos = 13 + ((h[10] & 0x80) ? 3u << ((h[10] & 7) + 1) : 0);
    uint64_t blocks = 0;
    bool has_image = false;
    // The sub-blocks from pos to their terminator; false when they break.
    auto sub_blocks = [&]() {
        for (;;) {
            const uint8_t* n = in.at(pos, 1);
            if (!n || ++blocks > max_blocks) return false;
            out.places.push_back(pos);
            pos += 1 + *n;
            if (*n == 0) return true;
            if (pos > size) return false;
        }
    };
    for (;;) {
        const uint8_t* b = in.at(pos, 1);
        if (!b || ++blocks > max_blocks) return stop_at(out, std::min(pos, size));
        out.places.push_back(pos);
        if (*b == 0x3B) {
            out.is_sound = has_image && pos + 1 == size;
            return out;
        }
        if (*b == 0x21) {
            pos += 2;  // the label
            if (!sub_blocks()) return stop_at(out, std::min(pos, size));
        } else if (*b == 0x2C) {
            const uint8_t* d = in.at(pos + 1, 9);
            // The LZW code size (after any local colour table): 2 to 8 bits (1 is not allowed
            // but written by some encoders for two-colour pictures).
            if (!d) return stop_at(out, std::min(pos, size));
            pos += 10 + ((d[8] & 0x80) ? 3u << ((d[8] & 7) + 1) : 0);
            const uint8_t* code_size = in.at(pos, 1);
            if (!code_size || *code_size < 1 || *code_size > 8) return stop_at(out, std::min(pos, size));
            ++pos;
            if (!sub_blocks()) return stop_at(out, std::min(pos, size));
            has_image = true;
        } else {
            return stop_at(out, std::min(pos, size));
        }
    }
}

}  // namespace ember::fs
