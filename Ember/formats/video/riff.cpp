// RIFF files: AVI (with its OpenDML AVIX continuation parts), WAVE (also RF64) and animated
// cursors. The RIFF size gives the end; the chunk walk inside it checks that it is one, and an
// AVI's stream chunks are walked too, so that it is cut where they stop. A WAVE sound chunk whose
// end neither the RIFF size nor a chunk after it confirms ends with its sound (raw_samples.h).
#include <algorithm>

#include "core/byte_order.h"
#include "core/format.h"
#include "formats/raw_samples.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

// OpenDML writes one AVIX part per gigabyte; ten thousand of them is far beyond any card.
constexpr uint32_t max_avix_parts = 10000;
constexpr uint32_t max_chunks = 1u << 16;
constexpr uint32_t min_riff_size = 12;

bool probe(const uint8_t* h, size_t size) {
    if (size < 16) return false;
    uint32_t id = load_be32(h);
    if (id != fourcc("RIFF") && id != fourcc("RF64")) return false;
    uint32_t form = load_be32(h + 8);
    return form == fourcc("AVI ") || form == fourcc("WAVE") || form == fourcc("ACON");
}

bool is_hex_digit(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
// Stream chunk kinds are two letters ("dc", "wb", "tx"), or "__" for interleaved DV.
bool is_letter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

// The chunks a movi list holds: stream data ("00dc", "01wb", ...), OpenDML indexes ("ix00"),
// "rec " groups and padding.
bool is_movi_chunk(const uint8_t* h) {
    uint32_t id = load_be32(h);
    if (id == fourcc("LIST") || id == fourcc("JUNK")) return true;
    if (h[0] == 'i' && h[1] == 'x') return is_hex_digit(h[2]) && is_hex_digit(h[3]);
    return is_hex_digit(h[0]) && is_hex_digit(h[1]) && is_letter(h[2]) && is_letter(h[3]);
}

// Where the chunks of the movi list body [pos, end) stop being stream chunks, or end. A file
// whose later clusters were overwritten or lie elsewhere stops being one there; the chunk before
// that place, whose end nothing confirms, is left out too, since it may reach into another file.
uint64_t movi_end(carve_input_c& in, uint64_t pos, uint64_t end) {
    uint64_t confirmed = pos;
    while (pos + 8 <= end) {
        const uint8_t* h = in.at(pos, 8);
        if (!h || !is_movi_chunk(h)) return confirmed;
        uint64_t size = load_le32(h + 4);
        if (load_be32(h) == fourcc("LIST")) {
            pos += 12;  // a "rec " group: its chunks follow one another as at the top
            confirmed = pos;
            continue;
        }
        uint64_t next = pos + 8 + size + (size & 1);
        in.layout().add_embedded(pos + 8);  // a frame of its own (motion JPEG)
        if (next > end) return pos + 8 + size <= end ? end : pos;
        // Some writers leave out the pad byte after an odd-sized chunk.
        if ((size & 1) && next + 8 <= end) {
            const uint8_t* padded = in.at(next, 8);
            bool is_padded = padded && is_movi_chunk(padded);
            const uint8_t* unpadded = is_padded ? nullptr : in.at(next - 1, 8);
            if (unpadded && is_movi_chunk(unpadded)) --next;
        }
        confirmed = pos;
        pos = next;
    }
    return end;
}

// True when a chunk that ends at `end` is confirmed by what follows it inside the RIFF: its
// end, or another chunk that fits.
bool is_confirmed(carve_input_c& in, uint64_t end, uint64_t riff_end) {
    if (end == riff_end || end == riff_end + 1) return true;
    if (end > riff_end || riff_end - end < 8) return false;
    const uint8_t* h = in.at(end, 8);
    return h && is_fourcc_text(h) && load_le32(h + 4) <= riff_end - end - 8;
}

struct walk_t {
    uint64_t end = 0;       // where the chunks stopped being valid, or the RIFF end
    bool has_header = false;  // AVI hdrl, WAVE fmt, ACON anih
    bool has_data = false;    // AVI movi, WAVE data, ACON icons
};

// Walks the chunks in [12, riff_end) of the RIFF at `base`.
walk_t walk_chunks(carve_input_c& in, uint64_t base, uint64_t riff_end, uint32_t form) {
    walk_t w;
    uint64_t pos = base + 12;
    for (uint32_t n = 0; n < max_chunks && pos + 8 <= riff_end; ++n) {
        const uint8_t* h = in.at(pos, 8);
        if (!h) {  // the data ends here
            w.end = pos;
            return w;
        }
        if (!is_fourcc_text(h)) break;
        uint32_t id = load_be32(h);
        uint64_t size = load_le32(h + 4);
        const uint8_t* l = size >= 4 ? in.at(pos + 8, 4) : nullptr;
        uint32_t list = l ? load_be32(l) : 0;
        if (form == fourcc("AVI ") && id == fourcc("LIST") && list == fourcc("hdrl")) w.has_header = true;
        if (form == fourcc("AVI ") && id == fourcc("LIST") && list == fourcc("movi")) w.has_data = true;
        if ((form == fourcc("AVI ") || form == fourcc("AVIX")) && id == fourcc("LIST") &&
            list == fourcc("movi") && size >= 4) {
            uint64_t list_end = std::min(pos + 8 + size, riff_end);
            uint64_t valid = movi_end(in, pos + 12, list_end);
            in.layout().add_payload(pos + 12, valid - (pos + 12));
            if (valid < list_end) {
                w.end = valid;
                return w;
            }
        }
        if (form == fourcc("WAVE") && id == fourcc("fmt ")) w.has_header = true;
        if (form == fourcc("WAVE") && id == fourcc("data")) {
            w.has_data = true;
            uint64_t stated = pos + 8 + size;
            if (!is_confirmed(in, stated + (size & 1), riff_end)) {
                // A damaged size: the file ends with its sound.
                w.end = raw_sample_end(in, pos + 8, std::min(stated, riff_end));
                in.layout().add_payload(pos + 8, w.end - (pos + 8));
                return w;
            }
            in.layout().add_payload(pos + 8, size);
        }
        if (form == fourcc("ACON") && id == fourcc("anih")) w.has_header = true;
        if (form == fourcc("ACON") && id == fourcc("LIST") && list == fourcc("fram")) w.has_data = true;
        uint64_t next = pos + 8 + size + (size & 1);
        if (next > riff_end) {
            // A last chunk that misses only its pad byte still ends the file at the RIFF end.
            if (pos + 8 + size <= riff_end) break;
            w.end = pos;
            return w;
        }
        pos = next;
    }
    w.end = pos + 8 > riff_end ? riff_end : pos;
    return w;
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, 12);
    if (!h) return {};
    uint32_t form = load_be32(h + 8);
    uint64_t riff_size = load_le32(h + 4);
    if (load_be32(h) == fourcc("RF64")) {
        // The real size stands in the ds64 chunk that must come first.
        const uint8_t* d = in.at(12, 16);
        if (!d || load_be32(d) != fourcc("ds64")) return {};
        riff_size = load_le64(d + 8);
    }
    if (riff_size < min_riff_size || riff_size == 0xFFFFFFFFu) return {};
    uint64_t riff_end = 8 + riff_size;
    walk_t w = walk_chunks(in, 0, riff_end, form);
    if (!w.has_header || !w.has_data) return {};
    uint64_t end = w.end;
    if (end == riff_end && form == fourcc("AVI ")) {
        // Files past a gigabyte go on in RIFF AVIX parts.
        for (uint32_t part = 0; part < max_avix_parts; ++part) {
            const uint8_t* x = in.at(end, 12);
            if (!x || load_be32(x) != fourcc("RIFF") || load_be32(x + 8) != fourcc("AVIX")) break;
            uint64_t x_end = end + 8 + load_le32(x + 4);
            if (load_le32(x + 4) < min_riff_size) break;
            walk_t xw = walk_chunks(in, end, x_end, fourcc("AVIX"));
            end = xw.end;
            if (xw.end != x_end) break;
        }
    }
    end = clamp_end(end, in.size());
    const char* ext = form == fourcc("AVI ") ? "avi" : form == fourcc("WAVE") ? "wav" : "ani";
    return {end, ext};
}

}  // namespace

const format_t riff_format = {"riff", "R", probe, carve};

}  // namespace ember::video
