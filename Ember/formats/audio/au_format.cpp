// Sun/NeXT audio (".snd"): a big-endian header with the data offset and the data size. A file
// whose size field says "unknown" (written while streaming) has no end in its own structure, so
// it is left alone; a stated size is taken only as far as the samples plausibly reach.
#include <algorithm>

#include "audio_types.h"
#include "core/byte_order.h"
#include "formats/raw_samples.h"

namespace ember {
namespace {

constexpr size_t header_size = 24;
constexpr uint32_t max_header = 64 * 1024;  // header plus annotation
constexpr uint32_t unknown_size = 0xFFFFFFFF;
constexpr uint32_t max_channels = 64;
constexpr uint32_t max_rate = 1536000;

bool is_known_encoding(uint32_t e) {
    return (e >= 1 && e <= 7) || (e >= 23 && e <= 27);
}

bool probe(const uint8_t* head, size_t size) {
    if (size < header_size || load_be32(head) != fourcc(".snd")) return false;
    uint32_t offset = load_be32(head + 4), data = load_be32(head + 8);
    uint32_t rate = load_be32(head + 16), channels = load_be32(head + 20);
    return offset >= header_size && offset <= max_header && data != unknown_size &&
           is_known_encoding(load_be32(head + 12)) && rate != 0 && rate <= max_rate &&
           channels != 0 && channels <= max_channels;
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, header_size);
    if (!h || !probe(h, header_size)) return {};
    uint64_t offset = load_be32(h + 4);
    if (offset > in.size()) return {};
    // Nothing confirms the data size: the samples end where they plausibly do.
    uint64_t end = raw_sample_end(in, offset, offset + load_be32(h + 8));
    in.layout().add_payload(offset, end - offset);
    return {end, "au"};
}

}  // namespace

const format_t au_format = {"au", ".", probe, carve};

}  // namespace ember
