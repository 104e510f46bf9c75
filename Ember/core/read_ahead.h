// Sequential reads of the source on a helper thread, a few large chunks ahead of the scan, in a
// fixed set of buffers: when the scan stops asking (its thread is suspended) the helper fills
// the free buffers and then waits, so the device goes quiet with it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "aligned_buffer.h"
#include "byte_source.h"

namespace ember {

struct chunk_view_t {
    uint64_t offset = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;  // short only at the end of the source; 0 when nothing could be read
};

class read_ahead_c {
public:
    read_ahead_c(byte_source_i& source, size_t chunk_size, size_t depth);
    ~read_ahead_c();
    read_ahead_c(const read_ahead_c&) = delete;
    read_ahead_c& operator=(const read_ahead_c&) = delete;

    // The chunk that starts at offset (a multiple of 512 below the source size), waiting up to
    // wait_ms for it; false when it is not there yet. The previous chunk is given back by this
    // call; the returned one stays valid until the next. A jump restarts the reads there.
    bool chunk_at(uint64_t offset, unsigned wait_ms, chunk_view_t& out);

private:
    struct slot_t {
        aligned_buffer_c buffer;
        uint64_t offset = 0;
        size_t size = 0;
    };
    static constexpr size_t no_slot = size_t(-1);

    void run();
    void restart_at(uint64_t offset);

    byte_source_i& source_;
    const uint64_t source_size_;
    const size_t chunk_size_;
    std::vector<slot_t> slots_;
    std::vector<size_t> free_;
    std::deque<size_t> ready_;
    size_t held_ = no_slot;
    uint64_t next_read_ = 0;
    bool is_reading_ = false;
    uint64_t reading_offset_ = 0;
    uint64_t generation_ = 0;
    bool is_stopping_ = false;
    std::mutex mutex_;
    std::condition_variable wake_reader_;
    std::condition_variable chunk_ready_;
    std::thread thread_;
};

}  // namespace ember
