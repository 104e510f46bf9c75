// How many thumbnails the grid keeps loaded: at most a fixed number, those wanted most recently
// (the cells near the view) first. The grid asks it which loaded ones to release; a released one
// is loaded again when its cell comes back near the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

class thumbnail_budget_c {
public:
    explicit thumbnail_budget_c(size_t capacity) : capacity_(capacity) {}

    size_t capacity() const { return capacity_; }
    size_t loaded() const { return order_.size(); }
    bool is_loaded(int32_t index) const { return places_.count(index) != 0; }

    // The thumbnail of this queue index was loaded, or its loaded cell is near the view again.
    void note_wanted(int32_t index);
    // The loaded thumbnails beyond capacity, least recently wanted first; they count as released.
    std::vector<int32_t> take_surplus();
    // Every loaded one, which count as released.
    std::vector<int32_t> take_all();

private:
    size_t capacity_;
    std::list<int32_t> order_;  // most recently wanted first
    std::unordered_map<int32_t, std::list<int32_t>::iterator> places_;
};
