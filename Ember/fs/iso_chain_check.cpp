// The structure walk of ISO base media (MP4, MOV, 3GP) for a candidate chain (media_chain_check.h).
#include <algorithm>

#include "core/byte_order.h"
#include "core/carve_input.h"
#include "iso_chain_resume.h"
#include "media_chain_check.h"

namespace ember::fs {
namespace {

constexpr int max_boxes = 4096;               // in one container, and at the top
constexpr int max_tracks = 64;
constexpr uint64_t max_samples = 1u << 22;    // over all tracks
constexpr uint64_t max_chunks = 1u << 22;
constexpr int max_nal_units = 64;             // walked in one sample
constexpr uint64_t max_moov_places = 1u << 17;
constexpr uint64_t max_nal_walked = 1u << 21;  // NAL units walked over all samples

struct box_t {
    uint32_t type = 0;
    uint64_t at = 0;
    uint64_t body = 0;
    uint64_t end = 0;
};

bool read_box(carve_input_c& in, uint64_t pos, uint64_t end, box_t& box) {
    const uint8_t* h = end - pos >= 8 ? in.at(pos, 8) : nullptr;
    if (!h) return false;
    uint64_t size = load_be32(h), header = 8;
    if (size == 1) {
        if (end - pos < 16 || !in.be64(pos + 8, size)) return false;
        header = 16;
    } else if (size == 0) {
        size = end - pos;
    }
    if (size < header || size > end - pos) return false;
    box = {load_be32(h + 4), pos, pos + header, pos + size};
    return true;
}

bool find_child(carve_input_c& in, uint64_t pos, uint64_t end, uint32_t type, box_t& found) {
    box_t box;
    for (int n = 0; n < max_boxes && pos < end && read_box(in, pos, end, box); ++n, pos = box.end)
        if (box.type == type) {
            found = box;
            return true;
        }
    return false;
}

bool is_top_level(uint32_t type) {
    static const uint32_t types[] = {fourcc("ftyp"), fourcc("moov"), fourcc("mdat"), fourcc("free"),
                                     fourcc("skip"), fourcc("wide"), fourcc("pnot"), fourcc("uuid"),
                                     fourcc("meta"), fourcc("pdin"), fourcc("junk")};
    for (uint32_t t : types)
        if (type == t) return true;
    return false;
}

// How each sample of a track starts.
enum class codec_t : uint8_t { unchecked = 0, nal_h264 = 1, nal_hevc = 2, jpeg = 3, mpeg_video = 4, h263 = 5 };

struct track_t {
    codec_t codec = codec_t::unchecked;
    unsigned length_size = 4;  // bytes of a NAL unit's length prefix
    box_t stsc, offsets, sizes;
    bool is_co64 = false;
};

// The codec of the first sample entry, and a NAL codec's length prefix size from its
// configuration record.
void read_codec(carve_input_c& in, const box_t& stsd, track_t& t) {
    box_t entry;
    if (stsd.end - stsd.body < 8 || !read_box(in, stsd.body + 8, stsd.end, entry)) return;
    const uint32_t f = entry.type;
    const bool is_h264 = f == fourcc("avc1") || f == fourcc("avc3");
    const bool is_hevc = f == fourcc("hvc1") || f == fourcc("hev1");
    if (f == fourcc("jpeg") || f == fourcc("mjpa") || f == fourcc("mjpb")) t.codec = codec_t::jpeg;
    if (f == fourcc("mp4v")) t.codec = codec_t::mpeg_video;
    if (f == fourcc("s263") || f == fourcc("h263")) t.codec = codec_t::h263;
    if (!is_h264 && !is_hevc) return;
    // A visual sample entry's fields take 78 bytes before its child boxes.
    box_t config;
    if (entry.end - entry.body < 78 ||
        !find_child(in, entry.body + 78, entry.end, fourcc(is_h264 ? "avcC" : "hvcC"), config))
        return;
    const uint64_t at = config.body + (is_h264 ? 4 : 21);
    const uint8_t* p = at < config.end ? in.at(at, 1) : nullptr;
    if (!p || (*p & 3) == 2) return;  // a 3-byte prefix is not allowed
    t.length_size = (*p & 3) + 1;
    t.codec = is_h264 ? codec_t::nal_h264 : codec_t::nal_hevc;
}

bool read_track(carve_input_c& in, const box_t& trak, track_t& t) {
    box_t mdia, minf, stbl, stsd;
    if (!find_child(in, trak.body, trak.end, fourcc("mdia"), mdia) ||
        !find_child(in, mdia.body, mdia.end, fourcc("minf"), minf) ||
        !find_child(in, minf.body, minf.end, fourcc("stbl"), stbl) ||
        !find_child(in, stbl.body, stbl.end, fourcc("stsc"), t.stsc) ||
        !find_child(in, stbl.body, stbl.end, fourcc("stsz"), t.sizes))
        return false;
    if (!find_child(in, stbl.body, stbl.end, fourcc("stco"), t.offsets)) {
        if (!find_child(in, stbl.body, stbl.end, fourcc("co64"), t.offsets)) return false;
        t.is_co64 = true;
    }
    if (find_child(in, stbl.body, stbl.end, fourcc("stsd"), stsd)) read_codec(in, stsd, t);
    return true;
}

bool is_nal_header(codec_t codec, const uint8_t* h) {
    if (h[0] & 0x80) return false;  // forbidden_zero_bit
    if (codec == codec_t::nal_h264) {
        unsigned type = h[0] & 31;
        return type >= 1 && type <= 23;
    }
    unsigned type = (h[0] >> 1) & 63, layer = ((h[0] & 1) << 5) | (h[1] >> 3);
    return type <= 40 && layer == 0 && (h[1] & 7) != 0;
}

// Whether the 4 bytes at p start a sample of a picture codec: SOI; an MPEG video start code
// (an 'mp4v' track holds MPEG-4, MPEG-2 or MPEG-1 video, whose samples start with a visual
// object sequence, object layer, group or picture header, or JPEG pictures); an H.263 picture
// start code (22 bits: 16 zeros, then 1 00000).
bool starts_picture(codec_t codec, const uint8_t* p) {
    const bool is_soi = p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
    if (codec == codec_t::jpeg) return is_soi;
    if (codec == codec_t::h263) return p[0] == 0 && p[1] == 0 && (p[2] & 0xFC) == 0x80;
    const bool is_start_code = p[0] == 0 && p[1] == 0 && p[2] == 1 &&
                               (p[3] <= 0x2F || p[3] == 0xB0 || p[3] == 0xB2 || p[3] == 0xB3 || p[3] == 0xB5 ||
                                p[3] == 0xB6 || p[3] == 0xB8);
    return is_start_code || is_soi;
}

// Whether the sample of `size` bytes at pos starts as its codec's units do: SOI, or NAL length
// prefixes with sound headers that fill it exactly. NAL units whose prefix and header do not lie
// within `limit` bytes of pos are not looked at (what was walked holds). The places met go to
// `places`.
bool sample_holds(carve_input_c& in, codec_t codec, unsigned length_size, uint64_t pos, uint64_t size,
                  uint64_t limit, std::vector<uint64_t>* places, uint64_t& nal_walked) {
    if (codec == codec_t::unchecked || size == 0) return true;
    if (codec == codec_t::jpeg || codec == codec_t::mpeg_video || codec == codec_t::h263) {
        const uint8_t* p = size >= 4 ? in.at(pos, 4) : nullptr;
        if (!p || !starts_picture(codec, p)) return false;
        if (places) places->push_back(pos);
        return true;
    }
    const uint64_t start = pos, end = pos + size;
    for (int n = 0; pos < end; ++n) {
        if (n == max_nal_units || nal_walked == max_nal_walked || pos - start + length_size + 2 > limit) return true;
        ++nal_walked;
        const uint8_t* p = end - pos >= length_size + 2 ? in.at(pos, length_size + 2) : nullptr;
        if (!p) return false;
        uint64_t length = 0;
        for (unsigned i = 0; i < length_size; ++i) length = length << 8 | p[i];
        if (length < 2 || length > end - pos - length_size || !is_nal_header(codec, p + length_size)) return false;
        if (places) places->push_back(pos);
        pos += length_size + length;
    }
    return true;
}

class walk_c {
public:
    explicit walk_c(carve_input_c& in, structure_walk_t& out, iso_break_t* broke)
        : in_(in), out_(out), broke_(broke) {}

