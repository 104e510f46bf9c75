// The broken heads the scan holds back, and the search for their rests in the bytes the pass
// reads after them (see fragment_join.h): the clusters of every stretch the pass reads are
// offered to each head whose search window they lie in, so looking costs no read of the card.
// Each head is settled, joined or given up, at the latest when the pass has gone past its window.
// Heads do not take each other's clusters out of the search, so that what each one finds does not
// depend on when the others settle, nor on how the card is read.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "fragment_join.h"

namespace ember::fs {

struct settled_head_t {
    uint64_t start = 0;
    std::vector<extent_t> extents;  // the joined file; empty when the head was given up
    uint64_t size = 0;
    uint32_t tag = 0;               // the request's
    uint64_t head_size = 0;         // given up: the head as far as it is its own (0: not known)
};

class fragment_search_c {
public:
    // card: the card as the scan's pass sees it.
    explicit fragment_search_c(byte_source_i& card);

    // Holds a head; false when nothing is looked for (or too many heads are held already).
    bool hold(join_request_t request);
    // Offers the clusters in [offset, offset + size), which the pass has read, to the held heads.
    void observe(uint64_t offset, uint64_t size);
    // Gives up every head still held.
    void finish();
    // A head settled since the last call; false when there is none.
    bool take(settled_head_t& out);

private:
    struct held_t {
        std::unique_ptr<head_join_c> join;
        uint64_t next = 0;  // the next key position to offer
    };
    void settle(size_t index, bool is_joined);

    byte_source_i& card_;
    std::vector<held_t> held_;
    std::deque<settled_head_t> settled_;
    uint64_t trials_left_;
};

}  // namespace ember::fs
