#include "extent_source.h"

#include <algorithm>

namespace ember::fs {

extent_source_c::extent_source_c(byte_source_i& source, std::vector<extent_t> extents, uint64_t size)
    : source_(source), extents_(std::move(extents)) {
    uint64_t total = 0;
    for (const extent_t& e : extents_) {
        starts_.push_back(total);
        total += e.length;
    }
    size_ = std::min(size, total);
}

size_t extent_source_c::read_at(uint64_t offset, uint8_t* buf, size_t len) {
    if (offset >= size_) return 0;
    len = size_t(std::min<uint64_t>(len, size_ - offset));
    size_t done = 0;
    size_t i = size_t(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) - 1;
    for (; done < len && i < extents_.size(); ++i) {
        uint64_t in_extent = offset + done - starts_[i];
        size_t n = size_t(std::min<uint64_t>(len - done, extents_[i].length - in_extent));
        size_t got = source_.read_at(extents_[i].offset + in_extent, buf + done, n);
        done += got;
        if (got < n) break;
    }
    return done;
}

}  // namespace ember::fs
