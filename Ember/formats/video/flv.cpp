// Flash video: a 9-byte header, then tags, each followed by its own size (PreviousTagSize). The
// file ends after the last tag whose trailing size matches.
#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"

namespace ember::video {
namespace {

constexpr uint32_t flv_header_size = 9;
constexpr uint32_t tag_header_size = 11;

bool probe(const uint8_t* h, size_t size) {
    return size >= 13 && h[0] == 'F' && h[1] == 'L' && h[2] == 'V' && h[3] == 1 &&
           (h[4] & 0xFA) == 0 && load_be32(h + 5) == flv_header_size && load_be32(h + 9) == 0;
}

carve_result_t carve(carve_input_c& in) {
    uint64_t pos = flv_header_size + 4;
    uint64_t tags = 0;
    for (;;) {
        const uint8_t* t = in.at(pos, tag_header_size);
        if (!t) break;
        uint8_t type = t[0] & 0x1F;
        if ((t[0] & 0xC0) != 0 || (type != 8 && type != 9 && type != 18)) break;
        uint32_t data_size = uint32_t(t[1]) << 16 | uint32_t(t[2]) << 8 | t[3];
        if ((uint32_t(t[8]) << 16 | uint32_t(t[9]) << 8 | t[10]) != 0) break;  // stream id is 0
        uint32_t trailer = 0;
        if (!in.be32(pos + tag_header_size + data_size, trailer)) break;
        if (trailer != tag_header_size + data_size) break;
        pos += tag_header_size + uint64_t(data_size) + 4;
        ++tags;
    }
    if (tags == 0) return {};
    return {pos, "flv"};
}

}  // namespace

const format_t flv_format = {"flv", "F", probe, carve};

}  // namespace ember::video
