// The bits of a JPEG's entropy-coded data for the walk (jpeg_entropy_check.h), most significant
// first: a 64-bit buffer filled 8 bytes at a time where those bytes hold no FF (no stuffed byte,
// no marker), else a byte at a time, undoing the FF 00 stuffing and stopping at a marker.
//
// Positions and resumable states are told as a reader that fetched a byte only when a request
// needed it would tell them (the walk asks for 9 bits of lookahead before each code), whatever
// the buffer holds beyond: where a decode fails, where it is unfinished and the states it saves
// do not depend on how far ahead the buffer happens to read.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/byte_order.h"
#include "jpeg_block_reader.h"

namespace ember::fs {

class entropy_bits_c {
public:
    // The lookahead the walk asks for before each code.
    static constexpr int lookahead = 9;

    // What a reader that fetched only what was asked for holds: the next byte to read and the
    // bits read but not used (the low `count` of `bits`).
    struct held_t {
        uint64_t pos = 0;
        uint64_t bits = 0;
        int count = 0;
    };
    // The part of the reading a decoding loop keeps in registers: the bits not used yet, from
    // the top, how many, and the next bytes in hand (fast_end is the last place 8 can be
    // loaded from; before `next` when there is none).
    struct hot_t {
        uint64_t buf = 0;
        int count = 0;
        const uint8_t* next = nullptr;
        const uint8_t* fast_end = nullptr;
    };

    explicit entropy_bits_c(byte_source_i& file) : in_(file) {}

    // Starts at pos holding `count` bits (the low ones of `bits`) read from before it.
    void start(uint64_t pos, uint64_t bits, int count) {
        count = std::clamp(count, 0, 32);
        h_ = {count ? bits << (64 - count) : 0, count, no_bytes + 1, no_bytes};
        window_pos_ = start_pos_ = pos;
        window_ = h_.next;
        start_count_ = count;
        pairs_ = 0;
        want_ = 0;
        is_at_marker_ = is_at_end_ = false;
    }
    const hot_t& hot() const { return h_; }
    void set_hot(const hot_t& h) { h_ = h; }

    // Up to 8 bytes into the buffer when they hold no FF: then true, with at least 56 bits.
    static bool fill_fast(uint64_t& buf, int& count, const uint8_t*& next, const uint8_t* fast_end) {
        if (next > fast_end) return false;
        const uint64_t v = load_be64(next);
        const uint64_t x = ~v;  // a zero byte where v has FF
        if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0) return false;
        const int bytes = (63 - count) >> 3;
        // The bits of the byte after those taken are ORed in again, the same, next time.
        buf |= v >> count;
        count += 8 * bytes;
        next += bytes;
        return true;
    }
    // A byte at a time, up to a marker or the end of the data; then back to 8 at a time.
    void fill();

    // The reading through the reader itself, for the less travelled paths.
    int count() const { return h_.count; }
    // The next n bits (1 to 32); those past count() are filler.
    uint32_t peek(int n) const { return uint32_t(h_.buf >> (64 - n)); }
    void drop(int n) {  // n <= count()
        h_.buf <<= n;
        h_.count -= n;
    }
    int take(int n) {
        const uint32_t v = peek(n);
        drop(n);
        return int(v);
    }
    void refill() {
        if (h_.count < 32 && !fill_fast(h_.buf, h_.count, h_.next, h_.fast_end)) fill();
    }
    // Asks for n bits (up to 32) as the byte-at-a-time reader would: true when they are there.
    bool need(int n) {
        ask(n);
        if (h_.count < n) refill();
        return h_.count >= n;
    }
    // Notes a request for n bits from here without reading them.
    void ask(int n) { want_ = std::max(want_, used() + uint64_t(n)); }

    held_t held() const;
    uint64_t pos() const { return held().pos; }
    int byte(uint64_t at) { return in_.at(at); }

    // The marker that must follow the data: the bits left are the encoder's padding (fewer than
    // 8, all ones). With slack, up to that many whole bytes of other padding are let through
    // (some cameras pad before EOI). The position is then just past the marker; -1 when none,
    // with the position where the reading stopped.
    int read_marker(int slack);

private:
    static constexpr int kept_pairs = 8;  // FF 00 pairs remembered: 8 fit in the buffer
    static inline const uint8_t no_bytes[9] = {};

    uint64_t next_pos() const { return window_pos_ + uint64_t(h_.next - window_); }
    uint64_t fetched() const { return next_pos() - start_pos_ - pairs_; }
    uint64_t used() const { return uint64_t(start_count_) + 8 * fetched() - uint64_t(h_.count); }

