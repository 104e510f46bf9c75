// The structure walk of TIFF for a candidate chain (media_chain_check.h): the IFD chain, every
// out-of-line value, strip and tile inside the file, which ends with the furthest of them. Each
// IFD is a place, and so is each strip or tile that starts as its coding must (a JPEG's SOI, an
// LZW stream's clear code, a Deflate stream's zlib header) and the JPEG tables' SOI and EOI. Uncompressed and PackBits strips can
// only be checked for lying inside the file.
#include <algorithm>
#include <vector>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "media_chain_check.h"

namespace ember::fs {
namespace {

constexpr int max_ifds = 256;
constexpr uint32_t max_entries = 4096;      // in one IFD
constexpr uint32_t max_parts = 1u << 20;    // strips or tiles of one IFD

uint32_t type_size(uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

class tiff_walk_c {
public:
    tiff_walk_c(carve_input_c& in, bool little, structure_walk_t& out) : in_(in), little_(little), out_(out) {}

    uint64_t furthest = 0;

    uint32_t u16(const uint8_t* p) const { return little_ ? load_le16(p) : load_be16(p); }
    uint32_t u32(const uint8_t* p) const { return little_ ? load_le32(p) : load_be32(p); }

    // One IFD at `at`; its next IFD's offset in *next. False (with the place) where it breaks.
    bool ifd(uint64_t at, uint32_t* next) {
        const uint64_t size = in_.size();
        const uint8_t* n = in_.at(at, 2);
        if (!n || (at & 1)) return fail(at);
        const uint32_t count = u16(n);
        const uint8_t* read = count && count <= max_entries ? in_.at(at + 2, 12u * count + 4) : nullptr;
        if (!read) return fail(at);
        // A copy: later reads move the input's window.
        const std::vector<uint8_t> copy(read, read + 12u * count + 4);
        const uint8_t* entries = copy.data();
        out_.places.push_back(at);
        furthest = std::max(furthest, at + 2 + 12u * count + 4);
        // Where the strips (or tiles) and their byte counts stand: (type, count, value field).
        const uint8_t* offsets = nullptr;
        const uint8_t* counts = nullptr;
        uint32_t compression = 1;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = entries + 12 * i;
            const uint32_t tag = u16(e), type = u16(e + 2), values = u32(e + 4);
            const uint64_t bytes = uint64_t(type_size(uint16_t(type))) * values;
            if (bytes > 4) {
                const uint64_t where = u32(e + 8);
                if (where > size || bytes > size - where) return fail(at);
                furthest = std::max(furthest, where + bytes);
            }
            if (tag == 259 && values == 1 && type == 3) compression = u16(e + 8);
            if (tag == 347 && type == 7 && values >= 4 && !jpeg_tables(u32(e + 8), values)) return fail(at);
            if (tag == 273 || tag == 324) offsets = e;
            if (tag == 279 || tag == 325) counts = e;
        }
        if ((offsets == nullptr) != (counts == nullptr)) return fail(at);
        if (offsets && !parts(offsets, counts, compression)) return false;
        *next = u32(entries + 12 * count);
        return true;
    }

private:
    bool fail(uint64_t at) {
        out_.failed_at = std::min(at, in_.size());
        return false;
    }

    // The JPEG tables a JPEG-compressed TIFF's strips share: an SOI, tables, an EOI.
    bool jpeg_tables(uint64_t at, uint64_t length) {
        const uint8_t* soi = in_.at(at, 2);
        if (!soi || soi[0] != 0xFF || soi[1] != 0xD8) return false;
        const uint8_t* eoi = in_.at(at + length - 2, 2);
        if (!eoi || eoi[0] != 0xFF || eoi[1] != 0xD9) return false;
        out_.places.push_back(at);
        out_.places.push_back(at + length - 2);
        return true;
    }

    // The i-th value of an entry of SHORT or LONG values.
    bool value(const uint8_t* e, uint32_t i, uint64_t& v) {
        const uint32_t type = u16(e + 2), count = u32(e + 4), size = type == 3 ? 2 : type == 4 ? 4 : 0;
        if (!size || i >= count) return false;
        const uint8_t* p = uint64_t(size) * count <= 4 ? e + 8 + size * i : in_.at(u32(e + 8) + uint64_t(size) * i, size);
        if (!p) return false;
        v = size == 2 ? u16(p) : u32(p);
        return true;
    }

    bool parts(const uint8_t* offsets, const uint8_t* counts, uint32_t compression) {
        const uint32_t n = u32(offsets + 4);
        if (n == 0 || n > max_parts || u32(counts + 4) != n) return fail(u32(offsets + 8));
        uint32_t exact = 0;
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t at = 0, length = 0;
            if (!value(offsets, i, at) || !value(counts, i, length)) return fail(u32(offsets + 8));
            if (at > in_.size() || length > in_.size() - at) return fail(std::min<uint64_t>(at, in_.size()));
            furthest = std::max(furthest, at + length);
            if (length < 2) continue;
            const uint8_t* s = in_.at(at, 2);
            if (!s) return fail(at);
            bool is_exact = false, holds = true;
            if (compression == 7) is_exact = holds = s[0] == 0xFF && s[1] == 0xD8;
            if (compression == 5) is_exact = holds = s[0] == 0x80 && !(s[1] & 0x80);  // the clear code, 256
            if (compression == 8 || compression == 32946)
                is_exact = holds = (s[0] & 0x0F) == 8 && (s[0] << 8 | s[1]) % 31 == 0;
            if (!holds) return fail(at);
            if (is_exact) out_.places.push_back(at);
            exact += is_exact;
        }
        // Offsets that each met their strip's start confirm the arrays that hold them (and the
        // byte counts beside them, read with them).
        if (exact == n)
            for (const uint8_t* e : {offsets, counts}) {
                const uint64_t bytes = uint64_t(u16(e + 2) == 3 ? 2 : 4) * n;
                if (bytes > 4) {
                    out_.places.push_back(u32(e + 8));
                    out_.places.push_back(u32(e + 8) + bytes - 1);
                }
            }
        return true;
    }

    carve_input_c& in_;
    bool little_;
    structure_walk_t& out_;
};

}  // namespace

structure_walk_t walk_tiff(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint8_t* h = in.at(0, 8);
    if (!h || !((h[0] == 'I' && h[1] == 'I' && h[2] == 42 && h[3] == 0) || (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 42)))
        return out;
    tiff_walk_c walk(in, h[0] == 'I', out);
    out.places.push_back(0);
    uint32_t next = walk.u32(h + 4);
    std::vector<uint32_t> seen;
    for (int n = 0; next; ++n) {
        if (n >= max_ifds || std::find(seen.begin(), seen.end(), next) != seen.end()) return stop_at(out, std::min<uint64_t>(next, in.size()));
        seen.push_back(next);
        if (!walk.ifd(next, &next)) return out;
    }
    // The file ends with the furthest byte its structure refers to (a pad byte may follow).
    out.is_sound = seen.size() && walk.furthest <= in.size() && walk.furthest + 1 >= in.size();
    return out;
}

}  // namespace ember::fs
