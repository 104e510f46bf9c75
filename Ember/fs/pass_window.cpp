#include "pass_window.h"

#include <algorithm>
#include <cstring>

namespace ember::fs {

pass_window_c::scope_c::scope_c(pass_window_c& window, uint64_t offset, std::span<const uint8_t> bytes)
    : window_(window), offset_(window.offset_), bytes_(window.bytes_) {
    window_.offset_ = offset;
    window_.bytes_ = bytes;
}

pass_window_c::scope_c::~scope_c() {
    window_.offset_ = offset_;
    window_.bytes_ = bytes_;
}

size_t pass_window_c::read_at(uint64_t offset, uint8_t* buf, size_t len) {
    const uint64_t shown_end = offset_ + bytes_.size();
    size_t done = 0;
    while (done < len) {
        uint64_t at = offset + done;
        if (at >= offset_ && at < shown_end) {
            size_t n = size_t(std::min<uint64_t>(len - done, shown_end - at));
            std::memcpy(buf + done, bytes_.data() + (at - offset_), n);
            done += n;
            continue;
        }
        size_t n = len - done;
        if (at < offset_ && !bytes_.empty()) n = size_t(std::min<uint64_t>(n, offset_ - at));
        size_t got = card_.read_at(at, buf + done, n);
        done += got;
        if (got < n) break;
    }
    return done;
}

}  // namespace ember::fs
