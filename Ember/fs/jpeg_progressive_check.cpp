// The scan-by-scan decode of a progressive JPEG's entropy-coded data (jpeg_entropy_check.h):
// spectral selection and successive approximation, with the segments between the scans. A scan
// that refines a band must follow the one that coded it at the bit it left (Ah = that scan's Al,
// Al = Ah - 1); its correction bits depend on which coefficients earlier scans made nonzero, so
// that is kept for every block.
#include <cstring>
#include <memory>
#include <vector>

#include "jpeg_bit_reader.h"
#include "jpeg_entropy_check.h"

namespace ember::fs {
namespace {

constexpr int max_segments = 4096;           // before EOI, scans included
constexpr uint64_t max_blocks = 1u << 22;    // in all components (32 MiB of nonzero masks)
constexpr int max_end_slack = 16;

bool is_rst(int marker) { return marker >= 0xD0 && marker <= 0xD7; }

}  // namespace

jpeg_entropy_check_c::result_t jpeg_entropy_check_c::run_progressive(byte_source_i& file, uint64_t* end,
                                                                     uint64_t limit) const {
    entropy_bits_c in(file);
    in.start(first_.pos, 0, 0);
    auto fail = [&] {
        if (end) *end = in.pos();
        return result_t::error;
    };
    // The tables as the scans find them: segments between scans may replace them.
    std::unique_ptr<table_t[]> tables(new table_t[8]);
    table_t* dc = tables.get();
    table_t* ac = dc + 4;
    std::copy(dc_, dc_ + 4, dc);
    std::copy(ac_, ac_ + 4, ac);
    uint32_t restart_interval = restart_interval_;

    int hmax = 1, vmax = 1;
    for (int c = 0; c < comp_count_; ++c) {
        hmax = std::max<int>(hmax, comps_[c].h);
        vmax = std::max<int>(vmax, comps_[c].v);
    }
    const uint32_t across = uint32_t((width_ + 8 * hmax - 1) / (8 * hmax));
    const uint32_t down = uint32_t((height_ + 8 * vmax - 1) / (8 * vmax));
    struct plane_t {
        uint32_t wide = 0;                 // blocks a row, MCU padding included
        uint32_t used_wide = 0, used_high = 0;  // the blocks a single-component scan codes
        std::vector<uint64_t> nonzero;     // a block's coefficients made nonzero so far
        int8_t al[64];                     // each coefficient's bit coded down to; -1 not yet
    };
    plane_t planes[4];
    uint64_t blocks = 0;
    for (int c = 0; c < comp_count_; ++c) {
        plane_t& p = planes[c];
        p.wide = across * comps_[c].h;
        blocks += uint64_t(p.wide) * down * comps_[c].v;
        uint32_t w = uint32_t((uint64_t(width_) * comps_[c].h + hmax - 1) / hmax);
        uint32_t h = uint32_t((uint64_t(height_) * comps_[c].v + vmax - 1) / vmax);
        p.used_wide = (w + 7) / 8;
        p.used_high = (h + 7) / 8;
        std::memset(p.al, -1, sizeof p.al);
    }
    if (blocks > max_blocks) return result_t::unsupported;

    // A code: the reader is asked for the lookahead first, as the positions it tells assume.
    auto decode = [&](const table_t& t) -> int {
        in.refill();
        in.ask(entropy_bits_c::lookahead);
        const uint16_t f = t.fast[in.peek(fast_bits)];
        int len = f >> 8, v = f & 0xFF;
        if (!f || len > in.count()) v = decode_long(in, t, &len);
        if (v < 0) return -1;
        in.drop(len);
        in.ask(0);
        return v;
    };
    auto extend = [](int v, int s) { return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v; };
    const int64_t dc_limit = precision_ == 8 ? 2048 : 32768;
    const int max_dc_bits = precision_ == 8 ? 11 : 15, max_ac_bits = precision_ == 8 ? 10 : 14;

    std::vector<uint8_t> body;
    uint64_t at = first_.pos;  // a marker's first byte
    for (int segments = 0;; ++segments) {
        if (segments > max_segments || in.byte(at) != 0xFF) return fail();
        int marker = in.byte(at + 1);
        while (marker == 0xFF) marker = in.byte(++at + 1);
        if (marker == 0xD9) {
            // Complete only when every coefficient of every component has been coded.
            for (int c = 0; c < comp_count_; ++c)
                for (int k = 0; k < 64; ++k)
                    if (planes[c].al[k] < 0) {
                        if (end) *end = at;
                        return result_t::error;
                    }
            if (end) *end = at + 2;
            return result_t::complete;
        }
        // Between scans: tables, restart intervals, application data and comments.
        if (marker != 0xC4 && marker != 0xDA && marker != 0xDB && marker != 0xDD && marker != 0xFE &&
            (marker < 0xE0 || marker > 0xEF)) {
            if (end) *end = at;
            return result_t::error;
        }
        const int hi = in.byte(at + 2), lo = in.byte(at + 3);
        if (hi < 0 || lo < 0 || (hi << 8 | lo) < 2) return fail();
        const size_t size = size_t(hi << 8 | lo) - 2;
        body.resize(size);
        for (size_t i = 0; i < size; ++i) {
            int b = in.byte(at + 4 + i);
            if (b < 0) return fail();
            body[i] = uint8_t(b);
        }
        if (marker == 0xC4 && !read_table(dc, ac, body.data(), size)) return fail();
        if (marker == 0xDD) {
            if (size != 2) return fail();
            restart_interval = uint32_t(body[0]) << 8 | body[1];
        }
        if (marker != 0xDA) {
            at += 4 + size;
            continue;
        }

        // A scan: its header, then its data.
        const uint8_t* b = body.data();
        const int ns = size ? b[0] : 0;
        if (ns < 1 || ns > comp_count_ || size != 4 + 2u * ns) return fail();
        int scan_comps[4], td[4], ta[4];
        const int ss = b[1 + 2 * ns], se = b[2 + 2 * ns], ah = b[3 + 2 * ns] >> 4, al = b[3 + 2 * ns] & 15;
        if (ss > se || se > 63 || (ss == 0 && se != 0) || (ss > 0 && ns != 1) || al > 13 || (ah && al != ah - 1))
            return fail();
        for (int i = 0; i < ns; ++i) {
            int c = 0;
            while (c < comp_count_ && comps_[c].id != b[1 + 2 * i]) ++c;
            if (c == comp_count_ || (i && c <= scan_comps[i - 1])) return fail();  // in the frame's order
            scan_comps[i] = c;
            td[i] = b[2 + 2 * i] >> 4;
            ta[i] = b[2 + 2 * i] & 15;
            if (ss == 0 && ah == 0 && (td[i] > 3 || !dc[td[i]].present)) return fail();
            if (ss > 0 && (ta[i] > 3 || !ac[ta[i]].present)) return fail();
            for (int k = ss; k <= se; ++k) {
                int8_t& coded = planes[c].al[k];
                if (ah == 0 ? coded >= 0 : coded != ah) return fail();
                coded = int8_t(al);
            }
            if (ss > 0 && planes[c].nonzero.empty())
                planes[c].nonzero.assign(size_t(planes[c].wide) * down * comps_[c].v, 0);
        }
        in.start(at + 4 + size, 0, 0);

        int64_t pred[4] = {};
        uint32_t eobrun = 0;
        // One block of component c at (x, y) in its block grid.
        auto block = [&](int i, uint32_t x, uint32_t y) -> bool {
            const int c = scan_comps[i];
            if (ss == 0) {
                if (ah) return in.need(1) && (in.take(1), true);
                int s = decode(dc[td[i]]);
                if (s < 0 || s > max_dc_bits || (s && !in.need(s))) return false;
                if (s) pred[c] += extend(in.take(s), s);
                return pred[c] * (int64_t(1) << al) < dc_limit && pred[c] * (int64_t(1) << al) >= -dc_limit;
            }
            uint64_t& nonzero = planes[c].nonzero[size_t(y) * planes[c].wide + x];
            const table_t& t = ac[ta[i]];
            int k = ss;
            if (ah == 0) {
                if (eobrun) {
                    --eobrun;
                    return true;
                }
                while (k <= se) {
                    int rs = decode(t);
                    if (rs < 0) return false;
                    int r = rs >> 4, s = rs & 15;
                    if (s == 0) {
                        if (r == 15) {
                            k += 16;
                            if (k > se) return false;
                            continue;
                        }
                        eobrun = 1u << r;
                        if (r) {
                            if (!in.need(r)) return false;
                            eobrun += uint32_t(in.take(r));
                        }
                        --eobrun;
                        return true;
                    }
                    k += r;
                    if (k > se || s > max_ac_bits || !in.need(s)) return false;
                    in.take(s);
                    nonzero |= uint64_t(1) << k;
                    ++k;
                }
                return true;
            }
            // A refinement: new coefficients of magnitude 1, and a correction bit for each one
            // already nonzero that the scan passes.
            if (eobrun == 0) {
                while (k <= se) {
                    int rs = decode(t);
                    if (rs < 0) return false;
                    int r = rs >> 4, s = rs & 15;
                    if (s) {
                        if (s != 1 || !in.need(1)) return false;
                        in.take(1);
                    } else if (r != 15) {
                        eobrun = 1u << r;
                        if (r) {
                            if (!in.need(r)) return false;
                            eobrun += uint32_t(in.take(r));
                        }
                        break;
                    }
                    for (; k <= se; ++k) {
                        if (nonzero >> k & 1) {
                            if (!in.need(1)) return false;
                            in.take(1);
                        } else if (--r < 0) {
                            break;
                        }
                    }
                    if (s) {
                        if (k > se) return false;  // a new coefficient past the band
                        nonzero |= uint64_t(1) << k;
                    }
                    ++k;
                }
                if (eobrun == 0) return true;
            }
            for (; k <= se; ++k)
                if (nonzero >> k & 1) {
                    if (!in.need(1)) return false;
                    in.take(1);
                }
            --eobrun;
            return true;
        };

        const plane_t& only = planes[scan_comps[0]];
        const uint64_t units = ns == 1 ? uint64_t(only.used_wide) * only.used_high : uint64_t(across) * down;
        uint32_t to_restart = restart_interval;
        uint8_t next_restart = 0;
        for (uint64_t u = 0; u < units; ++u) {
            if (restart_interval && to_restart == 0) {
                int m = eobrun ? -1 : in.read_marker(0);
                if (!is_rst(m) || m - 0xD0 != next_restart) return fail();
                next_restart = uint8_t((next_restart + 1) & 7);
                to_restart = restart_interval;
                std::memset(pred, 0, sizeof pred);
            }
            if (in.pos() >= limit) {
                if (end) *end = in.pos();
                return result_t::unfinished;
            }
            if (ns == 1) {
                if (!block(0, uint32_t(u % only.used_wide), uint32_t(u / only.used_wide))) return fail();
            } else {
                const uint32_t mx = uint32_t(u % across), my = uint32_t(u / across);
                for (int i = 0; i < ns; ++i) {
                    const component_t& comp = comps_[scan_comps[i]];
                    for (int y = 0; y < comp.v; ++y)
                        for (int x = 0; x < comp.h; ++x)
                            if (!block(i, mx * comp.h + x, my * comp.v + y)) return fail();
                }
            }
            if (restart_interval) --to_restart;
        }
        // The scan ends with its last block: no run of empty blocks goes on past it.
        if (eobrun || in.read_marker(max_end_slack) < 0) return fail();
        at = in.pos() - 2;
    }
}

}  // namespace ember::fs
