// The structure walk of BMP for a candidate chain (media_chain_check.h). Uncompressed 24- and
// 32-bit pixels lie in rows at a fixed stride, and a photo's rows change little from one to the
// next, whereas bytes of another file (compressed pictures, video, sound) or another picture's
// rows do not follow the row above. Each sector of the pixel data that follows the row above is
// a place. The walk breaks at a sector that starts another file, or at one far from the row above
// when every sector after it is too, for a whole row and 2 KiB more (an edge in the picture, such
// as a horizon, breaks one row; a cluster of compressed bytes breaks every row).
// A picture whose own rows do not follow one another (noise, other depths, compression) cannot
// be told, and the walk says so.
#include <algorithm>
#include <cstring>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "media_chain_check.h"

namespace ember::fs {
namespace {

constexpr uint64_t sector = 512;
constexpr uint64_t file_header_size = 14;
constexpr uint32_t bi_rgb = 0, bi_bitfields = 3, bi_alpha_bitfields = 6;
constexpr int64_t max_dimension = 1 << 16;
// A break must hold past one row by this much: more than an edge in the picture can.
constexpr uint64_t break_margin = 2048;
// The sectors a picture's own rows must have held before its walk is trusted, and the share of
// them (one in `min_share`) that may not.
constexpr uint64_t min_held = 8;
constexpr uint64_t min_share = 5;
// Per byte: bytes that vary less than this are flat; a row that moves more than this from the one
// above is far from it (bytes of compressed data are 64 from their mean and 85 from other such
// bytes on average).
constexpr uint64_t flat_spread = 8, far_move = 40;

enum class row_fit_t { follows, breaks, quiet };

// How `now` (n bytes) compares with the same bytes one row up: moving from one to the other by
// much less than they vary in themselves is a picture's; by as much or more, and by a lot, bytes
// of another kind. Flat bytes (a black band, a cluster of zeros) and faint changes (noise in the
// dark) say nothing either way.
row_fit_t fit_to_row_above(const uint8_t* now, const uint8_t* above, size_t n) {
    uint64_t sum = 0, moves = 0, spread = 0;
    for (size_t i = 0; i < n; ++i) sum += now[i];
    const int mean = int(sum / n);
    for (size_t i = 0; i < n; ++i) {
        moves += uint64_t(std::abs(int(now[i]) - int(above[i])));
        spread += uint64_t(std::abs(int(now[i]) - mean));
    }
    if (spread < flat_spread * n) return row_fit_t::quiet;
    if (moves * 4 <= spread * 3) return row_fit_t::follows;
    return moves >= spread && moves >= far_move * n ? row_fit_t::breaks : row_fit_t::quiet;
}

struct bmp_layout_t {
    uint64_t pixels = 0, end = 0, stride = 0;
};

// The pixel data of an uncompressed 24- or 32-bit bitmap, false for any other.
bool read_layout(carve_input_c& in, bmp_layout_t& out) {
    const uint8_t* f = in.at(0, file_header_size + 4);
    if (!f || f[0] != 'B' || f[1] != 'M') return false;
    const uint32_t pixels = load_le32(f + 10), info_size = load_le32(f + 14);
    if (info_size < 40 || info_size > 124) return false;
    const uint8_t* h = in.at(file_header_size, 20);
    if (!h) return false;
    const int64_t width = int32_t(load_le32(h + 4));
    int64_t height = int32_t(load_le32(h + 8));
    if (height < 0) height = -height;
    const uint32_t bpp = load_le16(h + 14), compression = load_le32(h + 16);
    if (load_le16(h + 12) != 1 || (bpp != 24 && bpp != 32) || width <= 0 || width > max_dimension || height < 2 ||
        height > max_dimension || (compression != bi_rgb && compression != bi_bitfields && compression != bi_alpha_bitfields) ||
        pixels < file_header_size + info_size)
        return false;
    out.pixels = pixels;
    out.stride = (uint64_t(width) * bpp + 31) / 32 * 4;
    out.end = out.pixels + out.stride * uint64_t(height);
    return true;
}

}  // namespace

structure_walk_t walk_bmp(byte_source_i& file) {
    structure_walk_t out;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    bmp_layout_t b;
    if (!read_layout(in, b)) return out;
    out.is_known = true;
    out.places.push_back(0);
    uint64_t held = 0, broken = 0, run_broken = 0;
    uint64_t run_from = UINT64_MAX;  // the first sector of the run far from the rows above
    bool is_broken = false, is_doubtful = false, followed = false;
    uint8_t above[sector];
    const uint64_t last = std::min(size, b.end);
    for (uint64_t at = (b.pixels + b.stride + sector - 1) / sector * sector; at < last; at += sector) {
        const size_t n = size_t(std::min(sector, last - at));
        const uint8_t* row = in.at(at - b.stride, n);
        if (!row) break;
        std::memcpy(above, row, n);
        const uint8_t* now = in.at(at, n);
        if (!now) break;
        if (n >= 16 && is_known_file_start(now, n)) {
            if (run_from == UINT64_MAX) run_from = at;
            is_broken = true;
            break;
        }
        // A picture does not drop to exact zeros right after a sector that followed its rows,
        // nor do all its sectors of a whole row leave the row above: a cluster of zeros, or of
        // another picture's rows, may begin there. Such a chain is not confirmed, but the file
        // is not cut either (a black band, a straight edge across the picture).
        if (followed && n == sector && std::all_of(now, now + n, [](uint8_t v) { return v == 0; })) is_doubtful = true;
        const row_fit_t fit = n < 16 ? row_fit_t::quiet : fit_to_row_above(now, above, n);
        followed = fit == row_fit_t::follows;
        if (fit != row_fit_t::breaks) {
            if (followed) {
                out.places.push_back(at);
                ++held;
            }
            broken += run_broken;
            run_broken = 0;
            run_from = UINT64_MAX;
            continue;
        }
        ++run_broken;
        if (run_from == UINT64_MAX) run_from = at;
        if (run_broken > 1 && at + n - run_from >= b.stride) is_doubtful = true;
        if (at + n - run_from >= b.stride + break_margin) {
            is_broken = true;
            break;
        }
    }
    // A picture whose own rows did not hold often enough cannot be told from other bytes.
    if (held < min_held || broken * min_share > held) {
        out.is_known = false;
        out.places.clear();
        return out;
    }
    if (is_broken) return stop_at(out, run_from);
    if (b.end > size) return stop_at(out, size);
    out.is_sound = !is_doubtful;
    return out;
}

}  // namespace ember::fs
