// Reading a failing card. A read that fails is tried once more, then sector by sector inside
// it; a sector that still fails reads as zeros and is remembered, so that no later read (the
// scan, the file system, a copy) asks the device for it again: on a card reader each failing
// read can take a second. A device that has gone (pulled out, no longer there, or ended before
// its size) ends all reading at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "byte_source.h"

namespace ember {

constexpr size_t sector_size = 512;

// What read_raw gives back besides a count of bytes.
constexpr int64_t raw_read_failed = -1;  // this read failed; others may not (a bad sector)
constexpr int64_t raw_device_gone = -2;  // the device is not there any more

class raw_reader_i {
public:
    virtual ~raw_reader_i() = default;
    // One device read of len bytes at offset (both multiples of sector_size, except len at the
    // end of an image): the count read (short only where the device ends), raw_read_failed or
    // raw_device_gone. May be called from two threads at once.
    virtual int64_t read_raw(uint64_t offset, uint8_t* buf, size_t len) = 0;
};

class device_source_c final : public byte_source_i {
public:
    // Known-bad ranges remembered at most; past that a new bad sector is still zero-filled and
    // counted, but would be asked for again by a later read.
    static constexpr size_t max_bad_ranges = 64 * 1024;
    // Consecutive failing sectors after which the device is checked for being gone.
    static constexpr uint64_t failures_between_checks = 32;

    device_source_c(std::unique_ptr<raw_reader_i> reader, uint64_t size);

    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override;
    uint64_t size() const override { return size_; }
    uint64_t unreadable_sectors() const override;
    bool has_unreadable(uint64_t offset, uint64_t len) const override;
    bool is_lost() const override;

private:
    enum class piece_t { read, lost };

    piece_t read_piece(uint64_t offset, uint8_t* buf, size_t len, size_t& got);
    piece_t read_sectors(uint64_t offset, uint8_t* buf, size_t len, size_t& got);
    bool is_device_gone(uint64_t offset, uint64_t end);
    // The end of the known-bad range holding sector, or 0; next_bad: the start of the next one.
    uint64_t bad_end_at(uint64_t sector, uint64_t& next_bad) const;
    void add_bad(uint64_t sector);
    void note_good(uint64_t sector);
    void mark_lost();

    std::unique_ptr<raw_reader_i> reader_;
    const uint64_t size_;
    mutable std::mutex mutex_;           // guards the fields below
    std::mutex failing_mutex_;           // one thread at a time works through a failing read
    std::map<uint64_t, uint64_t> bad_;   // first sector -> one past the last, never adjacent
    uint64_t unreadable_ = 0;
    uint64_t last_good_ = ~uint64_t(0);  // a sector the device has given, to tell if it is gone
    bool is_lost_ = false;
};

}  // namespace ember
