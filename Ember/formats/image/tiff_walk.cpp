#include "formats/image/tiff_walk.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/byte_order.h"
#include "formats/raw_samples.h"

namespace ember {
namespace {

// TIFF offsets are 32-bit, so no classic TIFF reaches past 4 GiB.
constexpr uint64_t max_tiff_size = uint64_t(1) << 32;
constexpr uint16_t max_entries = 1000;  // entries in one IFD; real ones have a few hundred at most
constexpr int max_ifds = 512;           // IFDs in one file, all kinds together
constexpr int max_depth = 6;            // IFD0 > SubIFD > EXIF > maker note > its sub-IFDs
constexpr uint32_t max_pieces = 1 << 20;  // strips or tiles in one image
constexpr uint32_t piece_window = 4096;   // offsets and byte counts read at a time (16 KiB of LONGs)
// IFD offsets that sent the walk far from the candidate's start, to bytes that held no IFD. A
// crafted or damaged header whose offsets point far away costs a fetch each; after this many,
// the walk follows no more offsets, so a run of such headers costs a few fetches a sector, not
// hundreds (and the carve window's jump cache shares those among the headers of a run).
constexpr int max_far_misses = 2;

constexpr uint16_t tag_width = 256, tag_length = 257, tag_bits = 258, tag_samples = 277;
constexpr uint16_t tag_rows_per_strip = 278, tag_tile_width = 322, tag_tile_length = 323;
constexpr uint16_t tag_compression = 259, tag_photometric = 262;
constexpr uint16_t tag_make = 271, tag_model = 272;
constexpr uint16_t tag_strip_offsets = 273, tag_strip_counts = 279;
constexpr uint16_t tag_tile_offsets = 324, tag_tile_counts = 325;
constexpr uint16_t tag_sub_ifds = 330;
constexpr uint16_t tag_jpeg_offset = 513, tag_jpeg_length = 514;
constexpr uint16_t tag_sr2_private = 0x7200, tag_sr2_private_length = 0x7201;
constexpr uint16_t tag_exif_ifd = 34665, tag_gps_ifd = 34853, tag_interop_ifd = 40965;
constexpr uint16_t tag_maker_note = 37500;
constexpr uint16_t tag_dng_version = 50706;
constexpr uint16_t photometric_cfa = 32803, photometric_linear_raw = 34892;
// Maker raw compressions: Nikon NEF, Sony ARW, Pentax, Kodak DCR and Panasonic RW2.
constexpr uint16_t raw_compressions[] = {34713, 32767, 32769, 32770, 65535, 65000, 34316};
constexpr uint16_t type_ifd = 13;

enum class ifd_kind { chain, sub, maker };

uint32_t type_size(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;
        case 3: case 8: return 2;
        case 4: case 9: case 11: case 13: return 4;
        case 5: case 10: case 12: return 8;
        default: return 0;
    }
}

constexpr uint64_t max_dimension = 1 << 20;  // pixels across or down; more is not a picture

// The image geometry of one IFD, which bounds what one strip or tile can hold; 0 when unknown.
struct geometry_t {
    uint32_t width = 0, length = 0, bits = 0, samples = 1, rows_per_strip = 0;
    uint32_t tile_width = 0, tile_length = 0;

    // The bytes of one strip or tile without compression, 0 when the IFD does not say.
    uint64_t piece_bytes(bool is_tile, uint32_t bits_each) const {
        uint64_t w = is_tile ? tile_width : width;
        uint64_t rows = is_tile ? tile_length : std::min(rows_per_strip ? rows_per_strip : length, length);
        if (w == 0 || rows == 0 || bits_each == 0 || samples == 0) return 0;
        if (w > max_dimension || rows > max_dimension || samples > 64 || bits_each > 64) return 0;
        return (w * samples * bits_each + 7) / 8 * rows;
    }
};

// A strip or tile that claims more than twice what it holds uncompressed at 16 bits a sample,
// and some, has a damaged byte count: it is taken at its uncompressed size.
constexpr uint64_t piece_slack = 64 * 1024;

struct entry_t {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    uint64_t values = 0;  // where the values are, relative to the input
};

class tiff_walker_c {
public:
    tiff_walker_c(carve_input_c& in, tiff_facts_t& facts) : in_(in), facts_(facts) {
        limit_ = std::min(in.size(), max_tiff_size);
    }

