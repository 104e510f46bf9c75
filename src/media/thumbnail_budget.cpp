#include "media/thumbnail_budget.h"

void thumbnail_budget_c::note_wanted(int32_t index) {
    auto found = places_.find(index);
    if (found != places_.end()) {
        order_.splice(order_.begin(), order_, found->second);
        return;
    }
    order_.push_front(index);
    places_[index] = order_.begin();
}

std::vector<int32_t> thumbnail_budget_c::take_surplus() {
    std::vector<int32_t> surplus;
    while (order_.size() > capacity_) {
        surplus.push_back(order_.back());
        places_.erase(order_.back());
        order_.pop_back();
    }
    return surplus;
}

std::vector<int32_t> thumbnail_budget_c::take_all() {
    std::vector<int32_t> all(order_.begin(), order_.end());
    order_.clear();
    places_.clear();
    return all;
}
