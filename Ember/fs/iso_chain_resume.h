// A deleted MP4 or MOV put together sample by sample. Once its movie box is at hand (at the head,
// or found on the card after the media data, iso_tail_search.h), the sample tables say where
// every sample starts in the file and how its codec's units start there (NAL length prefixes,
// SOI). The media data is read first fit from the file's first cluster; where the walk finds the
// first sample that does not start as it must, the stretch before it went wrong: the file goes
// on in the one free cluster after it, within reach, at whose place the sample does start, and
// the search walks again from there. No directory entry of the files in between is needed.
// With the movie box first, the file's last cluster may hold only sound, which has nothing to
// check: the chain may then end, after the cluster of its last place and without a jump, in up
// to 1 MiB of clusters none of which starts another file.
#pragma once

#include <cstdint>
#include <vector>

#include "allocation_chain.h"
#include "core/byte_source.h"
#include "media_chain_check.h"

namespace ember::fs {

// The first sample, in file order, that did not start as its codec's units do.
struct iso_break_t {
    uint64_t at = UINT64_MAX;  // its offset in the file
    uint64_t size = 0;
    uint8_t codec = 0;         // how it starts (the walk's own codes)
    uint8_t length_size = 4;   // bytes of a NAL unit's length prefix
};

// walk_iso_media, telling also the sample it broke at (broke may be null).
structure_walk_t walk_iso_media_broken(byte_source_i& file, iso_break_t* broke);

// Whether `sample` starts as its codec's units do at `at` in `bytes`, looking at the units whose
// prefix and header lie within `limit` bytes of it (those bytes read at once).
bool iso_sample_holds(byte_source_i& bytes, uint64_t at, uint64_t limit, const iso_break_t& sample);

// The chain that the walk confirms, built as above from q's first cluster (q.tail, when set,
// holds the movie box); empty when a break cannot be placed in exactly one way. From q.budget
// each walk costs the file's size, each cluster looked at a sector, and each whose sector holds
// the sample's start the sample (up to 1 MiB); at most 64 breaks are followed, and at most 8192
// clusters are looked at for each.
std::vector<extent_t> reassemble_iso_by_samples(byte_source_i& card, const allocation_request_t& q);

}  // namespace ember::fs
