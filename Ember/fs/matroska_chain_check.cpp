// The structure walk of Matroska and WebM for a candidate chain (media_chain_check.h). Every
// element of the file is walked: the EBML header, the Segment's top-level elements, the children
// of each master element, which must fill their parent exactly, and each Cluster's blocks. A
// block names a track of the Tracks element and has no reserved flag set; an unlaced frame of an
// H.264 or HEVC track is its NAL units, each with its length prefix and a sound header, filling
// the frame exactly. Every element header the walk arrives at is a place (a stretch from the
// wrong clusters shifts every header after it); a master's children count as places only once
// they have filled it.
#include <algorithm>
#include <cstring>

#include "chain_check_support.h"
#include "core/carve_input.h"
#include "formats/video/ebml.h"
#include "media_chain_check.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

constexpr uint32_t ebml_id = 0x1A45DFA3, segment_id = 0x18538067, cluster_id = 0x1F43B675,
                   tracks_id = 0x1654AE6B, track_entry_id = 0xAE, track_number_id = 0xD7, codec_id_id = 0x86,
                   codec_private_id = 0x63A2, timecode_id = 0xE7, simple_block_id = 0xA3, block_group_id = 0xA0,
                   block_id = 0xA1;
constexpr uint64_t unknown_size = video::ebml_unknown_size;
constexpr uint64_t max_ebml_header = 4096;
constexpr uint64_t max_elements = uint64_t(1) << 23;  // over the whole file
constexpr int max_depth = 8;
constexpr size_t max_tracks = 64;
constexpr int max_nal_units = 64;  // walked in one frame
constexpr size_t max_codec_private = 4096;

using element_t = video::ebml_element_t;

// How a track's frames start.
struct track_t {
    uint64_t number = 0;
    unsigned nal_length = 0;  // bytes of a NAL unit's length prefix (H.264, HEVC); 0: not looked at
    bool is_hevc = false;
};

// The master elements outside Clusters whose children are walked in turn.
bool is_master(uint32_t id) {
    switch (id) {
    case 0x114D9B74: case 0x4DBB:                                   // SeekHead, Seek
    case 0x1549A966: case 0x7E5B: case 0x6924:                      // Info, SignatureSlot, ChapterTranslate
    case tracks_id: case track_entry_id: case 0xE0: case 0xE1:      // Tracks, TrackEntry, Video, Audio
    case 0xE2: case 0xE3: case 0xE4: case 0x55B0: case 0x55D0:      // TrackOperation, planes, colour
    case 0x7670: case 0x6D80: case 0x6240: case 0x5034: case 0x5035:  // projection, content encodings
    case 0x6624: case 0x7E5A: case 0x7E7B:                          // translate, signature elements
    case 0x1C53BB6B: case 0xBB: case 0xB7: case 0xDB:               // Cues, CuePoint, positions, reference
    case 0x1941A469: case 0x61A7:                                   // Attachments, AttachedFile
    case 0x1043A770: case 0x45B9: case 0xB6: case 0x8F: case 0x80:  // Chapters and their atoms
    case 0x6944: case 0x6911:                                       // chapter process
    case 0x1254C367: case 0x7373: case 0x63C0: case 0x67C8:         // Tags, Tag, Targets, SimpleTag
    case block_group_id: case 0x75A1: case 0xA6: case 0x8E: case 0xE8:  // block additions, slices
        return true;
    default:
        return false;
    }
}

class walk_c {
public:
    walk_c(carve_input_c& in, structure_walk_t& out) : in_(in), out_(out) {}

    // The element header at pos, which must fit before end; false when it is not one.
    bool read(uint64_t pos, uint64_t end, element_t& e) {
        if (pos >= end || ++elements_ > max_elements || !header(pos, end, e)) return false;
        return e.size == unknown_size || e.size <= end - pos - e.header;
    }

    // The element header at pos, read from the bytes before end, whatever its size.
    bool header(uint64_t pos, uint64_t end, element_t& e) {
        const size_t n = size_t(std::min<uint64_t>(12, end > pos ? end - pos : 0));
        const uint8_t* p = n >= 2 ? in_.at(pos, n) : nullptr;
        return p && video::parse_ebml_element(p, n, e);
    }

    // The children of a master element's body [pos, end) and theirs, filling it exactly; their
    // headers become places once they did, and so does the element's last byte, as the end its
    // children reach (the file's last cluster may hold no more than a value's last bytes).
    bool master(uint64_t pos, uint64_t end) {
        pending_.clear();
        if (!children(pos, end, 0)) return false;
        out_.places.insert(out_.places.end(), pending_.begin(), pending_.end());
        if (end > pos) out_.places.push_back(end - 1);
        return true;
    }

