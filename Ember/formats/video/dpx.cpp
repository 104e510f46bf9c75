// DPX film frames: the generic header states the file size, in either byte order.
#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

constexpr uint32_t generic_header_size = 768;
constexpr uint32_t image_header_end = 780;
constexpr uint32_t max_dimension = 1u << 16;
constexpr uint32_t max_elements = 8;

bool probe(const uint8_t* h, size_t size) {
    if (size < 12) return false;
    uint32_t m = load_be32(h);
    return (m == fourcc("SDPX") || m == fourcc("XPDS")) && h[8] == 'V' && h[10] == '.';
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, image_header_end);
    if (!h) return {};
    bool big = load_be32(h) == fourcc("SDPX");
    auto u32 = [&](size_t off) { return big ? load_be32(h + off) : load_le32(h + off); };
    auto u16 = [&](size_t off) { return big ? load_be16(h + off) : load_le16(h + off); };
    uint64_t file_size = u32(16), data_offset = u32(4);
    uint32_t elements = u16(770), width = u32(772), height = u32(776);
    if (data_offset < generic_header_size || data_offset >= file_size) return {};
    if (elements == 0 || elements > max_elements) return {};
    if (width == 0 || height == 0 || width > max_dimension || height > max_dimension) return {};
    // The picture takes at least one byte per pixel.
    if (file_size - data_offset < uint64_t(width) * height) return {};
    return {clamp_end(file_size, in.size()), "dpx"};
}

}  // namespace

const format_t dpx_format = {"dpx", "SX", probe, carve};

}  // namespace ember::video
