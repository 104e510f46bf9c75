#include "picture/preview_area.h"

namespace {

// Shapes within 2% are the same shape: a 4000 x 3000 photo and a 160 x 120 preview, or a
// 4032 x 3024 one and a 320 x 240 preview. Any padding would then be under 2.4 rows of 120.
constexpr int64_t same_shape_percent = 2;
// Black bands are what an encoder made of black: dark everywhere, near black on average. The
// rows or columns next to the picture are left out, since JPEG blocks smear the picture's edge
// into them.
constexpr int channel_limit = 64;
constexpr int mean_limit = 24;
constexpr int32_t edge_margin = 2;

bool is_dark(const pixel_rows_t& p, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    uint64_t sum = 0, count = 0;
    for (int32_t y = top; y < bottom; ++y) {
        const uint8_t* row = p.bits + size_t(y) * p.stride;
        for (int32_t x = left; x < right; ++x) {
            const uint8_t* pixel = row + size_t(x) * size_t(p.bytes_per_pixel);
            for (int c = 0; c < 3; ++c) {
                if (pixel[c] > channel_limit) return false;
                sum += pixel[c];
            }
            count += 3;
        }
    }
    return count == 0 || sum <= count * mean_limit;
}

}  // namespace

bool find_preview_area(const pixel_rows_t& p, uint32_t photo_width, uint32_t photo_height,
                       int32_t min_width, int32_t min_height, pixel_area_t& area) {
    if (!p.bits || p.width <= 0 || p.height <= 0 || photo_width == 0 || photo_height == 0 ||
        (p.bytes_per_pixel != 3 && p.bytes_per_pixel != 4) ||
        p.stride < size_t(p.width) * size_t(p.bytes_per_pixel))
        return false;
    const int64_t w = p.width, h = p.height, pw = photo_width, ph = photo_height;
    const int64_t preview_cross = w * ph, photo_cross = h * pw;
    int64_t difference = preview_cross > photo_cross ? preview_cross - photo_cross : photo_cross - preview_cross;
    pixel_area_t found{0, 0, p.width, p.height};
    if (difference * 100 > photo_cross * same_shape_percent) {
        if (preview_cross > photo_cross) {  // the preview is wider: bands left and right
            found.width = static_cast<int32_t>((2 * h * pw + ph) / (2 * ph));
            found.left = (p.width - found.width) / 2;
            int32_t right = found.left + found.width;
            if (!is_dark(p, 0, 0, found.left - edge_margin, p.height) ||
                !is_dark(p, right + edge_margin, 0, p.width, p.height))
                return false;
        } else {  // the preview is taller: bands above and below
            found.height = static_cast<int32_t>((2 * w * ph + pw) / (2 * pw));
            found.top = (p.height - found.height) / 2;
            int32_t bottom = found.top + found.height;
            if (!is_dark(p, 0, 0, p.width, found.top - edge_margin) ||
                !is_dark(p, 0, bottom + edge_margin, p.width, p.height))
                return false;
        }
    }
    if (found.width < min_width || found.height < min_height) return false;
    area = found;
    return true;
}
