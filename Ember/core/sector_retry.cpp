#include "sector_retry.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "aligned_buffer.h"

namespace ember {

device_source_c::device_source_c(std::unique_ptr<raw_reader_i> reader, uint64_t size)
    : reader_(std::move(reader)), size_(size) {}

size_t device_source_c::read_at(uint64_t offset, uint8_t* buf, size_t len) {
    if (offset >= size_ || is_lost()) return 0;
    len = size_t(std::min<uint64_t>(len, size_ - offset));
    const uint64_t end = offset + len;
    for (uint64_t pos = offset; pos < end;) {
        uint64_t next_bad = 0, bad_end = 0;
        {
            std::lock_guard lock(mutex_);
            bad_end = bad_end_at(pos / sector_size, next_bad);
        }
        // Known-bad sectors are never asked for again: they read as the zeros they gave.
        if (bad_end) {
            uint64_t stop = std::min(end, bad_end * sector_size);
            std::memset(buf + (pos - offset), 0, size_t(stop - pos));
            pos = stop;
            continue;
        }
        uint64_t stop = next_bad <= end / sector_size ? std::max(pos, next_bad * sector_size) : end;
        size_t got = 0;
        if (read_piece(pos, buf + (pos - offset), size_t(stop - pos), got) == piece_t::lost)
            return size_t(pos - offset) + got;
        pos = stop;
    }
    return len;
}

// One read of a piece that holds no known-bad sector; got: the bytes it gave before the device
// was lost, when it was.
device_source_c::piece_t device_source_c::read_piece(uint64_t offset, uint8_t* buf, size_t len, size_t& got) {
    int64_t n = reader_->read_raw(offset, buf, len);
    if (n == int64_t(len)) {
        note_good((offset + len - 1) / sector_size);
        got = len;
        return piece_t::read;
    }
    if (n >= 0 || n == raw_device_gone) {
        // Short before the size the device had when it was opened: it has shrunk (or gone).
        got = n > 0 ? size_t(n) : 0;
        mark_lost();
        return piece_t::lost;
    }
    std::lock_guard failing(failing_mutex_);
    return read_sectors(offset, buf, len, got);
}

// The piece's second chance, once the card is known to be there: once more whole, then each
// sector on its own.
device_source_c::piece_t device_source_c::read_sectors(uint64_t offset, uint8_t* buf, size_t len, size_t& got) {
    got = 0;
    if (is_lost()) return piece_t::lost;
    const uint64_t end = offset + len;
    const uint64_t first = offset / sector_size, last = (end - 1) / sector_size;
    // First whether the card is still there (one read of a good sector, quick), so that a card
    // pulled out costs one failing read less, which may be a second.
    if (is_device_gone(offset, end)) {
        mark_lost();
        return piece_t::lost;
    }
    // A single sector was read on its own already; a piece in which another thread has found
    // bad sectors meanwhile is not read whole again, so that they are not touched twice.
    if (last > first && !has_unreadable(offset, len)) {
        int64_t n = reader_->read_raw(offset, buf, len);
        if (n == int64_t(len)) {
            note_good(last);
            got = len;
            return piece_t::read;
        }
        if (n != raw_read_failed) {
            got = n > 0 ? size_t(n) : 0;
            mark_lost();
            return piece_t::lost;
        }
    }
    uint64_t failures = 0;
    for (uint64_t sector = first; sector <= last; ++sector) {
        uint64_t from = std::max(offset, sector * sector_size);
        uint64_t to = std::min(end, (sector + 1) * sector_size);
        uint8_t* into = buf + (from - offset);
        if (is_lost()) {  // seen by another thread's read
            got = size_t(from - offset);
            return piece_t::lost;
        }
        uint64_t next_bad = 0;
        bool is_known_bad;
        {
            std::lock_guard lock(mutex_);
            is_known_bad = bad_end_at(sector, next_bad) != 0;
        }
        int64_t n = is_known_bad ? raw_read_failed : reader_->read_raw(from, into, size_t(to - from));
        if (n == int64_t(to - from)) {
            note_good(sector);
            failures = 0;
            continue;
        }
        if (n != raw_read_failed) {
            got = size_t(from - offset) + (n > 0 ? size_t(n) : 0);
            mark_lost();
            return piece_t::lost;
        }
        std::memset(into, 0, size_t(to - from));
        if (is_known_bad) continue;
        add_bad(sector);
        // A long run of failures may be the card leaving in the middle of it.
        if (++failures % failures_between_checks == 0 && is_device_gone(offset, end)) {
            got = size_t(to - offset);
            mark_lost();
            return piece_t::lost;
        }
    }
    got = len;
    return piece_t::read;
}

// Reads a sector the device has given before (or, before any, its last sector when that lies
// outside the failing piece): when that fails too, the card is no longer there.
bool device_source_c::is_device_gone(uint64_t offset, uint64_t end) {
    uint64_t probe;
    {
        std::lock_guard lock(mutex_);
        probe = last_good_;
    }
    if (probe == ~uint64_t(0)) {
        probe = (size_ - 1) / sector_size;
        if (probe * sector_size < end && (probe + 1) * sector_size > offset) return false;
    }
    aligned_buffer_c buffer(sector_size);
    size_t want = size_t(std::min<uint64_t>(sector_size, size_ - probe * sector_size));
    return reader_->read_raw(probe * sector_size, buffer.data(), want) != int64_t(want);
}

uint64_t device_source_c::bad_end_at(uint64_t sector, uint64_t& next_bad) const {
    auto after = bad_.upper_bound(sector);
    next_bad = after == bad_.end() ? ~uint64_t(0) : after->first;
    if (after == bad_.begin()) return 0;
    auto range = std::prev(after);
    return range->second > sector ? range->second : 0;
}

void device_source_c::add_bad(uint64_t sector) {
    std::lock_guard lock(mutex_);
    uint64_t next_bad = 0;
    if (bad_end_at(sector, next_bad)) return;
    ++unreadable_;
    auto after = bad_.upper_bound(sector);
    auto before = after == bad_.begin() ? bad_.end() : std::prev(after);
    bool joins_before = before != bad_.end() && before->second == sector;
    bool joins_after = after != bad_.end() && after->first == sector + 1;
    if (joins_before && joins_after) {
        before->second = after->second;
        bad_.erase(after);
    } else if (joins_before) {
        before->second = sector + 1;
    } else if (joins_after) {
        uint64_t range_end = after->second;
        bad_.erase(after);
        bad_.emplace(sector, range_end);
    } else if (bad_.size() < max_bad_ranges) {
        bad_.emplace(sector, sector + 1);
    }
}

void device_source_c::note_good(uint64_t sector) {
    std::lock_guard lock(mutex_);
    last_good_ = sector;
}

void device_source_c::mark_lost() {
    std::lock_guard lock(mutex_);
    is_lost_ = true;
}

uint64_t device_source_c::unreadable_sectors() const {
    std::lock_guard lock(mutex_);
    return unreadable_;
}

bool device_source_c::has_unreadable(uint64_t offset, uint64_t len) const {
    if (len == 0) return false;
    std::lock_guard lock(mutex_);
    auto after = bad_.upper_bound((offset + len - 1) / sector_size);
    return after != bad_.begin() && std::prev(after)->second > offset / sector_size;
}

bool device_source_c::is_lost() const {
    std::lock_guard lock(mutex_);
    return is_lost_;
}

}  // namespace ember
