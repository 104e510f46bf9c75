// Where a deleted MP4 or MOV's movie box went when the camera wrote it after the media data (as
// phones and most cameras do). The file's first cluster states the media data's size, so the
// movie box starts at a known offset in the file and fills the rest of the entry's size: a free
// cluster that holds, at that offset within it, a box header of exactly that size and type is
// where the file's tail lies, wherever the media data's stretches went in between. With the tail
// in place the sample tables tell where every sample must start, so a chain through the media
// data can be checked sample by sample and its first wrong stretch found.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/byte_source.h"
#include "fs_volume.h"

namespace ember::fs {

// The offset in the file where a movie box after the media data starts, from the top-level
// boxes in the file's first cluster (at `head` on the card); 0 when the movie box comes first,
// or the boxes do not say (a box of the head outside its first cluster, a damaged size).
uint64_t iso_tail_offset(byte_source_i& card, uint64_t head, uint32_t cluster_size, uint64_t size);

// What the top-level boxes at the head of a file that no entry names say of its layout (their
// headers read from the card as one run over the first MiB).
struct iso_head_t {
    uint64_t moov_at = 0;  // the movie box follows the media data from here (0: not so)
    uint64_t size = 0;     // the movie box came first: the file ends with the media data here
};
iso_head_t read_iso_head(byte_source_i& card, uint64_t head, uint64_t limit);

struct iso_tail_t {
    uint32_t cluster = 0;    // where the movie box's header lies
    uint64_t moov_size = 0;  // as its header states
};

// The clusters, from `from` up to (not including) `to`, that is_taken leaves and that hold the
// movie box's header at moov_at's place within a cluster: with the size `size` leaves it, or,
// with size 0 (no entry states one), any size up to 64 MiB. At most `limit` of them, in card
// order; one small read a cluster looked at, each costing a sector from `budget` (the search
// stops when it runs out).
std::vector<iso_tail_t> find_iso_tail(byte_source_i& card, const fs_volume_t& v, uint32_t from, uint32_t to,
                                      uint64_t moov_at, uint64_t size, const std::function<bool(uint32_t)>& is_taken,
                                      size_t limit, uint64_t* budget);

}  // namespace ember::fs
