#include "iso_samples.h"

#include <algorithm>

#include "core/byte_order.h"

namespace ember::video {
namespace {

constexpr int max_tracks = 64;
constexpr int max_children = 4096;  // boxes in one container

struct box_t {
    uint32_t type = 0;
    uint64_t body = 0;  // where the box's contents start
    uint64_t end = 0;
};

// The child box at pos inside [pos, end); false when none fits there.
bool read_box(carve_input_c& in, uint64_t pos, uint64_t end, box_t& box) {
    const uint8_t* h = in.at(pos, 8);
    if (!h || end - pos < 8) return false;
    uint64_t size = load_be32(h);
    uint64_t header = 8;
    if (size == 1) {
        if (end - pos < 16 || !in.be64(pos + 8, size)) return false;
        header = 16;
    } else if (size == 0) {
        size = end - pos;
    }
    if (size < header || size > end - pos) return false;
    box = {load_be32(h + 4), pos + header, pos + size};
    return true;
}

// The first child of the given type inside [pos, end).
bool find_child(carve_input_c& in, uint64_t pos, uint64_t end, uint32_t type, box_t& found) {
    box_t box;
    for (int n = 0; n < max_children && read_box(in, pos, end, box); ++n) {
        if (box.type == type) {
            found = box;
            return true;
        }
        pos = box.end;
    }
    return false;
}

// One track's tables: full boxes whose entry counts stand after version and flags.
struct tables_t {
    box_t stsc, offsets, sizes;
    bool is_co64 = false, is_stz2 = false;
};

bool find_tables(carve_input_c& in, const box_t& trak, tables_t& t) {
    box_t mdia, minf, stbl;
    if (!find_child(in, trak.body, trak.end, fourcc("mdia"), mdia) ||
        !find_child(in, mdia.body, mdia.end, fourcc("minf"), minf) ||
        !find_child(in, minf.body, minf.end, fourcc("stbl"), stbl) ||
        !find_child(in, stbl.body, stbl.end, fourcc("stsc"), t.stsc))
        return false;
    if (!find_child(in, stbl.body, stbl.end, fourcc("stco"), t.offsets)) {
        if (!find_child(in, stbl.body, stbl.end, fourcc("co64"), t.offsets)) return false;
        t.is_co64 = true;
    }
    if (!find_child(in, stbl.body, stbl.end, fourcc("stsz"), t.sizes)) {
        if (!find_child(in, stbl.body, stbl.end, fourcc("stz2"), t.sizes)) return false;
        t.is_stz2 = true;
    }
    return true;
}

// Walks one track's chunks and samples; false when a table is damaged.
class track_walk_c {
public:
    track_walk_c(carve_input_c& in, const tables_t& t,
                 const std::vector<std::pair<uint64_t, uint64_t>>& media, iso_samples_t& out)
        : in_(in), t_(t), media_(media), out_(out) {}

