#include "media/grid_geometry.h"

#include <algorithm>

namespace {

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

cell_point_t cell_position(size_t cell, int32_t scroll_pos) {
    int64_t row = int64_t(cell / grid_columns), column = int64_t(cell % grid_columns);
    return {static_cast<int32_t>(column * cell_pitch_x + grid_margin),
            static_cast<int32_t>(std::clamp<int64_t>(row * cell_pitch_y + grid_margin - scroll_pos,
                                                     INT32_MIN, INT32_MAX))};
}

int32_t content_height(size_t count) {
    uint64_t rows = (uint64_t(count) + grid_columns - 1) / grid_columns;
    return static_cast<int32_t>(std::min<uint64_t>(rows * cell_pitch_y + grid_margin, INT32_MAX));
}

int32_t clamp_scroll(int32_t scroll_pos, int32_t page_height, int32_t content) {
    if (page_height >= content) return scroll_pos;
    if (scroll_pos < 0) return 0;
    int32_t last = content - page_height + 1;
    return scroll_pos > last ? last : scroll_pos;
}

int32_t wheel_scroll(int32_t scroll_pos, int32_t wheel_delta) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t(scroll_pos) - wheel_delta / 8, INT32_MIN, INT32_MAX));
}

cell_hit_t hit_cell(int32_t x, int32_t y, int32_t scroll_pos, size_t count) {
    cell_hit_t hit;
    if (x < 0 || x > hit_right_edge) return hit;
    int64_t column = x < hit_first_column_width ? 0 : (x - hit_first_column_width) / hit_column_width + 1;
    int64_t v = int64_t(y) + scroll_pos - grid_margin;
    if (v < 0) return hit;
    int64_t row = v / cell_pitch_y, offset = v % cell_pitch_y;
    uint64_t cell = uint64_t(column) + uint64_t(row) * grid_columns;
    if (cell >= count) return hit;
    hit.cell = static_cast<size_t>(cell);
    if (offset <= picture_band_last) hit.band = cell_band_t::picture;
    else if (offset >= tick_band_first && offset <= tick_band_last) hit.band = cell_band_t::tick;
    return hit;
}

cell_range_t cells_with_top_in(int32_t top, int32_t bottom, int32_t scroll_pos, size_t count) {
    // A cell of row r has its top at r x 111 + 10 - scroll_pos.
    int64_t first_row = -floor_div(-(int64_t(top) - grid_margin + scroll_pos), cell_pitch_y);  // ceiling
    int64_t last_row = floor_div(int64_t(bottom) - grid_margin + scroll_pos, cell_pitch_y);
    first_row = std::max<int64_t>(first_row, 0);
    int64_t rows = int64_t((uint64_t(count) + grid_columns - 1) / grid_columns);
    last_row = std::min<int64_t>(last_row, rows - 1);
    if (last_row < first_row) return {};
    return {static_cast<size_t>(first_row * grid_columns),
            std::min(count, static_cast<size_t>((last_row + 1) * grid_columns))};
}
