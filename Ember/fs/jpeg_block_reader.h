// The JPEG entropy-data walk's reading of its source.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "core/byte_source.h"

namespace ember::fs {

// Bytes of a source in order through one aligned block at a time. Blocks grow from 4 KiB: a
// decode that fails soon (a wrong join) reads little.
class block_reader_c {
public:
    static constexpr size_t block_size = 64 * 1024;  // read in sector-aligned blocks
    explicit block_reader_c(byte_source_i& file) : file_(file) {}
    // The byte at pos, or -1 past the end.
    int at(uint64_t pos) {
        if (pos < base_ || pos >= base_ + size_) {
            if (!buf_) buf_.reset(new uint8_t[block_size]);
            base_ = pos / 512 * 512;
            size_ = file_.read_at(base_, buf_.get(), next_);
            next_ = std::min(next_ * 2, block_size);
            if (pos >= base_ + size_) return -1;
        }
        return buf_[size_t(pos - base_)];
    }

private:
    byte_source_i& file_;
    std::unique_ptr<uint8_t[]> buf_;
    size_t next_ = 4096;
    uint64_t base_ = 0;
    size_t size_ = 0;
};

}  // namespace ember::fs
