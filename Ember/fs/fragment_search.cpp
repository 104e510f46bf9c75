#include "fragment_search.h"

#include <algorithm>

namespace ember::fs {
namespace {

// Heads held at once, and rests decoded over the whole scan for heads without a size (a card
// full of broken photos must not stall the scan).
constexpr size_t max_held = 256;
constexpr uint64_t max_rest_trials = 256 * 1024;
// Heads with a size held at one start: a real card names a cluster from a few entries at most
// (files written over deleted ones); a crafted one may name it from thousands.
constexpr size_t max_sizes_per_start = 8;

}  // namespace

fragment_search_c::fragment_search_c(byte_source_i& card) : card_(card), trials_left_(max_rest_trials) {}

bool fragment_search_c::hold(join_request_t request) {
    if (held_.size() >= max_held) return false;
    // The heads with a size at one start share one decode and one budget; a size held already
    // adds nothing.
    std::shared_ptr<shared_head_t> shared;
    for (const held_t& h : held_)
        if (request.size && h.join->request().start == request.start && h.join->shared()) shared = h.join->shared();
    if (shared) {
        if (std::find(shared->sizes.begin(), shared->sizes.end(), request.size) != shared->sizes.end() ||
            shared->sizes.size() >= max_sizes_per_start || shared->is_decoded)
            return false;
    }
    auto join = std::make_unique<head_join_c>(card_, std::move(request), &trials_left_, shared);
    if (!join->is_searchable()) return false;
    if (shared) shared->sizes.push_back(join->request().size);
    uint64_t from = join->search_from();
    held_.push_back({std::move(join), from});
    return true;
}

void fragment_search_c::observe(uint64_t offset, uint64_t size) {
    const uint64_t end = offset + size;
    for (size_t i = 0; i < held_.size();) {
        head_join_c& join = *held_[i].join;
        const join_request_t& q = join.request();
        const uint64_t cs = q.cluster_size, to = join.search_to();
        // The first key position at or after both `next` and offset, on the head's cluster grid.
        uint64_t p = std::max(held_[i].next, offset);
        uint64_t phase = (q.start + join.key_offset()) % cs;
        p += (phase + cs - p % cs) % cs;
        head_join_c::outcome_t outcome = head_join_c::outcome_t::none;
        for (; p < end && p < to && outcome == head_join_c::outcome_t::none; p += cs)
            outcome = join.offer(p - join.key_offset());
        held_[i].next = std::max(held_[i].next, p);
        if (outcome != head_join_c::outcome_t::none || held_[i].next >= to || end >= to) {
            settle(i, outcome == head_join_c::outcome_t::joined);
            continue;
        }
        ++i;
    }
}

void fragment_search_c::settle(size_t index, bool is_joined) {
    head_join_c& join = *held_[index].join;
    settled_head_t s;
    s.start = join.request().start;
    s.tag = join.request().tag;
    if (is_joined) {
        s.extents = join.extents();
        s.size = join.joined_size();
    } else {
        s.head_size = join.head_size();
    }
    settled_.push_back(std::move(s));
    held_.erase(held_.begin() + std::ptrdiff_t(index));
}

void fragment_search_c::finish() {
    while (!held_.empty()) settle(held_.size() - 1, false);
}

bool fragment_search_c::take(settled_head_t& out) {
    if (settled_.empty()) return false;
    out = std::move(settled_.front());
    settled_.pop_front();
    return true;
}

}  // namespace ember::fs