    // Walks the IFD at base + offset, and the IFDs after it for chain and sub kinds; false when
    // the first one is not a sound IFD.
    bool walk(uint64_t base, bool little, uint32_t offset, int depth, ifd_kind kind);

private:
    uint16_t u16(const uint8_t* p) const { return little_ ? load_le16(p) : load_be16(p); }
    uint32_t u32(const uint8_t* p) const { return little_ ? load_le32(p) : load_be32(p); }
    bool value(const entry_t& e, uint32_t i, uint32_t& v);
    bool values(const entry_t& e, uint32_t first, uint32_t n, std::vector<uint32_t>& out);
    void piece(uint64_t base, uint32_t offset, uint32_t count, uint64_t expected, uint64_t most);
    void reach(uint64_t offset, uint64_t length);
    void pieces(uint64_t base, const entry_t* offsets, const entry_t* counts, const geometry_t* geometry,
                bool is_tile);
    bool walk_one(uint64_t base, uint32_t offset, int depth, ifd_kind kind, uint32_t& next);
    void walk_children(uint64_t base, const entry_t& e, int depth, ifd_kind kind);
    void walk_maker_note(uint64_t base, const entry_t& e, int depth);
    void copy_text(const entry_t& e, char* out, size_t size);

    carve_input_c& in_;
    tiff_facts_t& facts_;
    uint64_t limit_;
    bool little_ = true;
    int far_misses_ = 0;
};

void tiff_walker_c::reach(uint64_t offset, uint64_t length) {
    if (offset > limit_ || length > limit_ - offset) {
        ++facts_.dropped;
        return;
    }
    facts_.end = std::max(facts_.end, offset + length);
}

bool tiff_walker_c::values(const entry_t& e, uint32_t first, uint32_t n, std::vector<uint32_t>& out) {
    uint32_t size = type_size(e.type);
    if (first > e.count || n > e.count - first || (size != 2 && size != 4)) return false;
    const uint8_t* p = in_.at(e.values + uint64_t(first) * size, size_t(n) * size);
    if (!p) return false;
    out.resize(n);
    for (uint32_t k = 0; k < n; ++k) out[k] = size == 2 ? u16(p + 2 * k) : u32(p + 4 * k);
    return true;
}

bool tiff_walker_c::value(const entry_t& e, uint32_t i, uint32_t& v) {
    uint32_t size = type_size(e.type);
    if (i >= e.count || (size != 2 && size != 4)) return false;
    const uint8_t* p = in_.at(e.values + uint64_t(i) * size, size);
    if (!p) return false;
    v = size == 2 ? u16(p) : u32(p);
    return true;
}

void tiff_walker_c::copy_text(const entry_t& e, char* out, size_t size) {
    size_t n = std::min<size_t>(e.count, size - 1);
    const uint8_t* p = in_.at(e.values, n);
    if (!p) return;
    std::memcpy(out, p, n);
    out[n] = 0;
}

// Strips or tiles (or an embedded JPEG, without geometry): each offset with its byte count.
// They are the file's payload, and each starts a piece of its own (a JPEG, a RAW strip).
void tiff_walker_c::pieces(uint64_t base, const entry_t* offsets, const entry_t* counts,
                           const geometry_t* geometry, bool is_tile) {
    if (!offsets || !counts || offsets->count != counts->count || offsets->count > max_pieces) return;
    uint64_t expected = geometry ? geometry->piece_bytes(is_tile, geometry->bits) : 0;
    uint64_t most = geometry ? 2 * geometry->piece_bytes(is_tile, std::max<uint32_t>(geometry->bits, 16)) : 0;
    // The two arrays may lie far apart: each is read a window at a time, not a value from one
    // and then one from the other (a fetch each whenever the carve window cannot hold both).
    std::vector<uint32_t> offset_window, count_window;
    for (uint32_t first = 0; first < offsets->count; first += piece_window) {
        uint32_t n = std::min(piece_window, offsets->count - first);
        if (!values(*offsets, first, n, offset_window) || !values(*counts, first, n, count_window)) return;
        for (uint32_t k = 0; k < n; ++k) piece(base, offset_window[k], count_window[k], expected, most);
    }
}

// One strip or tile of `count` bytes at base + offset.
void tiff_walker_c::piece(uint64_t base, uint32_t offset, uint32_t count, uint64_t expected, uint64_t most) {
    if (count == 0) return;
    uint64_t length = count;
    if (expected && length > most + piece_slack) {
        // A damaged count: the piece ends where its data plausibly does.
        length = expected;
        if (base + offset < in_.size())
            length = raw_sample_end(in_, base + offset, base + offset + expected, picture_zero_run) - (base + offset);
    }
    reach(base + offset, length);
    in_.layout().add_payload(base + offset, length);
    in_.layout().add_embedded(base + offset);
    facts_.has_image_data = true;
}

void tiff_walker_c::walk_children(uint64_t base, const entry_t& e, int depth, ifd_kind kind) {
    uint32_t n = std::min<uint32_t>(e.count, 64);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t offset;
        if (!value(e, i, offset)) return;
        walk(base, little_, offset, depth + 1, kind);
    }
}

