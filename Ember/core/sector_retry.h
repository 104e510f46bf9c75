// Reading a worn card: a read that fails is retried in halves down to single sectors, and what
// still cannot be read comes back as zeros, so one bad sector costs one sector, not the scan.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ember {

constexpr size_t sector_size = 512;

class raw_reader_i {
public:
    virtual ~raw_reader_i() = default;
    // One device read of len bytes at offset (both multiples of sector_size, except len at the
    // end of an image): the count read (short only at the end), or -1 when the device failed.
    virtual int64_t read_raw(uint64_t offset, uint8_t* buf, size_t len) = 0;
};

struct retry_stats_t {
    uint64_t bad_sectors = 0;  // sectors given back as zeros
};

// Fills buf with len bytes from offset; returns how many (fewer only at the end of the device).
size_t read_with_retry(raw_reader_i& reader, uint64_t offset, uint8_t* buf, size_t len,
                       retry_stats_t& stats);

}  // namespace ember
