#include "jpeg_entropy_check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/byte_order.h"
#include "core/carve_input.h"
#include "jpeg_block_reader.h"

namespace ember::fs {
namespace {

constexpr int max_segments = 256;
constexpr int max_end_slack = 16;
constexpr int fast_bits = 9;

bool is_rst(int marker) { return marker >= 0xD0 && marker <= 0xD7; }

}  // namespace

bool jpeg_entropy_check_c::read_table(table_t* dc, table_t* ac, const uint8_t* s, size_t size) {
    size_t at = 0;
    while (at < size) {
        if (size - at < 17) return false;
        uint8_t kind = s[at] >> 4, id = s[at] & 15;
        if (kind > 1 || id > 3) return false;
        table_t& t = kind == 0 ? dc[id] : ac[id];
        t = {};
        int total = 0;
        for (int l = 1; l <= 16; ++l) total += s[at + l];
        if (total > 256 || size - at - 17 < size_t(total)) return false;
        std::memcpy(t.values, s + at + 17, size_t(total));
        int32_t code = 0, index = 0;
        for (int l = 1; l <= 16; ++l) {
            int n = s[at + l];
            t.offset[l] = index - code;
            t.max_code_ok[l] = n ? 1 : 0;
            t.max_code[l] = uint16_t(code + n - 1);
            if (code + n > (1 << l)) return false;  // more codes than the length allows
            for (int k = 0; l <= fast_bits && k < n; ++k) {
                int first = (code + k) << (fast_bits - l);
                for (int f = first; f < first + (1 << (fast_bits - l)); ++f)
                    t.fast[f] = uint16_t(l << 8 | t.values[index + k]);
            }
            index += n;
            code += n;
            code <<= 1;
        }
        t.present = true;
        at += 17 + size_t(total);
    }
    return true;
}

bool jpeg_entropy_check_c::start(byte_source_i& file) {
    carve_input_c in(file, 0);
    uint16_t soi;
    if (!in.be16(0, soi) || soi != 0xFFD8) return false;
    uint64_t pos = 2;
    int width = 0, height = 0;
    bool saw_frame = false;
    for (int n = 0; n < max_segments; ++n) {
        const uint8_t* m = in.at(pos, 4);
        if (!m || m[0] != 0xFF) return false;
        if (m[1] == 0xFF) {
            ++pos;
            continue;
        }
        uint8_t marker = m[1];
        uint16_t length = load_be16(m + 2);
        if (length < 2) return false;
        const uint8_t* body = in.at(pos + 4, length - 2u);
        if (!body) return false;
        size_t size = length - 2u;
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            if (saw_frame || size < 6) return false;
            is_progressive_ = marker == 0xC2;
            precision_ = body[0];
            height = load_be16(body + 1);
            width = load_be16(body + 3);
            comp_count_ = body[5];
            if ((precision_ != 8 && precision_ != 12) || width == 0 || height == 0 || comp_count_ < 1 ||
                comp_count_ > 4 || size != 6 + 3u * comp_count_)
                return false;
            for (int i = 0; i < comp_count_; ++i) {
                comps_[i].id = body[6 + 3 * i];
                comps_[i].h = body[7 + 3 * i] >> 4;
                comps_[i].v = body[7 + 3 * i] & 15;
                if (comps_[i].h < 1 || comps_[i].h > 4 || comps_[i].v < 1 || comps_[i].v > 4) return false;
            }
            saw_frame = true;
            width_ = width;
            height_ = height;
        } else if ((marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)) {
            return false;  // progressive, lossless or arithmetic-coded
        } else if (marker == 0xC4) {
            if (!read_table(dc_, ac_, body, size)) return false;
        } else if (marker == 0xDD) {
            if (size != 2) return false;
            restart_interval_ = load_be16(body);
        } else if (marker == 0xDA && is_progressive_) {
            // Each scan's header is read as the data is decoded: it starts here.
            if (!saw_frame) return false;
            int hmax = 1, vmax = 1;
            for (int i = 0; i < comp_count_; ++i) {
                hmax = std::max<int>(hmax, comps_[i].h);
                vmax = std::max<int>(vmax, comps_[i].v);
            }
            mcus_ = uint32_t((width + 8 * hmax - 1) / (8 * hmax)) * uint32_t((height + 8 * vmax - 1) / (8 * vmax));
            first_ = {};
            first_.pos = pos;
            return true;
        } else if (marker == 0xDA) {
            if (!saw_frame || size < 1 || body[0] != comp_count_ || size != 4 + 2u * comp_count_) return false;
            int hmax = 1, vmax = 1;
            int blocks = 0;
            for (int i = 0; i < comp_count_; ++i) {
                if (body[1 + 2 * i] != comps_[i].id) return false;
                comps_[i].dc = body[2 + 2 * i] >> 4;
                comps_[i].ac = body[2 + 2 * i] & 15;
                if (comps_[i].dc > 3 || comps_[i].ac > 3 || !dc_[comps_[i].dc].present || !ac_[comps_[i].ac].present)
                    return false;
                hmax = std::max<int>(hmax, comps_[i].h);
                vmax = std::max<int>(vmax, comps_[i].v);
                blocks += comps_[i].h * comps_[i].v;
            }
            if (comp_count_ == 1) {
                // A single-component scan codes one block per MCU, whatever its sampling.
                comps_[0].h = comps_[0].v = 1;
                hmax = vmax = 1;
            } else if (blocks > 10) {
                return false;
            }
            uint32_t across = uint32_t((width + 8 * hmax - 1) / (8 * hmax));
            uint32_t down = uint32_t((height + 8 * vmax - 1) / (8 * vmax));
            mcus_ = across * down;
            first_ = {};
            first_.pos = pos + 2 + length;
            first_.to_restart = restart_interval_;
            return true;
        }
        pos += 2 + length;
    }
    return false;
}