    bool run() {
        uint32_t chunks, runs, count, constant = 0;
        if (t_.offsets.end - t_.offsets.body < 8 || t_.stsc.end - t_.stsc.body < 8 ||
            t_.sizes.end - t_.sizes.body < 12)
            return false;
        if (!in_.be32(t_.offsets.body + 4, chunks) || !in_.be32(t_.stsc.body + 4, runs)) return false;
        uint64_t entry_bytes = t_.is_co64 ? 8 : 4;
        if (chunks > (t_.offsets.end - t_.offsets.body - 8) / entry_bytes) return false;
        if (runs > (t_.stsc.end - t_.stsc.body - 8) / 12) return false;
        if (t_.is_stz2) {
            const uint8_t* z = in_.at(t_.sizes.body + 4, 8);
            if (!z) return false;
            field_bits_ = z[3];
            count = load_be32(z + 4);
            if (field_bits_ != 4 && field_bits_ != 8 && field_bits_ != 16) return false;
            if (count > (t_.sizes.end - t_.sizes.body - 12) * 8 / field_bits_) return false;
        } else {
            if (!in_.be32(t_.sizes.body + 4, constant) || !in_.be32(t_.sizes.body + 8, count)) return false;
            if (constant == 0 && count > (t_.sizes.end - t_.sizes.body - 12) / 4) return false;
        }
        constant_ = constant;
        count_ = count;
        uint64_t sample = 0;
        for (uint32_t r = 0; r < runs && sample < count_; ++r) {
            const uint8_t* e = in_.at(t_.stsc.body + 8 + 12 * uint64_t(r), 12);
            if (!e) return false;
            uint64_t first = load_be32(e), per_chunk = load_be32(e + 4);
            uint64_t last = chunks;  // one past this run's last chunk (1-based first chunks)
            uint32_t next_first;
            if (r + 1 < runs && in_.be32(t_.stsc.body + 8 + 12 * uint64_t(r + 1), next_first))
                last = std::min<uint64_t>(chunks, next_first - 1);
            if (first == 0 || first - 1 > last) return false;
            for (uint64_t c = first - 1; c < last && sample < count_; ++c)
                if (!chunk(c, per_chunk, sample)) return false;
        }
        return true;
    }

private:
    bool sample_size(uint64_t i, uint64_t& size) {
        if (constant_) {
            size = constant_;
            return true;
        }
        if (!t_.is_stz2) {
            uint32_t v;
            if (!in_.be32(t_.sizes.body + 12 + 4 * i, v)) return false;
            size = v;
            return true;
        }
        uint64_t bit = i * field_bits_;
        const uint8_t* p = in_.at(t_.sizes.body + 12 + bit / 8, field_bits_ == 16 ? 2 : 1);
        if (!p) return false;
        size = field_bits_ == 16 ? load_be16(p) : field_bits_ == 8 ? p[0] : (bit % 8 ? p[0] & 15 : p[0] >> 4);
        return true;
    }

    bool chunk(uint64_t c, uint64_t per_chunk, uint64_t& sample) {
        uint64_t offset;
        if (t_.is_co64) {
            if (!in_.be64(t_.offsets.body + 8 + 8 * c, offset)) return false;
        } else {
            uint32_t v;
            if (!in_.be32(t_.offsets.body + 8 + 4 * c, v)) return false;
            offset = v;
        }
        per_chunk = std::min(per_chunk, count_ - sample);
        const std::pair<uint64_t, uint64_t>* range = media_range(offset);
        uint64_t pos = offset;
        if (constant_) {
            // Fixed-size samples (sound) are many and tiny: the chunk is measured as one.
            if (range) in_.layout().add_embedded(offset);
            pos = offset + per_chunk * constant_;
        } else {
            for (uint64_t k = 0; k < per_chunk; ++k) {
                uint64_t size;
                if (!sample_size(sample + k, size)) return false;
                if (range) in_.layout().add_embedded(pos);
                pos += size;
            }
        }
        sample += per_chunk;
        if (range && per_chunk > 0) {
            out_.samples += per_chunk;
            out_.end = std::max(out_.end, std::min(pos, range->second));
        }
        return true;
    }

    // The media data box holding offset; the boxes lie in the order of the walk, one after
    // another, so a binary search finds it (a file may have a million of them).
    const std::pair<uint64_t, uint64_t>* media_range(uint64_t offset) const {
        auto after = std::upper_bound(media_.begin(), media_.end(), offset,
                                      [](uint64_t v, const auto& r) { return v < r.first; });
        if (after == media_.begin()) return nullptr;
        const auto& r = *(after - 1);
        return offset < r.second ? &r : nullptr;
    }

    carve_input_c& in_;
    const tables_t& t_;
    const std::vector<std::pair<uint64_t, uint64_t>>& media_;
    iso_samples_t& out_;
    uint64_t constant_ = 0, count_ = 0;
    unsigned field_bits_ = 0;
};

}  // namespace

iso_samples_t read_iso_samples(carve_input_c& in, uint64_t body, uint64_t end,
                               const std::vector<std::pair<uint64_t, uint64_t>>& media) {
    iso_samples_t out;
    box_t trak;
    uint64_t pos = body;
    for (int n = 0, tracks = 0; n < max_children && tracks < max_tracks && read_box(in, pos, end, trak); ++n) {
        pos = trak.end;
        if (trak.type != fourcc("trak")) continue;
        ++tracks;
        tables_t t;
        if (!find_tables(in, trak, t)) continue;
        iso_samples_t track;
        if (!track_walk_c(in, t, media, track).run()) return {};  // a damaged table: nothing is known
        out.samples += track.samples;
        out.end = std::max(out.end, track.end);
    }
    return out;
}

}  // namespace ember::video