    std::vector<std::pair<uint64_t, uint64_t>> media;  // mdat bodies, in file order
    std::vector<std::pair<uint64_t, uint64_t>> extents;  // every chunk's bytes
    uint64_t broke_at = UINT64_MAX;  // the first sample, in file order, that did not start as its codec's

    bool track(const track_t& t) {
        uint32_t chunks, runs, constant, count;
        if (t.offsets.end - t.offsets.body < 8 || t.stsc.end - t.stsc.body < 8 || t.sizes.end - t.sizes.body < 12 ||
            !in_.be32(t.offsets.body + 4, chunks) || !in_.be32(t.stsc.body + 4, runs) ||
            !in_.be32(t.sizes.body + 4, constant) || !in_.be32(t.sizes.body + 8, count))
            return false;
        const uint64_t entry_bytes = t.is_co64 ? 8 : 4;
        if (chunks > (t.offsets.end - t.offsets.body - 8) / entry_bytes || runs > (t.stsc.end - t.stsc.body - 8) / 12 ||
            (constant == 0 && count > (t.sizes.end - t.sizes.body - 12) / 4))
            return false;
        if ((samples_ += count) > max_samples || extents.size() + chunks > max_chunks) return false;
        uint64_t sample = 0;
        for (uint32_t r = 0; r < runs && sample < count; ++r) {
            const uint8_t* e = in_.at(t.stsc.body + 8 + 12 * uint64_t(r), 12);
            if (!e) return false;
            uint64_t first = load_be32(e), per_chunk = load_be32(e + 4), last = chunks;
            uint32_t next_first;
            if (r + 1 < runs && in_.be32(t.stsc.body + 8 + 12 * uint64_t(r + 1), next_first))
                last = std::min<uint64_t>(chunks, next_first - 1);
            if (first == 0 || first - 1 > last) return false;
            for (uint64_t c = first - 1; c < last && sample < count; ++c) {
                uint64_t offset;
                if (t.is_co64 ? !in_.be64(t.offsets.body + 8 + 8 * c, offset)
                              : !load_offset32(t.offsets.body + 8 + 4 * c, offset))
                    return false;
                uint64_t n = std::min<uint64_t>(per_chunk, count - sample), pos = offset;
                const auto* range = media_range(offset);
                if (!range) return false;
                for (uint64_t k = 0; k < n; ++k) {
                    uint64_t size = constant;
                    if (!constant && !load_offset32(t.sizes.body + 12 + 4 * (sample + k), size)) return false;
                    if (size > range->second - pos) return false;
                    if (!check_sample(t, pos, size)) {
                        // The bytes, not the tables, broke: nothing of this track after it is
                        // trusted, and the break lies before this sample.
                        broke_at = std::min(broke_at, pos);
                        return true;
                    }
                    pos += size;
                }
                if (n) extents.push_back({offset, pos});
                sample += n;
            }
        }
        return sample == count;
    }

private:
    bool load_offset32(uint64_t at, uint64_t& v) {
        uint32_t x;
        if (!in_.be32(at, x)) return false;
        v = x;
        return true;
    }

