// Decodes the Huffman-coded data of a baseline, extended sequential or progressive JPEG (no
// inverse DCT: only whether the bits are a valid picture), so that a join of two fragments can be
// told from data that merely has no bad markers. Errors are codes missing from a table, a block of
// more than 64 coefficients, DC values beyond the sample precision, restart markers out of
// sequence, and an end of image before the last MCU or after it. A progressive file is decoded
// scan by scan, with the segments between its scans, and is complete only when every coefficient
// of every component has been coded and EOI follows the last scan. Lossless and arithmetic-coded
// files are not handled.
#pragma once

#include <cstdint>
#include <vector>

#include "core/byte_source.h"

namespace ember::fs {

class entropy_bits_c;

class jpeg_entropy_check_c {
public:
    // Where decoding stands, resumable on other bytes that share everything before `pos`.
    struct state_t {
        uint64_t pos = 0;        // the next byte to read
        uint64_t bits = 0;       // bits read but not used, most significant first
        int bit_count = 0;
        uint32_t mcu = 0;        // MCUs decoded
        uint32_t to_restart = 0; // MCUs left in the restart interval
        uint8_t next_restart = 0;
        int pred[4] = {};
    };
    enum class result_t { complete, error, unsupported, unfinished };

    // Reads the headers of the JPEG at the start of `file`. False when it is not one this
    // checker handles (lossless, arithmetic-coded, damaged tables).
    bool start(byte_source_i& file);
    const state_t& first_state() const { return first_; }
    // A progressive file is decoded from its first state only (run gives unsupported from any
    // other), and no checkpoints are kept: a scan's refinement depends on every scan before it.
    bool is_progressive() const { return is_progressive_; }

    // Decodes from `from` on `file`. complete: every MCU decoded and EOI right after, at
    // *end (the byte after EOI). error: *end is where it failed. Every `every` bytes of input
    // the state at an MCU boundary is appended to `checkpoints` (when given). unfinished: no
    // error up to the first MCU boundary at or past `limit`, where decoding stopped (*end).
    result_t run(byte_source_i& file, state_t from, uint64_t* end, std::vector<state_t>* checkpoints = nullptr,
                 uint64_t every = 0, uint64_t limit = ~uint64_t(0)) const;

private:
    struct table_t {
        uint16_t max_code[18] = {};
        int32_t offset[17] = {};
        int32_t max_code_ok[18] = {};
        uint8_t values[256] = {};
        // The codes of up to 10 bits (fast_bits), by the next 10 bits: length << 8 | value; 0
        // for a longer code or none.
        uint16_t fast[1 << 10] = {};
        // The same codes as the walk of a sequential scan's AC data uses them: the bits of code
        // and coefficient together (byte 0), how far the coefficient index moves (byte 1; 0 for
        // an end of block) and the last index it may move from (byte 2); 0 where the general
        // decode is needed (a longer code, none, or a coefficient of more than 10 bits).
        uint32_t ac_walk[1 << 10] = {};
        bool present = false;
    };
    struct component_t {
        uint8_t id = 0, h = 1, v = 1, dc = 0, ac = 0;
    };
    static constexpr int fast_bits = 10;
    static bool read_table(table_t* dc, table_t* ac, const uint8_t* body, size_t size);
    // A code longer than fast_bits (or none): its value, and its length in *len; -1 when the
    // bits are no code of t or run out.
    static int decode_long(entropy_bits_c& in, const table_t& t, int* len);
    result_t run_progressive(byte_source_i& file, uint64_t* end, uint64_t limit) const;

    table_t dc_[4], ac_[4];
    component_t comps_[4];
    int comp_count_ = 0;
    uint32_t mcus_ = 0;
    uint32_t restart_interval_ = 0;
    int precision_ = 8;
    int width_ = 0, height_ = 0;
    bool is_progressive_ = false;
    state_t first_;
};

}  // namespace ember::fs
