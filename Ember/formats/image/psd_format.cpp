// Photoshop documents ("8BPS" version 1): header, then the colour mode data, image resources
// and layer sections by their lengths, then the merged image data, whose size follows from the
// header (raw) or from its table of row byte counts (RLE).
#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint64_t header_size = 26;
constexpr uint16_t max_channels = 56;
constexpr uint32_t max_dimension = 30000;  // the limit of the version 1 format
constexpr uint16_t compression_raw = 0, compression_rle = 1;
constexpr uint64_t row_counts_chunk = 4096;  // row byte counts read per step

bool sound_header(const uint8_t* h) {
    uint16_t version = load_be16(h + 4), channels = load_be16(h + 12), depth = load_be16(h + 22);
    uint32_t height = load_be32(h + 14), width = load_be32(h + 18);
    uint16_t mode = load_be16(h + 24);
    static const uint8_t zeros[6] = {};
    return std::memcmp(h, "8BPS", 4) == 0 && version == 1 && std::memcmp(h + 6, zeros, 6) == 0 &&
           channels >= 1 && channels <= max_channels && height >= 1 && height <= max_dimension &&
           width >= 1 && width <= max_dimension &&
           (depth == 1 || depth == 8 || depth == 16 || depth == 32) && mode <= 9;
}

carve_result_t carve_psd(carve_input_c& in) {
    const uint8_t* h = in.at(0, header_size);
    if (!h || !sound_header(h)) return {};
    uint64_t channels = load_be16(h + 12), height = load_be32(h + 14), width = load_be32(h + 18);
    uint64_t depth = load_be16(h + 22);
    uint64_t pos = header_size;
    for (int section = 0; section < 3; ++section) {  // colour mode data, resources, layers
        uint32_t length;
        if (!in.be32(pos, length) || length > in.size() - pos - 4) return {};
        pos += 4 + uint64_t(length);
    }
    uint16_t compression;
    if (!in.be16(pos, compression)) return {};
    pos += 2;
    uint64_t rows = channels * height;
    uint64_t data;
    if (compression == compression_raw) {
        data = rows * ((width * depth + 7) / 8);
    } else if (compression == compression_rle) {
        // One 16-bit byte count per row of every channel, then the rows.
        uint64_t table = rows * 2;
        uint64_t max_row = (width * depth + 7) / 8 * 2 + 2;  // RLE never grows a row beyond this
        data = table;
        for (uint64_t done = 0; done < rows;) {
            uint64_t n = std::min(row_counts_chunk, rows - done);
            const uint8_t* counts = in.at(pos + done * 2, size_t(n * 2));
            if (!counts) return {};
            for (uint64_t i = 0; i < n; ++i) {
                uint16_t c = load_be16(counts + 2 * i);
                if (c > max_row) return {};
                data += c;
            }
            done += n;
        }
    } else {
        return {};  // ZIP-compressed merged data records no length
    }
    if (data > in.size() - pos) return {};
    return {pos + data, "psd"};
}

bool probe_psd(const uint8_t* head, size_t size) {
    return size >= header_size && sound_header(head);
}

}  // namespace

const format_t psd_format = {"psd", "8", probe_psd, carve_psd};

}  // namespace ember
