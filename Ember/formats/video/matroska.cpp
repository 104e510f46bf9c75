// Matroska and WebM: the EBML header, then one Segment. A Segment of known size ends where it
// says; one of unknown size (a recording that was never finished) ends at the first element that
// is neither a top-level element nor, inside an unknown-size Cluster, a Cluster child. Each
// Cluster is walked to its blocks: where they stop before its stated end, the file ends before
// the last block that seemed sound, whose bytes nothing after it confirms.
#include <algorithm>
#include <cstring>

#include "core/format.h"
#include "ebml.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

constexpr uint32_t ebml_id = 0x1A45DFA3, segment_id = 0x18538067, cluster_id = 0x1F43B675;
constexpr uint32_t doctype_id = 0x4282, tracks_id = 0x1654AE6B;
constexpr uint64_t max_ebml_header = 4096;
constexpr uint64_t max_elements = uint64_t(1) << 32;
constexpr uint64_t sector = 512;

using element_t = ebml_element_t;
constexpr uint64_t unknown_size = ebml_unknown_size;

// Reads an element header at pos; false when it is not one.
bool read_element(carve_input_c& in, uint64_t pos, element_t& e) {
    const size_t n = size_t(std::min<uint64_t>(12, pos < in.size() ? in.size() - pos : 0));
    const uint8_t* p = n >= 2 ? in.at(pos, n) : nullptr;
    return p && parse_ebml_element(p, n, e);
}

constexpr uint32_t simple_block_id = 0xA3, block_group_id = 0xA0, block_id = 0xA1;

// A block's frame starts after its track number (a variable-length integer), its 16-bit
// timecode and its flags; laced blocks hold several frames behind a lacing header.
void note_frame(carve_input_c& in, uint64_t body, uint64_t size) {
    const uint8_t* p = in.at(body, 1);
    if (!p || *p == 0) return;
    unsigned track_length = 1;
    while (!(*p & (0x80 >> (track_length - 1)))) ++track_length;
    const uint8_t* flags = in.at(body + track_length + 2, 1);
    if (!flags || size < track_length + 3u || (*flags & 0x06) != 0) return;
    in.layout().add_embedded(body + track_length + 3);
}

// Walks the children of the Cluster body [pos, end): blocks, block groups and the other Cluster
// elements, each fitting in it. Returns where they stop: end when they fill the Cluster, else
// the sector boundary at or before the last child that seemed sound (the Cluster's size is
// damaged, or its later bytes are another file's, which begin at a sector boundary): nothing
// after that child held, so its bytes may be the other file's already, and so may its header,
// when it read as one by chance. Where the source ends inside the Cluster (is_cut), a child
// header that does not fit what is left confirms the child before it.
uint64_t cluster_end(carve_input_c& in, uint64_t pos, uint64_t end, bool is_cut) {
    const uint64_t start = pos;
    uint64_t last = pos;
    while (pos < end) {
        element_t c;
        const bool is_child = read_element(in, pos, c) && is_matroska_cluster_child(c.id) && c.size != unknown_size;
        if (!is_child || c.header > end - pos || c.size > end - pos - c.header)
            return is_child && is_cut ? pos : std::max(start, last / sector * sector);
        last = pos;
        uint64_t body = pos + c.header;
        if (c.id == simple_block_id) note_frame(in, body, c.size);
        element_t b;
        if (c.id == block_group_id && read_element(in, body, b) && b.id == block_id && b.size <= c.size)
            note_frame(in, body + b.header, b.size);
        pos = body + c.size;
    }
    return end;
}

bool probe(const uint8_t* h, size_t size) {
    return size >= 8 && load_be32(h) == ebml_id;
}

carve_result_t carve(carve_input_c& in) {
    element_t e;
    if (!read_element(in, 0, e) || e.id != ebml_id || e.size > max_ebml_header) return {};
    const uint8_t* head = in.at(e.header, size_t(e.size));
    if (!head) return {};
    const char* ext = nullptr;
    for (uint64_t pos = 0; pos < e.size;) {
        element_t c;
        carve_input_c sub({head, size_t(e.size)});
        if (!read_element(sub, pos, c) || c.header > e.size - pos || c.size > e.size - pos - c.header)
            return {};
        if (c.id == doctype_id) {
            const uint8_t* d = head + pos + c.header;
            if (c.size >= 4 && std::memcmp(d, "webm", 4) == 0) ext = "webm";
            else if (c.size >= 8 && std::memcmp(d, "matroska", 8) == 0) ext = "mkv";
            else return {};
        }
        pos += c.header + c.size;
    }
    if (!ext) return {};
    uint64_t seg_pos = e.header + e.size;
    element_t seg;
    if (!read_element(in, seg_pos, seg) || seg.id != segment_id) return {};
    uint64_t data = seg_pos + seg.header;
    uint64_t seg_end = seg.size == unknown_size || seg.size > unknown_size - data ? unknown_size
                                                                                  : data + seg.size;
    bool has_tracks = false, has_cluster = false, in_cluster = false;
    uint64_t pos = data;
    for (uint64_t n = 0; n < max_elements && pos < seg_end; ++n) {
        element_t c;
        if (!read_element(in, pos, c)) break;
        bool child = in_cluster && is_matroska_cluster_child(c.id);
        if (!child && !is_matroska_top_level(c.id)) break;
        if (!child) in_cluster = false;
        has_tracks |= c.id == tracks_id;
        if (c.id == cluster_id) {
            has_cluster = true;
            if (c.size == unknown_size) {
                in_cluster = true;
                pos += c.header;
                continue;
            }
        }
        if (c.size == unknown_size) break;
        if (c.header > seg_end - pos || c.size > seg_end - pos - c.header) break;  // fits in its segment
        uint64_t next = pos + c.header + c.size;
        if (child) {  // a child of an unknown-size Cluster
            in.layout().add_payload(pos, std::min(next, in.size()) - pos);
            if (c.id == simple_block_id) note_frame(in, pos + c.header, c.size);
        } else if (c.id == cluster_id) {
            // A Cluster is the file's as far as its blocks go.
            uint64_t body = pos + c.header;
            uint64_t blocks = cluster_end(in, body, std::min(next, in.size()), next > in.size());
            in.layout().add_payload(body, blocks - body);
            if (blocks < std::min(next, in.size())) {
                pos = blocks;
                break;
            }
        }
        if (next > in.size()) {
            pos = in.size();
            break;
        }
        pos = next;
    }
    if (!has_tracks || !has_cluster) return {};
    return {std::min(pos, in.size()), ext};
}

}  // namespace

const format_t matroska_format = {"mkv", "\x1A", probe, carve};

}  // namespace ember::video
