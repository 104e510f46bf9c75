#include "raw/raw_mosaic_win.h"

namespace {

// The filter colour of visible sample (row, col): two bits per cell of an 8 x 2 pattern.
unsigned filter_colour(unsigned filters, unsigned row, unsigned col) {
    return filters >> ((((row << 1) & 14) | (col & 1)) << 1) & 3;
}

}  // namespace

bool describe_mosaic(const libraw_data_t& data, sensor_mosaic_t& mosaic) {
    const libraw_rawdata_t& raw = data.rawdata;
    const libraw_image_sizes_t& sizes = raw.sizes;
    const libraw_colordata_t& colour = raw.color;
    unsigned filters = raw.iparams.filters;
    // Below 1000 the value names a special layout (Leaf's, X-Trans), not a 2-bit pattern.
    if (!raw.raw_image || filters < 1000 || raw.iparams.colors != 3 || raw.ioparams.fuji_width != 0) return false;
    if (sizes.width < 2 || sizes.height < 2 || uint32_t(sizes.top_margin) + sizes.height > sizes.raw_height ||
        uint32_t(sizes.left_margin) + sizes.width > sizes.raw_width || sizes.raw_pitch / 2 < sizes.raw_width)
        return false;
    for (unsigned row = 0; row < 8; ++row)
        for (unsigned col = 0; col < 2; ++col)
            if (filter_colour(filters, row, col) != filter_colour(filters, row & 1, col)) return false;
    // A black pattern beside the per-colour levels must repeat with the cells.
    unsigned pattern_rows = colour.cblack[4], pattern_cols = colour.cblack[5];
    bool has_pattern = pattern_rows != 0 && pattern_cols != 0;
    if (has_pattern && (pattern_rows > 2 || pattern_cols > 2)) return false;
    for (unsigned row = 0; row < 2; ++row) {
        for (unsigned col = 0; col < 2; ++col) {
            // Colour 3 is the second green of a three-colour sensor: its own black, green's colour.
            unsigned c = filter_colour(filters, row, col);
            mosaic.colour[row][col] = uint8_t(c == 3 ? 1 : c);
            float black = float(colour.black) + float(colour.cblack[c]);
            if (has_pattern) black += float(colour.cblack[6 + (row % pattern_rows) * pattern_cols + col % pattern_cols]);
            mosaic.black[row][col] = black;
        }
    }
    for (int c = 0; c < 3; ++c) {
        mosaic.balance[c] = colour.pre_mul[c];
        // Without the camera's colour matrix the balanced camera colours are shown as they are.
        for (int k = 0; k < 3; ++k)
            mosaic.to_rgb[c][k] = raw.ioparams.raw_color ? float(c == k) : colour.rgb_cam[c][k];
    }
    if (mosaic.balance[1] <= 0) mosaic.balance[1] = 1;
    mosaic.white = float(colour.maximum);
    mosaic.samples = raw.raw_image + size_t(sizes.top_margin) * (sizes.raw_pitch / 2) + sizes.left_margin;
    mosaic.pitch = sizes.raw_pitch / 2;
    mosaic.width = sizes.width;
    mosaic.height = sizes.height;
    return true;
}
