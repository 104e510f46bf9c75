// Apple Core Audio Format: "caff" version 1, then chunks with 64-bit sizes, 'desc' first. The
// file ends where its chunks end: after the last chunk of a known type. A 'data' chunk of size
// -1 runs to the end of a file that does not state it, so such a file is left alone; a last
// 'data' chunk is taken only as far as its samples plausibly reach (raw_samples.h).
#include <algorithm>

#include "audio_types.h"
#include "core/byte_order.h"
#include "formats/raw_samples.h"

namespace ember {
namespace {

constexpr int max_chunks = 4096;
constexpr uint64_t desc_size = 32;
constexpr uint64_t max_chunk = uint64_t(1) << 40;

bool is_known_chunk(uint32_t t) {
    static constexpr uint32_t known[] = {
        fourcc("desc"), fourcc("data"), fourcc("pakt"), fourcc("chan"), fourcc("kuki"),
        fourcc("strg"), fourcc("mark"), fourcc("regn"), fourcc("inst"), fourcc("midi"),
        fourcc("ovvw"), fourcc("peak"), fourcc("edct"), fourcc("uuid"), fourcc("info"),
        fourcc("umid"), fourcc("free"), fourcc("ldsc"),
    };
    return std::find(std::begin(known), std::end(known), t) != std::end(known);
}

bool probe(const uint8_t* head, size_t size) {
    return size >= 20 && load_be32(head) == fourcc("caff") && load_be16(head + 4) == 1 &&
           load_be16(head + 6) == 0 && load_be32(head + 8) == fourcc("desc") &&
           load_be64(head + 12) == desc_size;
}

carve_result_t carve(carve_input_c& in) {
    uint64_t pos = 8;
    bool has_data = false, is_data_last = false;
    uint64_t data_body = 0, data_end = 0;
    for (int i = 0; i < max_chunks; ++i) {
        const uint8_t* c = in.at(pos, 12);
        if (!c || !is_known_chunk(load_be32(c))) break;
        uint64_t size = load_be64(c + 4);
        is_data_last = load_be32(c) == fourcc("data");
        if (is_data_last) {
            if (size > max_chunk || size < 4) return {};  // -1: the end is not stated
            has_data = true;
            data_body = pos + 12;
            data_end = data_body + size;
            in.layout().add_payload(data_body, size);
        } else if (size > max_chunk) {
            break;
        }
        if (size > in.size() - pos - 12) {  // cut short by the end of the source
            pos = in.size();
            break;
        }
        pos += 12 + size;
    }
    if (!has_data) return {};
    // No chunk after the sound confirms its size: the file ends with its sound.
    if (is_data_last) pos = raw_sample_end(in, data_body, data_end);
    return {pos, "caf"};
}

}  // namespace

const format_t caf_format = {"caf", "c", probe, carve};

}  // namespace ember