// Maker notes are IFDs in the maker's own framing; the ones below are recognised by their
// leading bytes, anything else is tried as a plain IFD and otherwise kept as an opaque value.
void tiff_walker_c::walk_maker_note(uint64_t base, const entry_t& e, int depth) {
    const uint8_t* p = in_.at(e.values, std::min<uint32_t>(e.count, 16));
    if (!p || e.count < 16) return;
    uint64_t note = e.values;
    bool saved = little_;
    if (std::memcmp(p, "Nikon\0\2", 7) == 0) {
        // Its own TIFF header 10 bytes in; offsets count from that header.
        uint64_t header = note + 10;
        if (p[10] == 'I' && p[11] == 'I') little_ = true;
        else if (p[10] == 'M' && p[11] == 'M') little_ = false;
        else return;
        walk(header, little_, u32(p + 14), depth + 1, ifd_kind::maker);
    } else if (std::memcmp(p, "OLYMPUS\0", 8) == 0 || std::memcmp(p, "OM SYSTEM", 9) == 0) {
        // Byte order at 8, IFD at 12 (16 for OM System), offsets from the note's start.
        uint32_t at = p[0] == 'O' && p[1] == 'M' ? 16 : 12;
        uint32_t order = at == 16 ? 12 : 8;
        if (p[order] == 'I' && p[order + 1] == 'I') little_ = true;
        else if (p[order] == 'M' && p[order + 1] == 'M') little_ = false;
        else return;
        walk(note, little_, at, depth + 1, ifd_kind::maker);
    } else if (std::memcmp(p, "OLYMP\0", 6) == 0 || std::memcmp(p, "EPSON\0", 6) == 0 ||
               (std::memcmp(p, "AOC\0", 4) == 0 && p[4] != 'I' && p[4] != 'M')) {
        walk(base, little_, uint32_t(note - base + (p[0] == 'A' ? 6 : 8)), depth + 1, ifd_kind::maker);
    } else if (std::memcmp(p, "AOC\0", 4) == 0 || std::memcmp(p, "PENTAX \0", 8) == 0) {
        // Pentax: its own byte order mark; offsets from the TIFF header (AOC) or the note (PENTAX).
        uint32_t mark = p[0] == 'A' ? 4 : 8;
        little_ = p[mark] == 'I';
        walk(p[0] == 'A' ? base : note, little_, uint32_t(p[0] == 'A' ? note - base + 6 : 10), depth + 1,
             ifd_kind::maker);
    } else if (std::memcmp(p, "Panasonic\0\0\0", 12) == 0) {
        walk(base, little_, uint32_t(note - base + 12), depth + 1, ifd_kind::maker);
    } else if (std::memcmp(p, "SONY DSC \0\0\0", 12) == 0 || std::memcmp(p, "SONY CAM \0\0\0", 12) == 0) {
        walk(base, little_, uint32_t(note - base + 12), depth + 1, ifd_kind::maker);
    } else if (std::memcmp(p, "FUJIFILM", 8) == 0) {
        little_ = true;
        walk(note, true, load_le32(p + 8), depth + 1, ifd_kind::maker);
    } else {
        // Canon and others: a plain IFD at the note's start, offsets from the TIFF header.
        walk(base, little_, uint32_t(note - base), depth + 1, ifd_kind::maker);
    }
    little_ = saved;
}

