// Matroska and WebM element headers (EBML): an ID of 1 to 4 bytes and a size of 1 to 8, each
// with its length in its leading bits; a size whose value bits are all set is unknown. Shared by
// the carver and the file-system layer's structure walk.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ember::video {

constexpr uint64_t ebml_unknown_size = ~uint64_t(0);

struct ebml_element_t {
    uint32_t id = 0;
    uint64_t size = 0;    // ebml_unknown_size when all its bits are set
    uint64_t header = 0;  // bytes of ID and size
};

// The element header in the n bytes at p; false when they do not start one, or it does not fit.
inline bool parse_ebml_element(const uint8_t* p, size_t n, ebml_element_t& e) {
    if (n < 2) return false;
    const unsigned id_length = p[0] & 0x80 ? 1 : p[0] & 0x40 ? 2 : p[0] & 0x20 ? 3 : p[0] & 0x10 ? 4 : 0;
    if (!id_length || id_length >= n) return false;
    e.id = 0;
    for (unsigned i = 0; i < id_length; ++i) e.id = e.id << 8 | p[i];
    const uint8_t first = p[id_length];
    if (!first) return false;
    unsigned length = 1;
    while (!(first & (0x80 >> (length - 1)))) ++length;
    if (id_length + length > n) return false;
    uint64_t v = first & (0xFF >> length);
    bool all_ones = v == (0xFFu >> length);
    for (unsigned i = 1; i < length; ++i) {
        v = v << 8 | p[id_length + i];
        all_ones = all_ones && p[id_length + i] == 0xFF;
    }
    e.size = all_ones ? ebml_unknown_size : v;
    e.header = id_length + length;
    return true;
}

// The Segment's top-level elements: SeekHead, Info, Tracks, Cluster, Cues, Attachments,
// Chapters, Tags, and Void and CRC-32 between them.
inline bool is_matroska_top_level(uint32_t id) {
    switch (id) {
    case 0x114D9B74: case 0x1549A966: case 0x1654AE6B: case 0x1F43B675: case 0x1C53BB6B:
    case 0x1941A469: case 0x1043A770: case 0x1254C367: case 0xEC: case 0xBF:
        return true;
    default:
        return false;
    }
}

// A Cluster's children: Timecode, SimpleBlock, BlockGroup, Position, PrevSize, Void, CRC-32,
// SilentTracks, EncryptedBlock.
inline bool is_matroska_cluster_child(uint32_t id) {
    switch (id) {
    case 0xE7: case 0xA3: case 0xA0: case 0xA7: case 0xAB: case 0xEC: case 0xBF: case 0x5854: case 0xAF:
        return true;
    default:
        return false;
    }
}

}  // namespace ember::video
