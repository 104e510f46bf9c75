// AIFF and AIFF-C: "FORM" with its size, then chunks (COMM first in practice, SSND with the
// samples). The FORM size gives the end; the chunk walk confirms it, and damage inside cuts the
// file after the last sound chunk. A sound chunk whose end neither the FORM size nor a chunk after
// it confirms ends with its samples (raw_samples.h).
#include <algorithm>

#include "audio_types.h"
#include "core/byte_order.h"
#include "formats/raw_samples.h"

namespace ember {
namespace {

constexpr int max_chunks = 4096;

bool is_chunk_id(const uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

// True when a chunk that ends at `end` is confirmed by what follows it inside the FORM: its
// end, or another chunk that fits.
bool is_confirmed(carve_input_c& in, uint64_t end, uint64_t form_end) {
    if (end == form_end || end == form_end + 1) return true;
    if (end > form_end || form_end - end < 8) return false;
    const uint8_t* c = in.at(end, 8);
    return c && is_chunk_id(c) && load_be32(c + 4) <= form_end - end - 8;
}

bool probe(const uint8_t* head, size_t size) {
    if (size < 12 || load_be32(head) != fourcc("FORM")) return false;
    uint32_t type = load_be32(head + 8);
    return (type == fourcc("AIFF") || type == fourcc("AIFC")) && load_be32(head + 4) >= 4;
}

carve_result_t carve(carve_input_c& in) {
    uint32_t form_size;
    if (!in.be32(4, form_size)) return {};
    uint64_t form_end = 8 + uint64_t(form_size);
    uint64_t pos = 12;
    bool has_comm = false, has_sound = false;
    for (int i = 0; i < max_chunks && pos + 8 <= form_end; ++i) {
        const uint8_t* c = in.at(pos, 8);
        if (!c) break;  // the source ends inside the file
        if (!is_chunk_id(c)) break;
        uint64_t size = load_be32(c + 4);
        uint64_t end = pos + 8 + size;
        if (load_be32(c) == fourcc("SSND")) {
            has_sound = true;
            if (!is_confirmed(in, end + (size & 1), form_end)) {
                // A damaged size: the file ends with its sound.
                if (!has_comm) return {};
                uint64_t sound = raw_sample_end(in, pos + 8, std::min(end, form_end));
                in.layout().add_payload(pos + 8, sound - (pos + 8));
                return {sound, "aif"};
            }
            in.layout().add_payload(pos + 8, size);
        }
        if (end > form_end) break;
        if (load_be32(c) == fourcc("COMM")) {
            if (size < 18) break;
            has_comm = true;
        }
        pos = std::min(form_end, end + (size & 1));
    }
    if (!has_comm) return {};
    if (pos == form_end && form_end <= in.size()) return {form_end, "aif"};
    if (pos >= in.size() || (has_sound && pos + 8 > in.size())) return {in.size(), "aif"};
    return has_sound ? carve_result_t{pos, "aif"} : carve_result_t{};
}

}  // namespace

const format_t aiff_format = {"aif", "F", probe, carve};

}  // namespace ember
