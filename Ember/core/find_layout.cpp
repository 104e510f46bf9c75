#include "find_layout.h"

#include <algorithm>

namespace ember {
namespace {

constexpr uint64_t sector = 512;
// Real files have a few thousand payload runs and aligned frame starts at most; crafted ones
// may claim millions. Past these limits the layout is dropped and the type rules decide.
constexpr size_t max_payload_runs = size_t(1) << 16;
constexpr size_t max_embedded = size_t(1) << 18;

}  // namespace

void find_layout_c::add_payload(uint64_t offset, uint64_t length) {
    if (length == 0 || is_overflowed_) return;
    uint64_t end = offset + length < offset ? ~uint64_t(0) : offset + length;
    // Samples and strips mostly follow one another: extend the last run when this one joins it.
    if (!payload_.empty() && offset >= payload_.back().first && offset <= payload_.back().second) {
        payload_.back().second = std::max(payload_.back().second, end);
        return;
    }
    if (payload_.size() >= max_payload_runs) {
        is_overflowed_ = true;
        return;
    }
    payload_.emplace_back(offset, end);
    is_settled_ = false;
}

void find_layout_c::add_embedded(uint64_t offset) {
    if (offset % sector != 0 || is_overflowed_) return;
    if (embedded_.size() >= max_embedded) {
        is_overflowed_ = true;
        return;
    }
    embedded_.push_back(offset);
    is_settled_ = false;
}

void find_layout_c::clear() {
    payload_.clear();
    embedded_.clear();
    is_settled_ = true;
    is_overflowed_ = false;
}

void find_layout_c::settle() {
    std::sort(payload_.begin(), payload_.end());
    size_t kept = 0;
    for (size_t i = 0; i < payload_.size(); ++i) {
        if (kept > 0 && payload_[i].first <= payload_[kept - 1].second)
            payload_[kept - 1].second = std::max(payload_[kept - 1].second, payload_[i].second);
        else
            payload_[kept++] = payload_[i];
    }
    payload_.resize(kept);
    std::sort(embedded_.begin(), embedded_.end());
    is_settled_ = true;
}

nested_place_t find_layout_c::place_of(uint64_t offset) {
    if (is_overflowed_) return nested_place_t::other;
    if (!is_settled_) settle();
    if (std::binary_search(embedded_.begin(), embedded_.end(), offset)) return nested_place_t::embedded;
    auto after = std::upper_bound(payload_.begin(), payload_.end(), std::make_pair(offset, ~uint64_t(0)));
    if (after != payload_.begin() && offset < std::prev(after)->second) return nested_place_t::payload;
    return nested_place_t::other;
}

}  // namespace ember