    block_reader_c in_;
    hot_t h_;
    const uint8_t* window_ = nullptr;  // the byte at window_pos_ in hand, where h_.next points
    uint64_t window_pos_ = 0;
    uint64_t start_pos_ = 0;
    int start_count_ = 0;
    uint64_t pairs_ = 0;                 // FF 00 pairs fetched since start
    uint64_t pair_at_[kept_pairs] = {};  // where the last ones were
    uint64_t want_ = 0;                  // the bits from start any request reached
    bool is_at_marker_ = false, is_at_end_ = false;
};

// The data bytes fetched past what the requests needed are given back, FF 00 pairs as two bytes.
inline entropy_bits_c::held_t entropy_bits_c::held() const {
    const uint64_t fetched = this->fetched();
    uint64_t needed = want_ <= uint64_t(start_count_) ? 0 : (want_ - uint64_t(start_count_) + 7) / 8;
    needed = std::min(needed, fetched);
    uint64_t back = fetched - needed;
    held_t h;
    h.pos = next_pos();
    if (back > 8 || int(8 * back) > h_.count) back = 0;  // cannot be: the requests reach the bits in use
    for (uint64_t i = 0; i < back; ++i) {
        bool is_pair = false;
        for (uint64_t k = 0; k < kept_pairs && k < pairs_; ++k)
            is_pair = is_pair || pair_at_[(pairs_ - 1 - k) % kept_pairs] == h.pos - 2;
        h.pos -= is_pair ? 2 : 1;
    }
    h.count = std::max(h_.count - int(8 * back), 0);  // below zero once a decode ran past the data
    h.bits = h.count ? h_.buf >> (64 - h.count) : 0;
    return h;
}

inline void entropy_bits_c::fill() {
    if (is_at_marker_ || is_at_end_) return;
    uint64_t pos = next_pos();
    while (h_.count <= 56) {
        const int b = in_.at(pos);
        if (b < 0) {
            is_at_end_ = true;
            break;
        }
        if (b == 0xFF) {
            if (in_.at(pos + 1) != 0x00) {
                is_at_marker_ = true;
                break;
            }
            pair_at_[pairs_++ % kept_pairs] = pos;
            pos += 2;
        } else {
            pos += 1;
        }
        h_.buf |= uint64_t(b) << (56 - h_.count);
        h_.count += 8;
        // Back to 8 bytes at a time as soon as they hold no FF.
        size_t n = 0;
        const uint8_t* at = in_.held(pos, &n);
        if (n >= 8 && h_.count < 32) {
            const uint64_t x = ~load_be64(at);
            if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0) break;
        }
    }
    // The bytes in hand from pos on become the window the fast path reads.
    size_t n = 0;
    const uint8_t* at = in_.held(pos, &n);
    window_pos_ = pos;
    if (at) {
        window_ = h_.next = at;
        h_.fast_end = n >= 8 ? at + (n - 8) : at - 1;
        if (n < 8) {
            window_ = h_.next = no_bytes + 1;
            h_.fast_end = no_bytes;
        }
    } else {
        window_ = h_.next = no_bytes + 1;
        h_.fast_end = no_bytes;
    }
    if (h_.count < 32) fill_fast(h_.buf, h_.count, h_.next, h_.fast_end);
}

inline int entropy_bits_c::read_marker(int slack) {
    held_t h = held();
    uint64_t pos = h.pos, bits = h.bits;
    int count = h.count;
    // A byte at a time from here, as the requests left it (a marker met is met again): this runs
    // once a restart interval.
    bool is_at_marker = false;
    auto need = [&](int n) {
        while (count < n) {
            if (is_at_marker) return false;
            int b = in_.at(pos);
            if (b < 0) return false;
            if (b == 0xFF) {
                if (in_.at(pos + 1) != 0x00) {
                    is_at_marker = true;
                    return false;
                }
                pos += 2;
            } else {
                pos += 1;
            }
            bits = bits << 8 | uint64_t(b);
            count += 8;
        }
        return true;
    };
    auto stop = [&] {
        start(pos, bits, count);
        return -1;
    };
    for (int extra = 0; !is_at_marker; ++extra) {
        if (extra > slack || (slack == 0 && count >= 8)) return stop();
        if (need(count + 8)) {
            if (slack == 0) return stop();
            count -= 8;
        }
        if (!is_at_marker && in_.at(pos) < 0) return stop();
    }
    const int pad = count % 8;
    if (slack == 0 && pad && ((bits >> (count - pad)) & ((1u << pad) - 1)) != (1u << pad) - 1) {
        count -= pad;
        return stop();
    }
    uint64_t p = pos;
    int m = in_.at(p + 1);
    while (m == 0xFF) m = in_.at(++p + 1);  // fill bytes
    start(p + 2, 0, 0);
    return m;
}

}  // namespace ember::fs