bool tiff_walker_c::walk_one(uint64_t base, uint32_t offset, int depth, ifd_kind kind, uint32_t& next) {
    next = 0;
    if (depth > max_depth || facts_.ifds >= max_ifds || far_misses_ >= max_far_misses) return false;
    uint64_t ifd = base + offset;
    if (ifd >= limit_) return false;
    auto miss = [&]() {
        if (!in_.is_near(ifd)) ++far_misses_;
        return false;
    };
    uint16_t count;
    const uint8_t* c = in_.at(ifd, 2);
    if (!c) return miss();
    count = u16(c);
    if (count == 0 || count > max_entries) return miss();
    uint64_t table_size = 2 + 12 * uint64_t(count) + 4;
    if (ifd + table_size > limit_ || !in_.at(ifd, size_t(table_size))) return miss();
    // A sound IFD has known field types in almost every entry.
    int unknown = 0;
    for (uint16_t i = 0; i < count; ++i)
        if (type_size(u16(in_.at(ifd + 2 + 12 * uint64_t(i) + 2, 2))) == 0) ++unknown;
    if (unknown * 8 > count) return miss();
    ++facts_.ifds;
    reach(ifd, table_size);
    in_.layout().add_payload(ifd, table_size);
    const uint8_t* n = in_.at(ifd + 2 + 12 * uint64_t(count), 4);
    next = n ? u32(n) : 0;

    geometry_t geometry;
    entry_t pair_entries[8];  // strip, tile, jpeg and SR2 offsets and lengths
    bool have[8] = {};
    auto slot = [](uint16_t tag) {
        switch (tag) {
            case tag_strip_offsets: return 0; case tag_strip_counts: return 1;
            case tag_tile_offsets: return 2; case tag_tile_counts: return 3;
            case tag_jpeg_offset: return 4; case tag_jpeg_length: return 5;
            case tag_sr2_private: return 6; case tag_sr2_private_length: return 7;
            default: return -1;
        }
    };
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* p = in_.at(ifd + 2 + 12 * uint64_t(i), 12);
        if (!p) return false;
        entry_t e;
        e.tag = u16(p);
        e.type = u16(p + 2);
        e.count = u32(p + 4);
        uint32_t size = type_size(e.type);
        if (size == 0) continue;
        uint64_t bytes = uint64_t(e.count) * size;
        if (bytes <= 4) {
            e.values = ifd + 2 + 12 * uint64_t(i) + 8;
        } else {
            e.values = base + u32(p + 8);
            if (e.values > limit_ || bytes > limit_ - e.values) {
                ++facts_.dropped;
                continue;
            }
            reach(e.values, bytes);
            // Values are the file's bytes; one may be a whole picture (a JpgFromRaw blob). Maker
            // notes hold their values inside their own block, which is payload as a whole.
            if (kind != ifd_kind::maker) in_.layout().add_payload(e.values, bytes);
            in_.layout().add_embedded(e.values);
        }
        uint32_t v = 0;
        int s = slot(e.tag);
        if (s >= 0 && (kind != ifd_kind::maker || s == 4)) {
            pair_entries[s] = e;
            have[s] = true;
        }
        if (kind != ifd_kind::maker && value(e, 0, v)) {
            switch (e.tag) {
                case tag_width: geometry.width = v; break;
                case tag_length: geometry.length = v; break;
                case tag_bits: geometry.bits = v; break;
                case tag_samples: geometry.samples = v; break;
                case tag_rows_per_strip: geometry.rows_per_strip = v; break;
                case tag_tile_width: geometry.tile_width = v; break;
                case tag_tile_length: geometry.tile_length = v; break;
                default: break;
            }
        }
        switch (e.tag) {
            case tag_make:
                if (depth == 0 && e.type == 2) copy_text(e, facts_.make, sizeof facts_.make);
                break;
            case tag_model:
                if (depth == 0 && e.type == 2) copy_text(e, facts_.model, sizeof facts_.model);
                break;
            case tag_photometric:
                if (kind != ifd_kind::maker && value(e, 0, v) &&
                    (v == photometric_cfa || v == photometric_linear_raw))
                    facts_.is_raw = true;
                break;
            case tag_compression:
                if (kind != ifd_kind::maker && value(e, 0, v))
                    for (uint16_t raw : raw_compressions)
                        if (v == raw) facts_.is_raw = true;
                break;
            case tag_dng_version:
                if (kind != ifd_kind::maker) facts_.is_dng = true;
                break;
            case tag_sub_ifds:
                if (kind != ifd_kind::maker) walk_children(base, e, depth, ifd_kind::sub);
                break;
            case tag_exif_ifd: case tag_gps_ifd: case tag_interop_ifd:
                if (kind != ifd_kind::maker && value(e, 0, v)) walk(base, little_, v, depth + 1, ifd_kind::sub);
                break;
            case tag_maker_note:
                if (kind != ifd_kind::maker && e.type == 7) walk_maker_note(base, e, depth);
                break;
            default:
                if (kind != ifd_kind::maker || e.count != 1 || !value(e, 0, v)) break;
                // IFD-typed entries in maker notes are sub-directories (Olympus camera settings),
                // and so are Nikon's preview IFD and Olympus's settings stored as offsets.
                if (e.type == type_ifd || (e.type == 4 && (e.tag == 0x0011 || (e.tag >= 0x2010 && e.tag <= 0x2050))))
                    walk(base, little_, v, depth + 1, ifd_kind::maker);
                // An offset that points at a JPEG start is a preview (Olympus, Pentax).
                else if (e.type == 4 && base + v < limit_)
                    if (const uint8_t* j = in_.at(base + v, 3); j && j[0] == 0xFF && j[1] == 0xD8 && j[2] == 0xFF)
                        in_.layout().add_embedded(base + v);
                break;
        }
    }
    if (have[0] && have[1]) pieces(base, &pair_entries[0], &pair_entries[1], &geometry, false);
    if (have[2] && have[3]) pieces(base, &pair_entries[2], &pair_entries[3], &geometry, true);
    if (have[4] && have[5]) pieces(base, &pair_entries[4], &pair_entries[5], nullptr, false);
    // Previews that maker notes point to lie inside their block: only their starts are noted.
    if (kind == ifd_kind::maker && have[4]) {
        uint32_t offset;
        if (value(pair_entries[4], 0, offset)) in_.layout().add_embedded(base + offset);
    }
    if (have[6] && have[7]) {
        uint32_t offset, length;
        if (value(pair_entries[6], 0, offset) && value(pair_entries[7], 0, length)) reach(base + offset, length);
    }
    return true;
}