    // A Cluster's body [pos, end): its children, each block sound; end is the file's or the
    // Segment's for a Cluster of unknown size, which ends at the first top-level element.
    bool cluster(uint64_t& pos, uint64_t end, bool is_unknown) {
        bool has_timecode = false;
        while (pos < end) {
            element_t e;
            if (!read(pos, end, e)) return false;
            if (is_unknown && video::is_matroska_top_level(e.id)) {
                --elements_;
                return has_timecode;
            }
            if (!video::is_matroska_cluster_child(e.id) || e.size == unknown_size) return false;
            const uint64_t body = pos + e.header;
            if (e.id == timecode_id) {
                // The clusters' times run on: a cluster of another recording rarely fits.
                uint64_t t = 0;
                const uint8_t* v = e.size <= 8 ? in_.at(body, size_t(e.size)) : nullptr;
                if (!v && e.size) return false;
                for (uint64_t i = 0; i < e.size; ++i) t = t << 8 | v[i];
                if (has_time_ && t < time_) return false;
                time_ = t;
                has_time_ = has_timecode = true;
            }
            if (e.id == simple_block_id && !block(body, e.size, 0x70)) {
                pos = std::max(pos, broke_at_ == unknown_size ? pos : broke_at_);
                return false;
            }
            out_.places.push_back(pos);
            if (e.id == block_group_id && !master(body, body + e.size)) return false;
            pos = body + e.size;
        }
        return has_timecode;
    }

    bool has_tracks() const { return !tracks_.empty(); }

private:
    bool children(uint64_t pos, uint64_t end, int depth) {
        if (depth > max_depth) return false;
        while (pos < end) {
            element_t e;
            if (!read(pos, end, e) || e.size == unknown_size) return false;
            pending_.push_back(pos);
            const uint64_t body = pos + e.header;
            if (e.id == track_entry_id && !track(body, body + e.size)) return false;
            if (e.id == block_id && !block(body, e.size, 0xF0)) return false;
            if (is_master(e.id) && !children(body, body + e.size, depth + 1)) return false;
            pos = body + e.size;
        }
        return true;
    }

    // A TrackEntry's body: its number, and how its frames start.
    bool track(uint64_t pos, uint64_t end) {
        track_t t;
        char codec[24] = {};
        uint64_t private_at = 0, private_size = 0;
        while (pos < end) {
            element_t e;
            if (!read(pos, end, e) || e.size == unknown_size) return false;
            const uint64_t body = pos + e.header;
            if (e.id == track_number_id) {
                const uint8_t* v = e.size && e.size <= 8 ? in_.at(body, size_t(e.size)) : nullptr;
                if (!v) return false;
                for (uint64_t i = 0; i < e.size; ++i) t.number = t.number << 8 | v[i];
            } else if (e.id == codec_id_id && e.size < sizeof codec) {
                const uint8_t* v = in_.at(body, size_t(e.size));
                if (v) std::memcpy(codec, v, size_t(e.size));
            } else if (e.id == codec_private_id) {
                private_at = body;
                private_size = e.size;
            }
            pos = body + e.size;
        }
        if (t.number == 0 || tracks_.size() == max_tracks) return false;
        // The NAL length prefix size from the decoder configuration record.
        const uint8_t* cp = private_size <= max_codec_private ? in_.at(private_at, size_t(private_size)) : nullptr;
        if (std::strcmp(codec, "V_MPEG4/ISO/AVC") == 0 && cp && private_size >= 5 && cp[0] == 1) {
            t.nal_length = (cp[4] & 3) + 1u;
        } else if (std::strcmp(codec, "V_MPEGH/ISO/HEVC") == 0 && cp && private_size >= 23 && cp[0] == 1) {
            t.nal_length = (cp[21] & 3) + 1u;
            t.is_hevc = true;
        }
        if (t.nal_length == 3) t.nal_length = 0;  // not a valid prefix size: left unchecked
        tracks_.push_back(t);
        return true;
    }

    // A block's body of `size` bytes: its track number names a track, no flag of `reserved` is
    // set, and an unlaced frame of a NAL track is its units.
    bool block(uint64_t body, uint64_t size, uint8_t reserved) {
        const uint8_t* p = size >= 4 ? in_.at(body, size_t(std::min<uint64_t>(size, 12))) : nullptr;
        if (!p || !p[0]) return false;
        unsigned length = 1;
        while (!(p[0] & (0x80 >> (length - 1)))) ++length;
        if (length > 4 || length + 3 > size) return false;
        uint64_t number = p[0] & (0xFF >> length);
        for (unsigned i = 1; i < length; ++i) number = number << 8 | p[i];
        const uint8_t flags = p[length + 2];
        if (flags & reserved) return false;
        auto t = std::find_if(tracks_.begin(), tracks_.end(), [&](const track_t& k) { return k.number == number; });
        if (t == tracks_.end()) return false;
        if (!t->nal_length || (flags & 0x06)) return true;
        // The frame's NAL units, each after its length prefix, fill it exactly.
        uint64_t pos = body + length + 3;
        const uint64_t end = body + size;
        const unsigned n = t->nal_length;
        for (int units = 0; pos < end; ++units) {
            if (units == max_nal_units) return true;
            const uint8_t* u = end - pos >= n + 2 ? in_.at(pos, n + 2) : nullptr;
            if (!u) return false;
            uint64_t unit = 0;
            for (unsigned i = 0; i < n; ++i) unit = unit << 8 | u[i];
            if (unit < 2 || unit > end - pos - n || !is_nal_header(u + n, t->is_hevc)) {
                broke_at_ = pos;
                return false;
            }
            out_.places.push_back(pos);
            pos += n + unit;
        }
        return true;
    }

