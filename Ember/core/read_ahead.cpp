#include "read_ahead.h"

#include <algorithm>
#include <chrono>

namespace ember {

read_ahead_c::read_ahead_c(byte_source_i& source, size_t chunk_size, size_t depth)
    : source_(source), source_size_(source.size()), chunk_size_(chunk_size), slots_(depth) {
    for (size_t i = 0; i < slots_.size(); ++i) {
        slots_[i].buffer.resize(chunk_size_);
        free_.push_back(i);
    }
    thread_ = std::thread([this] { run(); });
}

read_ahead_c::~read_ahead_c() {
    {
        std::lock_guard lock(mutex_);
        is_stopping_ = true;
    }
    wake_reader_.notify_all();
    thread_.join();
}

void read_ahead_c::restart_at(uint64_t offset) {
    for (size_t slot : ready_) free_.push_back(slot);
    ready_.clear();
    next_read_ = offset;
    ++generation_;  // a read still under way is dropped when it returns
    wake_reader_.notify_all();
}

bool read_ahead_c::chunk_at(uint64_t offset, unsigned wait_ms, chunk_view_t& out) {
    std::unique_lock lock(mutex_);
    if (held_ != no_slot) {
        free_.push_back(held_);
        held_ = no_slot;
        wake_reader_.notify_all();
    }
    bool is_on_course = !ready_.empty() ? slots_[ready_.front()].offset == offset
                        : is_reading_   ? reading_offset_ == offset
                                        : next_read_ == offset;
    if (!is_on_course) restart_at(offset);
    if (!chunk_ready_.wait_for(lock, std::chrono::milliseconds(wait_ms), [&] { return !ready_.empty(); }))
        return false;
    held_ = ready_.front();
    ready_.pop_front();
    const slot_t& slot = slots_[held_];
    out = {slot.offset, slot.buffer.data(), slot.size};
    return true;
}

void read_ahead_c::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_reader_.wait(lock, [&] {
            return is_stopping_ || (!free_.empty() && next_read_ < source_size_);
        });
        if (is_stopping_) return;
        size_t slot = free_.back();
        free_.pop_back();
        uint64_t offset = next_read_;
        uint64_t generation = generation_;
        size_t want = size_t(std::min<uint64_t>(chunk_size_, source_size_ - offset));
        next_read_ += want;
        is_reading_ = true;
        reading_offset_ = offset;
        lock.unlock();
        size_t got = source_.read_at(offset, slots_[slot].buffer.data(), want);
        lock.lock();
        is_reading_ = false;
        if (generation != generation_) {
            free_.push_back(slot);
            continue;
        }
        slots_[slot].offset = offset;
        slots_[slot].size = got;
        ready_.push_back(slot);
        if (got < want) next_read_ = source_size_;  // the source ended early: read no further
        chunk_ready_.notify_all();
    }
}

}  // namespace ember
