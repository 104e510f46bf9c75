// Shockwave Flash: an uncompressed file (FWS) states its length and ends with an End tag; an
// LZMA file (ZWS) states its compressed length. A zlib file (CWS) states only its uncompressed
// length, so its end is unknown without inflating it: not carved. An FWS file's tags are its
// payload, and a tag's data may start a picture of its own.
#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

constexpr uint32_t max_swf_version = 50;
constexpr uint32_t min_swf_size = 21;
constexpr uint32_t lzma_props_size = 5;
constexpr uint32_t zws_header_size = 12;
constexpr uint8_t max_lzma_props = 225;  // (pb * 5 + lp) * 9 + lc with pb, lp <= 4, lc <= 8
constexpr uint32_t max_tags = 1u << 22;
// Bytes past the End tag that the file length may count; more is a damaged length.
constexpr uint64_t max_trailing = 64 * 1024;

bool probe(const uint8_t* h, size_t size) {
    return size >= 17 && (h[0] == 'F' || h[0] == 'Z') && h[1] == 'W' && h[2] == 'S' &&
           h[3] >= 1 && h[3] <= max_swf_version && load_le32(h + 4) >= min_swf_size;
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, 17);
    if (!h) return {};
    uint64_t length = load_le32(h + 4);
    if (h[0] == 'Z') {
        if (h[12] >= max_lzma_props) return {};
        uint64_t end = zws_header_size + lzma_props_size + uint64_t(load_le32(h + 8));
        if (end > length + lzma_props_size + zws_header_size + 1024 * 1024) return {};
        return {clamp_end(end, in.size()), "swf"};
    }
    // The frame rectangle: 5 bits of field width, then four fields.
    uint32_t nbits = h[8] >> 3;
    uint64_t pos = 8 + (5 + 4 * uint64_t(nbits) + 7) / 8 + 4;  // rectangle, rate, frame count
    const uint64_t first_tag = pos;
    for (uint32_t n = 0; n < max_tags && pos < length; ++n) {
        uint16_t code_len = 0;
        if (!in.le16(pos, code_len)) return n > 0 ? carve_result_t{in.size(), "swf"} : carve_result_t{};
        uint64_t len = code_len & 0x3F;
        pos += 2;
        if (len == 0x3F) {
            uint32_t long_len = 0;
            if (!in.le32(pos, long_len)) return {};
            len = long_len;
            pos += 4;
        }
        if ((code_len >> 6) == 0) {  // End tag: the file length, unless it states far more
            uint64_t end = length > pos + max_trailing ? pos : length;
            in.layout().add_payload(first_tag, end - first_tag);
            return {clamp_end(end, in.size()), "swf"};
        }
        // A tag's data may be a whole picture (DefineBits JPEG tags: behind the character ID,
        // the alpha offset, or an old encoder's extra EOI-SOI pair).
        for (uint64_t skip : {0, 2, 6, 8}) in.layout().add_embedded(pos + skip);
        pos += len;
    }
    return {};
}

}  // namespace

const format_t swf_format = {"swf", "FZ", probe, carve};

}  // namespace ember::video