    static bool is_nal_header(const uint8_t* h, bool is_hevc) {
        if (h[0] & 0x80) return false;  // forbidden_zero_bit
        if (!is_hevc) return (h[0] & 31) >= 1 && (h[0] & 31) <= 23;
        const unsigned type = (h[0] >> 1) & 63, layer = ((h[0] & 1) << 5) | (h[1] >> 3);
        return type <= 40 && layer == 0 && (h[1] & 7) != 0;
    }

    carve_input_c& in_;
    structure_walk_t& out_;
    std::vector<track_t> tracks_;
    std::vector<uint64_t> pending_;
    uint64_t elements_ = 0;
    uint64_t broke_at_ = unknown_size;  // the NAL unit whose prefix or header a frame broke at
    uint64_t time_ = 0;
    bool has_time_ = false;
};

// Whether the n bytes at p, `left` bytes before the file's end, start a block, or a block group
// whose block comes first, of a track numbered 1 to 15 with no reserved flag set.
bool starts_block(const uint8_t* p, size_t n, uint64_t left) {
    carve_input_c in({p, n});
    structure_walk_t unused;
    walk_c walk(in, unused);
    element_t e;
    if (!walk.header(0, n, e) || e.size == unknown_size || e.size > left - e.header) return false;
    uint8_t reserved = 0x70;
    uint64_t at = e.header;
    if (e.id == block_group_id) {
        element_t b;
        if (!walk.header(at, n, b) || b.id != block_id || b.size == unknown_size || b.size > e.size) return false;
        at += b.header;
        reserved = 0xF0;
    } else if (e.id != simple_block_id) {
        return false;
    }
    return at + 4 <= n && p[at] > 0x80 && p[at] <= 0x8F && !(p[at + 3] & reserved);
}

}  // namespace

bool mkv_continues_at(byte_source_i& card, uint64_t at, uint64_t left) {
    uint8_t h[32];
    const size_t n = size_t(std::min<uint64_t>(left, sizeof h));
    if (n < 8 || card.read_at(at, h, n) != n) return false;
    carve_input_c in({h, n});
    structure_walk_t unused;
    walk_c walk(in, unused);
    element_t e;
    if (!walk.header(0, n, e)) return false;
    // A top-level element (Cluster, Cues, Tags, ...) by its 4-byte ID, its size fitting.
    if (e.header >= 5 && video::is_matroska_top_level(e.id))
        return e.size == unknown_size ? e.id == cluster_id : e.size <= left - e.header;
    if (starts_block(h, n, left)) return true;
    // A Cluster's timecode, with a block after it.
    if (e.id != timecode_id || e.size == 0 || e.size > 8 || e.header + e.size + 8 > n) return false;
    const uint64_t skip = e.header + e.size;
    return starts_block(h + skip, size_t(n - skip), left - skip);
}

structure_walk_t walk_matroska(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    walk_c walk(in, out);
    element_t e;
    if (!walk.read(0, size, e) || e.id != ebml_id || e.size > max_ebml_header) return stop_at(out, 0);
    if (!walk.master(e.header, e.header + e.size)) return stop_at(out, 0);
    out.places.push_back(0);
    uint64_t pos = e.header + e.size;
    element_t segment;
    if (!walk.read(pos, size, segment) || segment.id != segment_id) return stop_at(out, pos);
    out.places.push_back(pos);
    pos += segment.header;
    const uint64_t end = segment.size == unknown_size ? size : pos + segment.size;
    bool has_cluster = false;
    while (pos < end) {
        const uint64_t at = pos;
        if (!walk.read(pos, end, e) || !video::is_matroska_top_level(e.id)) return stop_at(out, at);
        const uint64_t body = pos + e.header;
        if (e.id == cluster_id) {
            if (!walk.has_tracks()) return stop_at(out, at);
            out.places.push_back(at);
            pos = body;
            if (!walk.cluster(pos, e.size == unknown_size ? end : body + e.size, e.size == unknown_size))
                return stop_at(out, pos);
            has_cluster = true;
            continue;
        }
        if (e.size == unknown_size) return stop_at(out, at);
        if (is_master(e.id) && !walk.master(body, body + e.size)) return stop_at(out, at);
        out.places.push_back(at);
        pos = body + e.size;
    }
    out.is_sound = has_cluster && pos == size;
    if (!out.is_sound) out.failed_at = std::min(pos, size);
    return out;
}

}  // namespace ember::fs
