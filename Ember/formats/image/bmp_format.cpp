// Windows bitmaps ("BM"): the end is the larger of the pixel data's end (from the info header:
// rows padded to four bytes, or the stored image size when compressed) and an embedded colour
// profile's end. The file header's size field is taken when it agrees within a few bytes, or
// when the bytes it adds are an ICC profile of exactly that size.
#include "core/byte_order.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint32_t file_header_size = 14;
// Info header sizes: OS/2 core (12), OS/2 2.x (16, 64), Windows (40), with masks (52, 56),
// V4 (108), V5 (124).
constexpr uint32_t header_sizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
constexpr int32_t max_dimension = 1 << 16;
constexpr uint64_t max_bmp_size = uint64_t(1) << 32;
// Writers pad the file to an even or four-byte size; the size field then counts the padding.
constexpr uint64_t size_slack = 4;
// Compression codes: none, RLE8, RLE4, bit fields, JPEG, PNG, alpha bit fields.
constexpr uint32_t bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3, bi_alpha_bitfields = 6;
constexpr uint32_t profile_embedded = 0x4D424544;  // 'MBED'
// An ICC profile starts with its size (big-endian) and carries "acsp" at offset 36.
constexpr size_t icc_header_size = 128;
constexpr uint32_t icc_signature = 0x61637370;

bool known_header_size(uint32_t n) {
    for (uint32_t s : header_sizes)
        if (s == n) return true;
    return false;
}

bool known_depth(uint32_t bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

carve_result_t carve_bmp(carve_input_c& in) {
    const uint8_t* f = in.at(0, file_header_size + 4);
    if (!f) return {};
    uint32_t file_size = load_le32(f + 2), pixels = load_le32(f + 10), info_size = load_le32(f + 14);
    if (!known_header_size(info_size)) return {};
    const uint8_t* h = in.at(file_header_size, info_size);
    if (!h) return {};
    int64_t width, height;
    uint32_t planes, bpp, compression = bi_rgb, image_size = 0;
    if (info_size == 12) {
        width = load_le16(h + 4);
        height = int16_t(load_le16(h + 6));
        planes = load_le16(h + 8);
        bpp = load_le16(h + 10);
    } else {
        width = int32_t(load_le32(h + 4));
        height = int32_t(load_le32(h + 8));
        planes = load_le16(h + 12);
        bpp = load_le16(h + 14);
        if (info_size >= 40) {
            compression = load_le32(h + 16);
            image_size = load_le32(h + 20);
        }
    }
    if (height < 0) height = -height;
    if (planes != 1 || !known_depth(bpp) || width <= 0 || width > max_dimension || height == 0 ||
        height > max_dimension || compression > bi_alpha_bitfields)
        return {};
    uint64_t palette_end = file_header_size + uint64_t(info_size);
    if (pixels < palette_end || pixels > palette_end + 4 * 256 + 16) return {};
    uint64_t data_size;
    if (compression == bi_rgb || compression == bi_bitfields || compression == bi_alpha_bitfields) {
        uint64_t stride = (uint64_t(width) * bpp + 31) / 32 * 4;
        data_size = stride * uint64_t(height);
    } else {
        if ((compression == bi_rle8 && bpp != 8) || (compression == bi_rle4 && bpp != 4) || image_size == 0)
            return {};
        data_size = image_size;
    }
    uint64_t end = pixels + data_size;
    if (info_size == 124) {
        uint32_t cs_type = load_le32(h + 56), profile = load_le32(h + 112), profile_size = load_le32(h + 116);
        if (cs_type == profile_embedded && profile_size) {
            uint64_t profile_end = file_header_size + uint64_t(profile) + profile_size;
            if (profile_end > end) end = profile_end;
        }
    }
    if (file_size >= end && file_size - end <= size_slack) end = file_size;
    // Some writers put a colour profile behind the pixels of a file whose header cannot point
    // to it; the size field counts it, and the profile states its own size.
    if (file_size > end && file_size <= in.size()) {
        const uint8_t* icc = in.at(end, icc_header_size);
        if (icc && load_be32(icc) == file_size - end && load_be32(icc + 36) == icc_signature) end = file_size;
    }
    if (end > max_bmp_size || end > in.size()) return {};
    return {end, "bmp"};
}

bool probe_bmp(const uint8_t* head, size_t size) {
    // "BM", reserved words zero, and a known info header size.
    return size >= 18 && head[0] == 'B' && head[1] == 'M' && load_le32(head + 6) == 0 &&
           known_header_size(load_le32(head + 14));
}

}  // namespace

const format_t bmp_format = {"bmp", "B", probe_bmp, carve_bmp};

}  // namespace ember
