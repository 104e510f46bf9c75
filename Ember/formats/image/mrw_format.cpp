// Minolta MRW: a block list ("\0MRM" and its length) ahead of the sensor data, whose size
// follows from the picture dimensions and the bit depth in the PRD block.
#include <cstring>

#include "core/byte_order.h"
#include "formats/raw_samples.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint32_t max_header = 1 << 20;
constexpr uint32_t max_blocks = 64;
constexpr uint8_t storage_packed = 0x59, storage_unpacked = 0x52;

carve_result_t carve_mrw(carve_input_c& in) {
    uint32_t header;
    if (!in.be32(4, header) || header > max_header || header < 8) return {};
    uint64_t data = 8 + uint64_t(header);
    uint64_t raw = 0;
    uint64_t pos = 8;
    for (uint32_t n = 0; n < max_blocks && pos + 8 <= data; ++n) {
        const uint8_t* b = in.at(pos, 8);
        if (!b || b[0] != 0) return {};
        uint32_t length = load_be32(b + 4);
        if (length > data - pos - 8) return {};
        if (std::memcmp(b, "\0PRD", 4) == 0 && length >= 24) {
            const uint8_t* p = in.at(pos + 8, 24);
            if (!p) return {};
            // Version (8), sensor rows and columns, picture rows and columns, data bits,
            // pixel bits, storage method.
            uint64_t rows = load_be16(p + 8), columns = load_be16(p + 10);
            uint8_t pixel_bits = p[17], storage = p[18];
            if (rows == 0 || columns == 0 || (pixel_bits != 12 && pixel_bits != 16) ||
                (storage != storage_packed && storage != storage_unpacked))
                return {};
            raw = rows * columns * pixel_bits / 8;
        }
        pos += 8 + uint64_t(length);
    }
    if (raw == 0) return {};
    // Nothing confirms the sensor data's size: it ends where the data plausibly does, or where
    // the source does. It is payload: a picture that starts inside it was written over it.
    if (data >= in.size()) return {in.size(), "mrw"};  // the source ended inside the header
    uint64_t end = raw_sample_end(in, data, data + raw, picture_zero_run);
    in.layout().add_payload(data, end - data);
    return {end, "mrw"};
}

bool probe_mrw(const uint8_t* head, size_t size) {
    return size >= 16 && std::memcmp(head, "\0MRM", 4) == 0 && std::memcmp(head + 8, "\0PRD", 4) == 0;
}

}  // namespace

const format_t mrw_format = {"mrw", std::string_view("\0", 1), probe_mrw, carve_mrw};

}  // namespace ember
