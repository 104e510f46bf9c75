// What a format's carver sees of a candidate: the source from the candidate's first byte to the
// end of the source, read through a window so that a carver may jump (box and IFD walks) or scan
// (entropy-coded data, frame walks) without ever holding the whole file.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "byte_source.h"
#include "find_layout.h"

namespace ember {

// Bytes that jumps of earlier carves fetched, kept for the carves of the candidates after them:
// a run of headers on consecutive sectors whose offsets point to about the same far place reads
// it once, not once a header. The card does not change during a scan, so what was read holds.
class jump_cache_c {
public:
    // The bytes from `offset` (on the source) on that an entry holds, empty when none does.
    std::span<const uint8_t> find(uint64_t offset, size_t need) const;
    void keep(uint64_t offset, const uint8_t* bytes, size_t n);

private:
    struct entry_t {
        uint64_t offset = 0;
        std::vector<uint8_t> bytes;
    };
    entry_t entries_[4];
    size_t next_ = 0;
};

class carve_input_c {
public:
    // The largest block at() hands out in one piece.
    static constexpr size_t max_span = 64 * 1024;

    // Sees `source` from `start` (a multiple of 512) to its end.
    carve_input_c(byte_source_i& source, uint64_t start);
    // As above, with the bytes from `start` on that the caller already holds in memory (the
    // scan's current chunk): reads inside them need no device read. They must outlive this.
    carve_input_c(byte_source_i& source, uint64_t start, std::span<const uint8_t> resident);
    // Sees `bytes` (tests and fuzzers); no copy.
    explicit carve_input_c(std::span<const uint8_t> bytes);

    carve_input_c(const carve_input_c&) = delete;
    carve_input_c& operator=(const carve_input_c&) = delete;

    // Bytes from the candidate start to the end of the source.
    uint64_t size() const { return size_; }

    // n bytes at offset (relative to the candidate start), valid until the next call; nullptr
    // when any of them lies past the end, or n > max_span.
    const uint8_t* at(uint64_t offset, size_t n);

    // The bytes from offset on that are at hand in one piece: min(max_span, size() - offset) of
    // them at least; empty at or past the end. For linear scans.
    std::span<const uint8_t> run(uint64_t offset);

    // The n bytes just before the candidate start (n a multiple of 512, at most max_span), for
    // carvers that tell the start of a stream from a place in its middle; nullptr when the
    // candidate starts less than n bytes into the source, and for plain byte spans.
    const uint8_t* before(size_t n);

    // Typed loads; false (and v untouched) past the end.
    bool le16(uint64_t offset, uint16_t& v);
    bool be16(uint64_t offset, uint16_t& v);
    bool le32(uint64_t offset, uint32_t& v);
    bool be32(uint64_t offset, uint32_t& v);
    bool le64(uint64_t offset, uint64_t& v);
    bool be64(uint64_t offset, uint64_t& v);

    // Lets jumps use and fill `cache` (which must outlive this).
    void share_jumps(jump_cache_c* cache) { jumps_ = cache; }

    // Whether offset lies near the candidate's start: in the bytes the caller held, or in the
    // first 64 KiB. Reads further away are jumps across the card.
    bool is_near(uint64_t offset) const { return offset < std::max<uint64_t>(resident_.size(), 64 * 1024); }

    // Where the carver records the payload and embedded starts it accounts for (find_layout.h);
    // the scan takes it over when the carve gives a file.
    find_layout_c& layout() { return layout_; }

private:
    bool load(uint64_t offset, size_t want);

    byte_source_i* source_ = nullptr;
    uint64_t start_ = 0;
    uint64_t size_ = 0;
    const uint8_t* memory_ = nullptr;  // the whole candidate when the source is one block
    std::span<const uint8_t> resident_;  // the first bytes of the candidate, already in memory
    std::vector<uint8_t> window_;
    std::vector<uint8_t> before_;
    uint64_t window_offset_ = 0;       // relative to start_
    size_t window_size_ = 0;
    size_t load_size_ = 0;             // of the last load
    jump_cache_c* jumps_ = nullptr;
    find_layout_c layout_;
};

}  // namespace ember
