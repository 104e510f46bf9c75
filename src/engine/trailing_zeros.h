#pragma once

#include <cstddef>
#include <cstdint>

// Counts the zero bytes at the end of a stream fed block by block: a zero adds one, anything
// else starts the count again. Used to trim the zero padding some cameras leave after a file.
class trailing_zero_counter_c {
public:
    void feed(const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) count_ = data[i] == 0 ? count_ + 1 : 0;
    }
    uint64_t count() const { return count_; }

private:
    uint64_t count_ = 0;
};
