// Fujifilm RAF: a fixed header whose directory gives offset and length of the preview JPEG,
// the metadata block and the sensor data (twice for two-sensor cameras); the end is the
// furthest of them.
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint64_t directory = 0x54;   // JPEG, metadata and CFA offset/length pairs
constexpr uint64_t second_pairs = 0x78;  // metadata and CFA of the second sensor, when present
constexpr uint64_t max_raf_size = uint64_t(1) << 32;

carve_result_t carve_raf(carve_input_c& in) {
    const uint8_t* h = in.at(0, 0x8C);
    if (!h) return {};
    uint32_t jpeg_offset = load_be32(h + directory);
    uint64_t end = 0;
    int pairs = 0;
    auto add = [&](uint64_t at) {
        uint32_t offset = load_be32(h + at), length = load_be32(h + at + 4);
        if (offset == 0 && length == 0) return true;
        if (offset < 0x8C || uint64_t(offset) + length > max_raf_size) return false;
        if (uint64_t(offset) + length > end) end = uint64_t(offset) + length;
        // The preview, the metadata and the sensor data are payload, each a piece of its own.
        in.layout().add_payload(offset, length);
        in.layout().add_embedded(offset);
        ++pairs;
        return true;
    };
    for (uint64_t at = directory; at < directory + 24; at += 8)
        if (!add(at)) return {};
    // Cameras with a second sensor record its metadata and CFA pairs after the first ones, each
    // block right behind its first-sensor twin; other models keep other values in these words.
    if (jpeg_offset >= second_pairs + 16)
        for (uint64_t k = 0; k < 2; ++k) {
            uint64_t first = directory + 8 + 8 * k, second = second_pairs + 8 * k;
            if (load_be32(h + second) == uint64_t(load_be32(h + first)) + load_be32(h + first + 4)) add(second);
        }
    const uint8_t* jpeg = in.at(jpeg_offset, 2);
    if (pairs < 2 || !jpeg || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return {};
    if (end > in.size()) end = in.size();  // the source ended inside the sensor data
    return {end, "raf"};
}

bool probe_raf(const uint8_t* head, size_t size) {
    return size >= 0x8C && std::memcmp(head, "FUJIFILMCCD-RAW ", 16) == 0;
}

}  // namespace

const format_t raf_format = {"raf", "F", probe_raf, carve_raf};

}  // namespace ember