bool tiff_walker_c::walk(uint64_t base, bool little, uint32_t offset, int depth, ifd_kind kind) {
    bool saved = little_;
    little_ = little;
    uint32_t next;
    bool ok = walk_one(base, offset, depth, kind, next);
    // Chains: IFD0 > IFD1 > ...; SubIFDs may chain too. Maker-note IFDs' next fields are often junk.
    for (int hops = 0; ok && kind != ifd_kind::maker && next != 0 && hops < max_ifds; ++hops) {
        uint32_t after;
        if (!walk_one(base, next, depth, kind, after)) break;
        next = after;
    }
    little_ = saved;
    return ok;
}

}  // namespace

bool walk_tiff_at(carve_input_c& in, uint64_t base, bool little, uint32_t first_ifd, tiff_facts_t& facts) {
    tiff_walker_c walker(in, facts);
    return walker.walk(base, little, first_ifd, 0, ifd_kind::chain);
}

bool walk_tiff(carve_input_c& in, uint64_t base, tiff_facts_t& facts) {
    const uint8_t* h = in.at(base, 8);
    if (!h) return false;
    bool little;
    if (h[0] == 'I' && h[1] == 'I') little = true;
    else if (h[0] == 'M' && h[1] == 'M') little = false;
    else return false;
    uint32_t first = little ? load_le32(h + 4) : load_be32(h + 4);
    if (first < 8) return false;
    return walk_tiff_at(in, base, little, first, facts);
}

}  // namespace ember
