// The JPEG entropy-data walk's reading of its source.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "core/byte_source.h"

namespace ember::fs {

// Bytes of a source in order through one aligned block at a time. Blocks grow from 4 KiB: a
// decode that fails soon (a wrong join) reads little. A source that is one block of memory is
// read in place.
class block_reader_c {
public:
    static constexpr size_t block_size = 64 * 1024;  // read in sector-aligned blocks
    explicit block_reader_c(byte_source_i& file) : file_(file) {
        if (const uint8_t* all = file.contiguous()) {
            data_ = all;
            size_ = size_t(std::min<uint64_t>(file.size(), SIZE_MAX));
            is_whole_ = true;
        }
    }
    // The byte at pos, or -1 past the end.
    int at(uint64_t pos) {
        if (pos < base_ || pos >= base_ + size_) {
            if (is_whole_) return -1;
            if (!buf_) buf_.reset(new uint8_t[block_size]);
            base_ = pos / 512 * 512;
            size_ = file_.read_at(base_, buf_.get(), next_);
            data_ = buf_.get();
            next_ = std::min(next_ * 2, block_size);
            if (pos >= base_ + size_) return -1;
        }
        return data_[size_t(pos - base_)];
    }
    // The bytes in hand from pos on (none when pos is outside them): *n of them.
    const uint8_t* held(uint64_t pos, size_t* n) const {
        if (pos < base_ || pos >= base_ + size_) {
            *n = 0;
            return nullptr;
        }
        *n = size_t(base_ + size_ - pos);
        return data_ + size_t(pos - base_);
    }

private:
    byte_source_i& file_;
    std::unique_ptr<uint8_t[]> buf_;
    const uint8_t* data_ = nullptr;
    size_t next_ = 4096;
    uint64_t base_ = 0;
    size_t size_ = 0;
    bool is_whole_ = false;
};

}  // namespace ember::fs
