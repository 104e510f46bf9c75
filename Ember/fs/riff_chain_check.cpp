// The structure walk of RIFF AVI for a candidate chain (media_chain_check.h).
#include <algorithm>

#include "core/byte_order.h"
#include "core/carve_input.h"
#include "media_chain_check.h"

namespace ember::fs {
namespace {

constexpr uint64_t max_chunks = 1u << 22;  // over the whole file
constexpr uint64_t max_index_entries = 1u << 22;

bool is_hex_digit(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_letter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_printable(const uint8_t* p) {
    return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}
// A stream chunk ("00dc", "01wb"), an OpenDML index ("ix00"), a "rec " list or padding.
bool is_movi_chunk(const uint8_t* h) {
    uint32_t id = load_be32(h);
    if (id == fourcc("LIST") || id == fourcc("JUNK")) return true;
    if (h[0] == 'i' && h[1] == 'x') return is_hex_digit(h[2]) && is_hex_digit(h[3]);
    return is_hex_digit(h[0]) && is_hex_digit(h[1]) && is_letter(h[2]) && is_letter(h[3]);
}

class avi_walk_c {
public:
    avi_walk_c(carve_input_c& in, structure_walk_t& out) : in_(in), out_(out) {}

    // The chunks of the movi body [pos, end), one after another to its end.
    bool movi(uint64_t pos, uint64_t end) {
        while (pos < end) {
            out_.failed_at = pos;  // until the chunk here holds
            const uint8_t* h = end - pos >= 8 ? in_.at(pos, 8) : nullptr;
            if (!h || !is_movi_chunk(h) || ++chunks_ > max_chunks) return false;
            const uint32_t id = load_be32(h);
            const uint64_t size = load_le32(h + 4);
            out_.places.push_back(pos);
            if (id == fourcc("LIST")) {
                pos += 12;  // a "rec " group: its chunks follow as in the movi list itself
                continue;
            }
            if (size > end - pos - 8) return false;
            out_.failed_at = pos + 8;  // the frame's data
            if (size >= 3 && (h[3] == 'c' || h[3] == 'b') && h[2] == 'd' && !jpeg_frame(pos + 8)) return false;
            pos += 8 + size + (size & 1);
        }
        return pos == end || pos == end + 1;
    }

    // idx1: each entry names a chunk of the movi list by id, offset and size.
    bool index(uint64_t body, uint64_t end, uint64_t movi_id_at) {
        uint64_t entries = (end - body) / 16, base = ~uint64_t(0);
        if (entries > max_index_entries) return false;
        for (uint64_t i = 0; i < entries; ++i) {
            out_.failed_at = body + 16 * i;
            const uint8_t* e = in_.at(body + 16 * i, 16);
            if (!e) return false;
            uint8_t entry[16];
            std::copy(e, e + 16, entry);
            const uint64_t offset = load_le32(entry + 8);
            if (base == ~uint64_t(0)) base = matches(entry, movi_id_at + offset) ? movi_id_at : 0;
            if (!matches(entry, base + offset)) return false;
            out_.places.push_back(body + 16 * i);
        }
        return true;
    }

private:
    bool matches(const uint8_t* entry, uint64_t at) {
        const uint8_t* h = in_.at(at, 8);
        return h && load_be32(h) == load_be32(entry) && load_le32(h + 4) == load_le32(entry + 12);
    }

    // A video stream's frame: motion JPEG when the first frame is one, and then every frame is.
    bool jpeg_frame(uint64_t at) {
        const uint8_t* p = in_.at(at, 3);
        if (!p) return false;
        const bool is_jpeg = p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
        if (jpeg_ == 0) jpeg_ = is_jpeg ? 1 : -1;
        if (jpeg_ < 0) return true;
        if (is_jpeg) out_.places.push_back(at);
        return is_jpeg;
    }

    carve_input_c& in_;
    structure_walk_t& out_;
    uint64_t chunks_ = 0;
    int jpeg_ = 0;  // 1: motion JPEG, -1: another codec, 0: not known yet
};

}  // namespace

structure_walk_t walk_riff_avi(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    avi_walk_c walk(in, out);
    uint64_t pos = 0, movi_id_at = 0;
    // The RIFF AVI part, then OpenDML's AVIX parts, to the file's end.
    for (int part = 0; pos < size; ++part) {
        out.failed_at = pos;
        const uint8_t* h = size - pos >= 12 ? in.at(pos, 12) : nullptr;
        if (!h || load_be32(h) != fourcc("RIFF") || load_be32(h + 8) != fourcc(part ? "AVIX" : "AVI ")) return out;
        const uint64_t end = pos + 8 + load_le32(h + 4);
        if (end > size) return out;
        out.places.push_back(pos);
        bool has_movi = false;
        for (uint64_t at = pos + 12, next; at < end; at = next) {
            out.failed_at = at;
            const uint8_t* c = end - at >= 8 ? in.at(at, 8) : nullptr;
            if (!c || !is_printable(c)) return out;
            const uint32_t id = load_be32(c);
            const uint64_t length = load_le32(c + 4);
            if (length > end - at - 8) return out;
            next = at + 8 + length + (length & 1);
            out.places.push_back(at);
            uint32_t list = 0;
            if (id == fourcc("LIST") && (length < 4 || !in.be32(at + 8, list))) return out;
            if (list == fourcc("movi")) {
                if (!walk.movi(at + 12, at + 8 + length)) return out;
                has_movi = true;
                movi_id_at = at + 8;
            } else if (id == fourcc("idx1") && part == 0) {
                if (!walk.index(at + 8, at + 8 + length, movi_id_at)) return out;
            }
            if (next > end) next = end;
        }
        if (!has_movi) return out;
        pos = end + (end & 1 && end < size ? 1 : 0);
    }
    out.is_sound = pos == size;
    if (out.is_sound) out.failed_at = UINT64_MAX;
    return out;
}

}  // namespace ember::fs
