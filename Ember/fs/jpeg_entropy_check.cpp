#include "jpeg_entropy_check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/byte_order.h"
#include "core/carve_input.h"
#include "jpeg_bit_reader.h"

namespace ember::fs {
namespace {

constexpr int max_segments = 256;
constexpr int max_end_slack = 16;

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
                const int rs = t.values[index + k], run = rs >> 4, bits = rs & 15;
                // A coefficient may end at the 63rd, a run of 16 zeros only before it.
                const uint32_t walk = rs == 0x00   ? uint32_t(l)
                                      : rs == 0xF0 ? uint32_t(47 << 16 | 16 << 8 | l)
                                      : bits == 0 || bits > 10
                                          ? 0
                                          : uint32_t((63 - run) << 16 | (run + 1) << 8 | (l + bits));
                for (int f = first; f < first + (1 << (fast_bits - l)); ++f) {
                    t.fast[f] = uint16_t(l << 8 | rs);
                    t.ac_walk[f] = walk;
                }
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

int jpeg_entropy_check_c::decode_long(entropy_bits_c& in, const table_t& t, int* len) {
    // The codes of up to fast_bits bits are all in t.fast: a longer one is looked for by length.
    for (int l = fast_bits + 1; l <= 16; ++l) {
        if (l > in.count()) {
            in.ask(64);  // the data ran out: all of it was read
            return -1;
        }
        const int code = int(in.peek(l));
        if (t.max_code_ok[l] && code <= t.max_code[l]) {
            const int index = t.offset[l] + code;
            *len = l;
            if (index >= 0 && index < 256) return t.values[index];
            in.ask(l);
            return -1;
        }
    }
    in.ask(16);
    return -1;
}

jpeg_entropy_check_c::result_t jpeg_entropy_check_c::run(byte_source_i& file, state_t st, uint64_t* end,
                                                         std::vector<state_t>* checkpoints, uint64_t every,
                                                         uint64_t limit) const {
    if (is_progressive_) {
        if (st.pos != first_.pos) return result_t::unsupported;
        const result_t result = run_progressive(file, end, limit);
        if (result == result_t::error && end) *end = std::min<uint64_t>(*end, file.size());
        return result;
    }
    entropy_bits_c in(file);
    in.start(st.pos, st.bits, st.bit_count);
    constexpr int ahead = entropy_bits_c::lookahead;
    // A decode that asked for bytes past the data's end failed at that end.
    auto fail = [&] {
        if (end) *end = std::min<uint64_t>(in.pos(), file.size());
        return result_t::error;
    };
    const int dc_limit = precision_ == 8 ? 2048 : 32768;
    const int max_dc_bits = precision_ == 8 ? 11 : 15, max_ac_bits = precision_ == 8 ? 10 : 14;

    // One block: its DC difference, then AC codes up to the end of block or the 63rd
    // coefficient. Each code and the extra bits after it are used in one step. The buffer is
    // kept in locals between refills; the reader gets it back before anything else reads it,
    // and on an error it is told how far the decode asked to read.
    uint64_t buf = 0;
    int count = 0;
    const uint8_t *next = nullptr, *fast_end = nullptr;
    int last = ahead;  // the length of the last code with its extra bits
    auto from_reader = [&] {
        const entropy_bits_c::hot_t& h = in.hot();
        buf = h.buf;
        count = h.count;
        next = h.next;
        fast_end = h.fast_end;
    };
    auto to_reader = [&] { in.set_hot({buf, count, next, fast_end}); };
    auto refill = [&] {
        if (count >= 32 || entropy_bits_c::fill_fast(buf, count, next, fast_end)) return;
        to_reader();
        in.fill();
        from_reader();
    };
    auto sync = [&](int asked) {
        to_reader();
        in.ask(asked);
    };
    from_reader();
    auto ran_out = [&] {
        count = std::max(count, 0);
        sync(64);  // as far as the data goes
        return false;
    };
    auto decode_slow = [&](const table_t& t, int* len) {
        to_reader();
        return decode_long(in, t, len);
    };
    auto block = [&](const table_t& dc, const table_t& ac, int& pred) {
        refill();
        uint16_t f = dc.fast[buf >> (64 - fast_bits)];
        int len = f >> 8, s = f & 0xFF;
        if (!f && (s = decode_slow(dc, &len)) < 0) return false;
        if (s > max_dc_bits) {
            sync(std::max(ahead, len));
            return false;
        }
        if (len + s > count) return ran_out();
        // The difference's bits, sign-extended; none when s is 0 (without a branch: which blocks
        // have one is as good as random).
        const int v = int(((buf << len) >> 1) >> (63 - s)), half = (1 << s) >> 1;
        pred += v < half ? v - (1 << s) + 1 : v;
        buf <<= len + s;
        count -= len + s;
        last = len + s;
        if (pred >= dc_limit || pred < -dc_limit) {
            sync(std::max(0, ahead - last));
            return false;
        }
        for (int k = 1; k < 64;) {
            refill();
            // Most codes: one look-up gives how many bits to skip and where the index goes.
            // Whether the data had those bits is asked once, after the block: past its end the
            // buffer reads zeros, and the count goes below zero.
            const uint32_t e = ac.ac_walk[buf >> (64 - fast_bits)];
            if (e) {
                const int total = int(e & 0xFF), step = int(e >> 8 & 0xFF);
                if (step == 0) {  // end of block
                    buf <<= total;
                    count -= total;
                    last = total;
                    break;
                }
                if (k <= int(e >> 16)) {
                    k += step;
                    buf <<= total;
                    count -= total;
                    last = total;
                    continue;
                }
            }
            // The rest, and every error, code by code as the tables give them.
            f = ac.fast[buf >> (64 - fast_bits)];
            int rs = f & 0xFF;
            len = f >> 8;
            if (!f && (rs = decode_slow(ac, &len)) < 0) return false;
            const int r = rs >> 4, size = rs & 15;
            if (size == 0 && r != 15) {  // end of block
                if (len > count) return ran_out();
                buf <<= len;
                count -= len;
                last = len;
                break;
            }
            k += size ? r : 16;  // a run of zeros before the coefficient, or 16 zeros
            if (k > 63 || size > max_ac_bits) {
                sync(std::max(ahead, len));
                return false;
            }
            if (len + size > count) return ran_out();
            buf <<= len + size;  // the coefficient's value is not needed
            count -= len + size;
            last = len + size;
            k += size ? 1 : 0;
        }
        return count >= 0 || ran_out();
    };

    // The last MCU boundary, for checkpoints: the reading and the decode's state there.
    state_t boundary = st;
    // The blocks of an MCU in order, with their component's tables (at most 10 blocks, or 4
    // components of one when the scan has one component).
    struct order_t {
        const table_t* dc;
        const table_t* ac;
        int c;
    } order[16];
    int blocks = 0;
    for (int c = 0; c < comp_count_; ++c)
        for (int b = comps_[c].h * comps_[c].v; b > 0 && blocks < 16; --b)
            order[blocks++] = {&dc_[comps_[c].dc], &ac_[comps_[c].ac], c};
    const bool is_watched = checkpoints || limit != ~uint64_t(0);
    uint64_t next_checkpoint = every ? (st.pos / every + 1) * every : ~0ull;
    while (st.mcu < mcus_) {
        const bool is_restart = restart_interval_ && st.to_restart == 0;
        if (is_restart || is_watched) sync(std::max(0, ahead - last));
        if (is_restart) {
            int m = in.read_marker(0);
            from_reader();
            last = ahead;
            if (!is_rst(m) || m - 0xD0 != st.next_restart) return fail();
            st.next_restart = uint8_t((st.next_restart + 1) & 7);
            st.to_restart = restart_interval_;
            std::memset(st.pred, 0, sizeof st.pred);
        }
        if (is_watched) {
            const entropy_bits_c::held_t held = in.held();
            // For each multiple of `every` the decoding passed, the last MCU boundary before it.
            for (; checkpoints && held.pos > next_checkpoint; next_checkpoint += every)
                checkpoints->push_back(boundary);
            if (held.pos >= limit) {
                if (end) *end = held.pos;
                return result_t::unfinished;
            }
            boundary = st;
            boundary.pos = held.pos;
            boundary.bits = held.bits;
            boundary.bit_count = held.count;
        }
        for (int b = 0; b < blocks; ++b)
            if (!block(*order[b].dc, *order[b].ac, st.pred[order[b].c])) return fail();
        ++st.mcu;
        if (restart_interval_) --st.to_restart;
    }
    sync(std::max(0, ahead - last));
    int m = in.read_marker(max_end_slack);
    if (m != 0xD9) return fail();
    if (end) *end = in.pos();
    return result_t::complete;
}

}  // namespace ember::fs
