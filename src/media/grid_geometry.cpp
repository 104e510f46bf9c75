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

int32_t wheel_scroll(int32_t scroll_pos, int32_t wheel_delta, uint32_t lines_per_notch, int32_t page_height) {
    constexpr int64_t notch = 120;  // WHEEL_DELTA
    int64_t pixels_per_notch = lines_per_notch == wheel_page_lines
                                   ? std::max<int64_t>(page_height, 0)
                                   : std::min<int64_t>(lines_per_notch, 1000) * cell_pitch_y;
    int64_t moved = int64_t(wheel_delta) * pixels_per_notch / notch;
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t(scroll_pos) - moved, INT32_MIN, INT32_MAX));
}

int64_t moved_focus(int64_t cell, grid_key_t key, size_t count, int32_t page_height) {
    if (count == 0) return -1;
    const int64_t last = int64_t(count) - 1;
    const int64_t page_rows = std::max<int64_t>(page_height / cell_pitch_y, 1);
    cell = std::clamp<int64_t>(cell, 0, last);
    int64_t target = cell;
    switch (key) {
    case grid_key_t::left: target = cell - 1; break;
    case grid_key_t::right: target = cell + 1; break;
    case grid_key_t::up: target = cell - grid_columns; break;
    case grid_key_t::down: target = cell + grid_columns; break;
    case grid_key_t::page_up: target = cell - page_rows * grid_columns; break;
    case grid_key_t::page_down: target = cell + page_rows * grid_columns; break;
    case grid_key_t::home: return 0;
    case grid_key_t::end: return last;
    }
    // Moving up past the first row stops in the first row's column. Down past the last cell
    // stops on it when there is a row below (a short last row); a page down always does.
    if (target < 0) return key == grid_key_t::left ? 0 : cell % grid_columns;
    if (target > last)
        return key == grid_key_t::page_down || last / grid_columns > cell / grid_columns ? last : cell;
    return target;
}

int32_t scroll_showing(size_t cell, int32_t scroll_pos, int32_t page_height, int32_t content) {
    int64_t top = int64_t(cell / grid_columns) * cell_pitch_y;  // the row's top with its margin above
    int64_t bottom = top + cell_pitch_y + grid_margin;
    int64_t position = scroll_pos;
    if (bottom > position + page_height) position = bottom - page_height;
    if (top < position) position = top;
    return clamp_scroll(static_cast<int32_t>(std::clamp<int64_t>(position, INT32_MIN, INT32_MAX)), page_height,
                        content);
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
