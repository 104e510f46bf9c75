// Standard MIDI file: "MThd" with the track count, then chunks by their lengths. Each "MTrk"
// must end with the End of Track event; the file ends after the last announced track. A damaged
// track cuts the file after the tracks before it.
#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

constexpr uint32_t max_header = 256;
constexpr int max_foreign_chunks = 64;

bool is_chunk_id(const uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

bool probe(const uint8_t* head, size_t size) {
    if (size < 14 || load_be32(head) != fourcc("MThd")) return false;
    uint32_t length = load_be32(head + 4);
    uint16_t format = load_be16(head + 8), tracks = load_be16(head + 10);
    return length >= 6 && length <= max_header && format <= 2 && tracks != 0 &&
           (format != 0 || tracks == 1);
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, 14);
    if (!h || !probe(h, 14)) return {};
    uint32_t tracks = load_be16(h + 10);
    uint64_t pos = 8 + uint64_t(load_be32(h + 4));
    uint32_t found = 0;
    int foreign = 0;
    while (found < tracks) {
        const uint8_t* c = in.at(pos, 8);
        if (!c || !is_chunk_id(c)) break;
        uint64_t length = load_be32(c + 4);
        if (length > in.size() - pos - 8) break;
        if (load_be32(c) == fourcc("MTrk")) {
            const uint8_t* tail = length >= 3 ? in.at(pos + 8 + length - 3, 3) : nullptr;
            if (!tail || tail[0] != 0xFF || tail[1] != 0x2F || tail[2] != 0x00) break;
            ++found;
        } else if (++foreign > max_foreign_chunks) {
            break;
        }
        pos += 8 + length;
    }
    if (found == 0) return {};
    return {pos, "mid"};
}

}  // namespace

const format_t midi_format = {"mid", "M", probe, carve};

}  // namespace ember
