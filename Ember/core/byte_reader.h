// A bounds-checked cursor over bytes in memory. Once a read runs past the end the reader stays
// failed and returns zeros, so a parser checks ok() once at the end of a step.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_order.h"

namespace ember {

class byte_reader_c {
public:
    byte_reader_c(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t left() const { return size_ - pos_; }
    const uint8_t* here() const { return data_ + pos_; }

    bool need(size_t n) { return ok_ = ok_ && n <= size_ - pos_; }
    void skip(size_t n) { if (need(n)) pos_ += n; }
    void seek(size_t pos) { if (ok_ && pos <= size_) pos_ = pos; else ok_ = false; }

    uint8_t u8() { return need(1) ? data_[pos_++] : 0; }
    uint16_t le16() { return take<uint16_t, 2>(load_le16); }
    uint16_t be16() { return take<uint16_t, 2>(load_be16); }
    uint32_t le32() { return take<uint32_t, 4>(load_le32); }
    uint32_t be32() { return take<uint32_t, 4>(load_be32); }
    uint64_t le64() { return take<uint64_t, 8>(load_le64); }
    uint64_t be64() { return take<uint64_t, 8>(load_be64); }

private:
    template <class T, size_t n, class F> T take(F load) {
        if (!need(n)) return 0;
        T v = load(data_ + pos_);
        pos_ += n;
        return v;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace ember
