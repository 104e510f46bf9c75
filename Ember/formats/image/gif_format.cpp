// GIF87a/GIF89a: header, colour tables, then extension and image blocks (each a chain of
// sub-blocks) up to the trailer byte. A block that cannot be one ends the file after the last
// whole image when there was one.
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint8_t block_extension = 0x21;
constexpr uint8_t block_image = 0x2C;
constexpr uint8_t block_trailer = 0x3B;
// Frames and extensions in one file; long animations have a few thousand.
constexpr uint32_t max_blocks = 1 << 20;
// LZW minimum code sizes an image can have (2..8 by the format; 1 for some encoders' bilevel).
constexpr uint8_t min_lzw = 1, max_lzw = 11;
// Extension data (comments, application blocks such as ICC profiles or XMP) in one chain.
constexpr uint64_t max_extension_bytes = 16 * 1024 * 1024;

// The most LZW data a frame of w x h pixels can hold: codes are at most 12 bits, one a pixel,
// and encoders that never compress send a clear code every few codes; plus the sub-block
// lengths and some slack.
uint64_t max_image_bytes(uint16_t w, uint16_t h) { return 3 * uint64_t(w) * h + 64 * 1024; }

bool is_gif_signature(const uint8_t* p) {
    return std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0;
}

// Skips a chain of sub-blocks up to and including its zero terminator. A chain whose bytes hold
// a GIF signature at a sector boundary runs into the next file: it is not whole, so that a run of
// crafted headers whose chains never end costs one read of the run, not one per header. A chain
// longer than `most` bytes is not one either.
bool skip_sub_blocks(carve_input_c& in, uint64_t& pos, uint64_t most) {
    const uint64_t first = pos;
    for (;;) {
        if (pos - first > most) return false;
        std::span<const uint8_t> span = in.run(pos);
        if (span.empty()) return false;
        // Walk the sub-blocks that are at hand in this span without another call.
        size_t i = 0;
        while (i < span.size()) {
            uint8_t n = span[i];
            if (n == 0) {
                pos += i + 1;
                return true;
            }
            i += size_t(n) + 1;
        }
        for (uint64_t s = (pos + 511) & ~uint64_t(511); s < pos + span.size() && s + 6 <= pos + span.size(); s += 512)
            if (is_gif_signature(span.data() + (s - pos))) return false;
        pos += i;
    }
}

carve_result_t carve_gif(carve_input_c& in) {
    const uint8_t* h = in.at(0, 13);
    if (!h) return {};
    uint16_t width = load_le16(h + 6), height = load_le16(h + 8);
    uint8_t flags = h[10];
    if (width == 0 || height == 0) return {};
    uint64_t pos = 13;
    if (flags & 0x80) pos += 3u << ((flags & 7) + 1);
    uint64_t last_image_end = 0;
    auto cut = [&]() { return last_image_end ? carve_result_t{last_image_end, "gif"} : carve_result_t{}; };
    for (uint32_t n = 0; n < max_blocks; ++n) {
        const uint8_t* b = in.at(pos, 1);
        if (!b) return cut();
        if (*b == block_trailer) return last_image_end ? carve_result_t{pos + 1, "gif"} : carve_result_t{};
        if (*b == block_extension) {
            if (!in.at(pos, 2)) return cut();
            pos += 2;
            if (!skip_sub_blocks(in, pos, max_extension_bytes)) return cut();
        } else if (*b == block_image) {
            const uint8_t* d = in.at(pos, 11);
            if (!d) return cut();
            uint16_t left = load_le16(d + 1), top = load_le16(d + 3);
            uint16_t w = load_le16(d + 5), hgt = load_le16(d + 7);
            uint8_t local = d[9];
            // A frame must lie on the logical screen; some encoders write frames a little larger,
            // so only zero sizes and frames far outside are refused.
            if (w == 0 || hgt == 0 || uint32_t(left) + w > 2u * width + 64 || uint32_t(top) + hgt > 2u * height + 64)
                return cut();
            pos += 10;
            if (local & 0x80) pos += 3u << ((local & 7) + 1);
            const uint8_t* lzw = in.at(pos, 1);
            if (!lzw) return cut();
            if (*lzw < min_lzw || *lzw > max_lzw) return cut();
            pos += 1;
            if (!skip_sub_blocks(in, pos, max_image_bytes(w, hgt))) return cut();
            last_image_end = pos;
        } else {
            return cut();
        }
    }
    return cut();
}

bool probe_gif(const uint8_t* head, size_t size) {
    return size >= 13 && is_gif_signature(head);
}

}  // namespace

const format_t gif_format = {"gif", "G", probe_gif, carve_gif};

}  // namespace ember
