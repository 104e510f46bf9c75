// A heap buffer on a 4096-byte boundary, so that device reads into it need no bounce copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace ember {

class aligned_buffer_c {
public:
    static constexpr size_t alignment = 4096;

    aligned_buffer_c() = default;
    explicit aligned_buffer_c(size_t size) { resize(size); }
    ~aligned_buffer_c() { release(); }
    aligned_buffer_c(const aligned_buffer_c&) = delete;
    aligned_buffer_c& operator=(const aligned_buffer_c&) = delete;
    aligned_buffer_c(aligned_buffer_c&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }

    void resize(size_t size) {
        release();
        size_t rounded = (size + alignment - 1) / alignment * alignment;
        data_ = static_cast<uint8_t*>(::operator new(rounded, std::align_val_t(alignment)));
        size_ = size;
    }
    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void release() {
        if (data_) ::operator delete(data_, std::align_val_t(alignment));
        data_ = nullptr;
        size_ = 0;
    }
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace ember