    const std::pair<uint64_t, uint64_t>* media_range(uint64_t offset) const {
        auto after = std::upper_bound(media.begin(), media.end(), offset,
                                      [](uint64_t v, const auto& r) { return v < r.first; });
        if (after == media.begin()) return nullptr;
        const auto& r = *(after - 1);
        return offset < r.second ? &r : nullptr;
    }

    bool check_sample(const track_t& t, uint64_t pos, uint64_t size) {
        if (!sample_holds(in_, t.codec, t.length_size, pos, size, UINT64_MAX, &out_.places, nal_walked_)) {
            if (broke_ && pos < broke_->at) *broke_ = {pos, size, uint8_t(t.codec), uint8_t(t.length_size)};
            return false;
        }
        return true;
    }

    carve_input_c& in_;
    structure_walk_t& out_;
    iso_break_t* broke_;
    uint64_t samples_ = 0;
    uint64_t nal_walked_ = 0;
};

}  // namespace

structure_walk_t walk_iso_media(byte_source_i& file) { return walk_iso_media_broken(file, nullptr); }

bool iso_sample_holds(byte_source_i& bytes, uint64_t at, uint64_t limit, const iso_break_t& sample) {
    if (sample.codec > uint8_t(codec_t::h263) || sample.length_size < 1 || sample.length_size > 4) return false;
    if (at >= bytes.size()) return false;
    // The bytes the units that start within the limit need, read at once.
    const size_t n = size_t(std::min({limit, sample.size, bytes.size() - at}));
    std::vector<uint8_t> buffer(n);
    if (bytes.read_at(at, buffer.data(), n) != n) return false;
    carve_input_c in{std::span<const uint8_t>(buffer)};
    uint64_t nal_walked = 0;
    // With the whole sample read, every unit is looked at, bytes left over after the last one
    // included, as the walk looks at them.
    const uint64_t look = n == sample.size ? UINT64_MAX : n;
    return sample_holds(in, codec_t(sample.codec), sample.length_size, 0, sample.size, look, nullptr, nal_walked);
}

structure_walk_t walk_iso_media_broken(byte_source_i& file, iso_break_t* broke) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    walk_c walk(in, out, broke);
    box_t moov, box;
    bool has_moov = false;
    uint64_t pos = 0;
    for (int n = 0; pos < size; ++n, pos = box.end) {
        if (n == max_boxes || !read_box(in, pos, size, box)) return out;
        if (box.type == fourcc("moof")) {
            out.is_known = false;  // a fragmented movie: its sample tables are elsewhere
            return out;
        }
        if (!is_top_level(box.type) || (box.type == fourcc("ftyp") && n)) return out;
        out.places.push_back(pos);
        if (box.type == fourcc("mdat")) walk.media.push_back({box.body, box.end});
        if (box.type == fourcc("moov")) {
            if (has_moov) return out;
            moov = box;
            has_moov = true;
        }
    }
    if (!has_moov || walk.media.empty()) return out;
    int tracks = 0;
    pos = moov.body;
    for (int n = 0; n < max_boxes && pos < moov.end; ++n, pos = box.end) {
        if (!read_box(in, pos, moov.end, box)) return out;
        if (box.type != fourcc("trak")) continue;
        track_t t;
        if (++tracks > max_tracks || !read_track(in, box, t) || !walk.track(t)) return out;
    }
    if (tracks == 0) return out;
    if (walk.broke_at != UINT64_MAX) {
        out.failed_at = walk.broke_at;
        return out;
    }
    // The chunks of all tracks share the media data without overlapping.
    std::sort(walk.extents.begin(), walk.extents.end());
    for (size_t i = 1; i < walk.extents.size(); ++i)
        if (walk.extents[i].first < walk.extents[i - 1].second) return out;
    // The sample tables held: the movie box's bytes are the file's own where they lie.
    for (uint64_t at = moov.at; at < moov.end && out.places.size() < max_moov_places; at += 512)
        out.places.push_back(at);
    out.places.push_back(moov.end - 1);
    out.is_sound = true;
    return out;
}

}  // namespace ember::fs
