// DPX film frames: the generic header states the file size, in either byte order; the image
// elements' layouts say how far their pixels reach, which bounds a damaged size.
#include <algorithm>

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

constexpr uint32_t element_size = 72;
// A file size this much past the pixels is kept (user data, padding); more is a damaged size.
constexpr uint64_t max_trailing = 64 * 1024;

uint32_t components_of(uint8_t descriptor) {
    if (descriptor >= 1 && descriptor <= 8) return 1;
    switch (descriptor) {
        case 50: case 101: case 102: return 3;
        case 51: case 52: case 103: return 4;
        case 100: return 2;
        default: return 0;
    }
}

// The bytes of one image element's pixels (lines in 32-bit words, with their padding), 0 when its
// layout is not one of the known ones.
uint64_t element_bytes(uint64_t samples_per_line, uint64_t lines, uint8_t bits, uint16_t packing,
                       uint32_t line_padding, uint32_t image_padding) {
    uint64_t words;
    switch (bits) {
        case 1: case 8: case 16: case 32: case 64: words = (samples_per_line * bits + 31) / 32; break;
        case 10: words = packing == 0 ? (samples_per_line * 10 + 31) / 32 : (samples_per_line + 2) / 3; break;
        case 12: words = packing == 0 ? (samples_per_line * 12 + 31) / 32 : (samples_per_line + 1) / 2; break;
        default: return 0;
    }
    if (line_padding == 0xFFFFFFFF) line_padding = 0;
    if (image_padding == 0xFFFFFFFF) image_padding = 0;
    return (words * 4 + line_padding) * lines + image_padding;
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, image_header_end + max_elements * element_size);
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
    // The pixels of each element say where the file's data ends; a file size far past that is
    // damaged.
    uint64_t pixels_end = 0;
    for (uint32_t i = 0; i < elements; ++i) {
        size_t e = image_header_end + element_size * i;
        uint32_t components = components_of(h[e + 20]);
        uint64_t offset = u32(e + 28) ? u32(e + 28) : data_offset;
        uint64_t bytes = element_bytes(uint64_t(width) * components, height, h[e + 23], u16(e + 24), u32(e + 32),
                                       u32(e + 36));
        if (components == 0 || bytes == 0 || u16(e + 26) != 0) {  // unknown, or run-length encoded
            pixels_end = 0;
            break;
        }
        pixels_end = std::max(pixels_end, offset + bytes);
    }
    uint64_t end = file_size;
    if (pixels_end && file_size > pixels_end + max_trailing) end = pixels_end;
    end = clamp_end(end, in.size());
    if (end > data_offset) in.layout().add_payload(data_offset, end - data_offset);
    return {end, "dpx"};
}

}  // namespace

const format_t dpx_format = {"dpx", "SX", probe, carve};

}  // namespace ember::video
