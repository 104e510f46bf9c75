#include "carve_input.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"

namespace ember {
namespace {

// A window of 1 MiB keeps a frame walk to one device read per megabyte; the window starts on a
// 512-byte boundary so that device reads stay sector-aligned. A read that jumps away from the
// window (an IFD or box offset, a candidate's first look past the bytes at hand) fetches only
// first_load bytes; reads that go on from the window double it up to its capacity. So a check
// costs about what it looks at, not a megabyte for every candidate or jump.
constexpr size_t window_capacity = 1024 * 1024;
constexpr size_t first_load = 16 * 1024;
constexpr uint64_t sector_mask = ~uint64_t(511);

}  // namespace

std::span<const uint8_t> jump_cache_c::find(uint64_t offset, size_t need) const {
    for (const entry_t& e : entries_)
        if (offset >= e.offset && offset - e.offset < e.bytes.size() && e.bytes.size() - (offset - e.offset) >= need)
            return std::span<const uint8_t>(e.bytes).subspan(size_t(offset - e.offset));
    return {};
}

void jump_cache_c::keep(uint64_t offset, const uint8_t* bytes, size_t n) {
    entry_t& e = entries_[next_];
    next_ = (next_ + 1) % std::size(entries_);
    e.offset = offset;
    e.bytes.assign(bytes, bytes + n);
}

size_t memory_source_c::read_at(uint64_t offset, uint8_t* buf, size_t len) {
    if (offset >= bytes_.size()) return 0;
    size_t n = size_t(std::min<uint64_t>(len, bytes_.size() - offset));
    std::memcpy(buf, bytes_.data() + offset, n);
    return n;
}

carve_input_c::carve_input_c(byte_source_i& source, uint64_t start)
    : source_(&source), start_(start) {
    uint64_t total = source.size();
    size_ = start < total ? total - start : 0;
    if (const uint8_t* whole = source.contiguous()) memory_ = whole + start;
}

carve_input_c::carve_input_c(byte_source_i& source, uint64_t start, std::span<const uint8_t> resident)
    : carve_input_c(source, start) {
    resident_ = resident.first(size_t(std::min<uint64_t>(resident.size(), size_)));
}

carve_input_c::carve_input_c(std::span<const uint8_t> bytes)
    : size_(bytes.size()), memory_(bytes.data()) {}

bool carve_input_c::load(uint64_t offset, size_t want) {
    if (offset >= window_offset_ && offset - window_offset_ + want <= window_size_) return true;
    if (!source_) return false;
    uint64_t first = offset & sector_mask;
    const bool goes_on = window_size_ && first >= window_offset_ && first <= window_offset_ + window_size_;
    load_size_ = goes_on ? std::min(window_capacity, std::max(first_load, 2 * load_size_)) : first_load;
    size_t need = size_t(offset - first) + want;
    size_t count = size_t(std::min<uint64_t>(std::max(load_size_, (need + 511) & ~size_t(511)), size_ - first));
    if (window_.size() < count) {
        window_.clear();
        window_.resize(std::max(count, std::min(window_.capacity(), window_capacity)));
    }
    window_offset_ = first;
    if (!goes_on && jumps_) {
        std::span<const uint8_t> kept = jumps_->find(start_ + first, need);
        if (!kept.empty()) {
            window_size_ = std::min(count, kept.size());
            std::memcpy(window_.data(), kept.data(), window_size_);
            return true;
        }
    }
    window_size_ = source_->read_at(start_ + first, window_.data(), count);
    if (!goes_on && jumps_) jumps_->keep(start_ + first, window_.data(), window_size_);
    return offset - window_offset_ + want <= window_size_;
}

const uint8_t* carve_input_c::at(uint64_t offset, size_t n) {
    if (n > max_span || offset > size_ || n > size_ - offset) return nullptr;
    if (memory_) return memory_ + offset;
    if (offset + n <= resident_.size()) return resident_.data() + offset;
    if (!load(offset, n)) return nullptr;
    return window_.data() + (offset - window_offset_);
}

std::span<const uint8_t> carve_input_c::run(uint64_t offset) {
    if (offset >= size_) return {};
    size_t want = size_t(std::min<uint64_t>(max_span, size_ - offset));
    if (memory_) return {memory_ + offset, size_t(size_ - offset)};
    if (offset < resident_.size() && resident_.size() - offset >= want)
        return resident_.subspan(size_t(offset));
    if (!load(offset, want)) return {};
    return {window_.data() + (offset - window_offset_), window_size_ - size_t(offset - window_offset_)};
}

const uint8_t* carve_input_c::before(size_t n) {
    if (!source_ || n == 0 || n > max_span || n % 512 != 0 || start_ < n) return nullptr;
    if (memory_) return memory_ - n;
    before_.resize(n);
    return source_->read_at(start_ - n, before_.data(), n) == n ? before_.data() : nullptr;
}

bool carve_input_c::le16(uint64_t offset, uint16_t& v) {
    const uint8_t* p = at(offset, 2);
    if (p) v = load_le16(p);
    return p != nullptr;
}
bool carve_input_c::be16(uint64_t offset, uint16_t& v) {
    const uint8_t* p = at(offset, 2);
    if (p) v = load_be16(p);
    return p != nullptr;
}
bool carve_input_c::le32(uint64_t offset, uint32_t& v) {
    const uint8_t* p = at(offset, 4);
    if (p) v = load_le32(p);
    return p != nullptr;
}
bool carve_input_c::be32(uint64_t offset, uint32_t& v) {
    const uint8_t* p = at(offset, 4);
    if (p) v = load_be32(p);
    return p != nullptr;
}
bool carve_input_c::le64(uint64_t offset, uint64_t& v) {
    const uint8_t* p = at(offset, 8);
    if (p) v = load_le64(p);
    return p != nullptr;
}
bool carve_input_c::be64(uint64_t offset, uint64_t& v) {
    const uint8_t* p = at(offset, 8);
    if (p) v = load_be64(p);
    return p != nullptr;
}

}  // namespace ember