jpeg_entropy_check_c::result_t jpeg_entropy_check_c::run(byte_source_i& file, state_t st, uint64_t* end,
                                                         std::vector<state_t>* checkpoints, uint64_t every,
                                                         uint64_t limit) const {
    if (is_progressive_) return st.pos == first_.pos ? run_progressive(file, end, limit) : result_t::unsupported;
    block_reader_c in(file);
    bool at_marker = false;  // the next byte in the data is a marker: no more bits until it is read
    uint64_t next_checkpoint = every ? (st.pos / every + 1) * every : ~0ull;
    state_t boundary = st;  // the last MCU boundary
    auto fail = [&] {
        if (end) *end = st.pos;
        return result_t::error;
    };
    // Fills the bit buffer to at least n bits; false at a marker or the end of the data.
    auto need = [&](int n) {
        while (st.bit_count < n) {
            if (at_marker) return false;
            int b = in.at(st.pos);
            if (b < 0) return false;
            if (b == 0xFF) {
                int next = in.at(st.pos + 1);
                if (next != 0x00) {
                    at_marker = true;
                    return false;
                }
                st.pos += 2;
            } else {
                st.pos += 1;
            }
            st.bits = st.bits << 8 | uint64_t(b);
            st.bit_count += 8;
        }
        return true;
    };
    auto take = [&](int n) {
        st.bit_count -= n;
        return int((st.bits >> st.bit_count) & ((1u << n) - 1));
    };
    auto decode = [&](const table_t& t) -> int {
        // Most codes are short: looked up by the next bits when they are there, else bit by bit.
        if (need(fast_bits)) {
            uint16_t f = t.fast[(st.bits >> (st.bit_count - fast_bits)) & ((1u << fast_bits) - 1)];
            if (f) {
                st.bit_count -= f >> 8;
                return f & 0xFF;
            }
        }
        int code = 0;
        for (int l = 1; l <= 16; ++l) {
            if (!need(1)) return -1;
            code = code << 1 | take(1);
            if (t.max_code_ok[l] && code <= t.max_code[l]) {
                int index = t.offset[l] + code;
                return index >= 0 && index < 256 ? t.values[index] : -1;
            }
        }
        return -1;
    };
    auto extend = [](int v, int s) { return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v; };
    const int dc_limit = precision_ == 8 ? 2048 : 32768;
    const int max_dc_bits = precision_ == 8 ? 11 : 15, max_ac_bits = precision_ == 8 ? 10 : 14;
    // Where a marker must follow: the bits left are the encoder's padding (fewer than 8, all
    // ones) and the next byte is the marker's FF. Before EOI some cameras (old Sony and HP
    // models) pad with zeros or leave a byte or two, so there any padding up to `slack` whole
    // bytes is let through.
    auto read_marker = [&](int slack) -> int {
        for (int extra = 0; !at_marker; ++extra) {
            if (extra > slack || (slack == 0 && st.bit_count >= 8)) return -1;
            if (need(st.bit_count + 8)) {
                if (slack == 0) return -1;
                st.bit_count -= 8;
            }
            if (!at_marker && in.at(st.pos) < 0) return -1;
        }
        int pad = st.bit_count % 8;
        if (slack == 0 && pad && take(pad) != (1 << pad) - 1) return -1;
        st.bits = 0;
        st.bit_count = 0;
        uint64_t p = st.pos;
        int m = in.at(p + 1);
        while (m == 0xFF) m = in.at(++p + 1);  // fill bytes
        st.pos = p + 2;
        at_marker = false;
        return m;
    };
    while (st.mcu < mcus_) {
        if (restart_interval_ && st.to_restart == 0) {
            int m = read_marker(0);
            if (!is_rst(m) || m - 0xD0 != st.next_restart) return fail();
            st.next_restart = uint8_t((st.next_restart + 1) & 7);
            st.to_restart = restart_interval_;
            std::memset(st.pred, 0, sizeof st.pred);
        }
        // For each multiple of `every` the decoding passed, the last MCU boundary before it.
        for (; checkpoints && st.pos > next_checkpoint; next_checkpoint += every) checkpoints->push_back(boundary);
        if (st.pos >= limit) {
            if (end) *end = st.pos;
            return result_t::unfinished;
        }
        boundary = st;
        for (int c = 0; c < comp_count_; ++c) {
            const component_t& comp = comps_[c];
            for (int b = 0; b < comp.h * comp.v; ++b) {
                int s = decode(dc_[comp.dc]);
                if (s < 0 || s > max_dc_bits) return fail();
                if (s) {
                    if (!need(s)) return fail();
                    st.pred[c] += extend(take(s), s);
                }
                if (st.pred[c] >= dc_limit || st.pred[c] < -dc_limit) return fail();
                for (int k = 1; k < 64;) {
                    int rs = decode(ac_[comp.ac]);
                    if (rs < 0) return fail();
                    int r = rs >> 4, size = rs & 15;
                    if (size == 0) {
                        if (r != 15) break;  // end of block
                        k += 16;
                        if (k > 63) return fail();
                        continue;
                    }
                    k += r;
                    if (k > 63 || size > max_ac_bits || !need(size)) return fail();
                    take(size);
                    ++k;
                }
            }
        }
        ++st.mcu;
        if (restart_interval_) --st.to_restart;
    }
    int m = read_marker(max_end_slack);
    if (m != 0xD9) return fail();
    if (end) *end = st.pos;
    return result_t::complete;
}

}  // namespace ember::fs
