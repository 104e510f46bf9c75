// A deleted file's clusters as a camera allocated them: first fit from its first cluster on, so a
// file that did not fit its hole went on in the next free clusters. The FAT's record of the chain
// is gone, but the clusters that were not free then are partly known: those of live files, of
// files already kept whole, and perhaps those of other deleted files that were still there when
// it was written. A few such chains are built, each is read as the file and walked by its type's
// structure (media_chain_check.h), and one is taken only when it alone is confirmed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/byte_source.h"
#include "extent_source.h"
#include "fs_volume.h"
#include "media_chain_check.h"

namespace ember::fs {

struct cluster_span_t {
    uint32_t first = 0;
    uint32_t end = 0;          // one past the last cluster
    bool is_intact = false;    // its first cluster still starts a file: it was not written over
    uint64_t size = 0;         // bytes its entry states
};

struct allocation_request_t {
    const fs_volume_t* volume = nullptr;
    uint32_t first = 0;  // the file's first cluster
    uint64_t size = 0;   // from its directory entry
    std::function<bool(uint32_t)> is_taken;  // a cluster of a live file, or of a file kept already
    std::vector<cluster_span_t> others;      // the clusters other deleted files' entries state
    // A tail found apart from the chain (an MP4's movie box after its media data,
    // iso_tail_search.h): the chains cover the first tail_at bytes (whole clusters), the tail
    // the rest. Empty: the chains cover the whole size.
    uint64_t tail_at = 0;
    std::vector<extent_t> tail;
    // Bytes the structure walks may still read, shared by all the files of a scan (each walk
    // costs the file's size); the search stops when it runs out.
    uint64_t* budget = nullptr;
    // Set when the search stopped because two chains were confirmed or the budget ran out (not
    // merely because none was confirmed).
    bool* is_stopped = nullptr;
};

// Each span cut at the first cluster that another entry names after its own first (firsts:
// every entry's first cluster, any order): the file's first hole. A file that did not fit its
// hole went on elsewhere, so its stated size says nothing of the clusters past that hole; files
// written since into the clusters it went round start there.
void cut_to_first_holes(std::vector<cluster_span_t>& spans, std::vector<uint32_t> firsts);
// The stretch starts a chain with a tail found apart is judged by (judge_chain): its jumps, and,
// where the head jumps to the tail, also the head's last cluster, which must then hold a place of
// its own (the tail, found by its header, proves nothing of the clusters before the jump).
void add_tail_stretches(std::vector<uint64_t>& jumps, const allocation_request_t& q);

// The chain from the first cluster on through the clusters is_skipped leaves, as long as the size
// needs; empty when the volume ends first.
// The clusters from index k on, first fit from cluster c (taken as it is for k > 0 only when
// free): false when the volume ends first. Shared by the chains that resume at a break.
bool fill_first_fit(const fs_volume_t& v, std::vector<uint32_t>& clusters, size_t k, uint32_t c,
                    const std::function<bool(uint32_t)>& is_free);

// A list of clusters as extents, neighbours merged.
std::vector<extent_t> cluster_extents(const fs_volume_t& v, const std::vector<uint32_t>& clusters);

std::vector<extent_t> allocation_chain(const fs_volume_t& v, uint32_t first, uint64_t size,
                                       const std::function<bool(uint32_t)>& is_skipped);

// The one chain the structure confirms among the chains through the clusters not taken, each
// skipping some of the other deleted files whose clusters the plain chain crosses (the first four
// of them): each may have been on the card when this one was written, or gone. Empty when none,
// or more than one, is confirmed. One more chain skips exactly the other deleted files whose first
// cluster still starts a file (whose clusters nothing took since), however many it crosses.
// Then the chain is grown by the structure: starting from that last chain, where its walk breaks,
// the other file whose clusters the stretch that went wrong starts in is skipped too, and the
// chain is walked again (at most 32 times), as the camera went round each file still there.
std::vector<extent_t> reassemble_by_allocation(byte_source_i& card, const allocation_request_t& q,
                                               structure_walk_fn walk);

}  // namespace ember::fs
