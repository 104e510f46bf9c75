// The thumbnail grid's geometry: three columns of 137 x 111-pixel cells from (10, 10), scrolled
// vertically. It is arithmetic on cell numbers, so that a group of 100,000 files costs a repaint
// or a click no more than a group of ten.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t grid_columns = 3;
constexpr int32_t cell_pitch_x = 137;
constexpr int32_t cell_pitch_y = 111;
constexpr int32_t grid_margin = 10;              // left and top of the first cell
constexpr int32_t picture_band_last = 81;        // a row's picture: 0 to 81 below its top
constexpr int32_t tick_band_first = 86;          // its tick box and label: 86 to 101
constexpr int32_t tick_band_last = 101;
constexpr int32_t hit_column_width = 137;        // columns hit from x 0: 0-146, 147-283, 284-420
constexpr int32_t hit_first_column_width = 147;
constexpr int32_t hit_right_edge = 420;
// Painting skips cells whose top lies above -300 and stops at the first below 800.
constexpr int32_t paint_band_top = -300;
constexpr int32_t paint_band_bottom = 800;

struct cell_point_t {
    int32_t x = 0;
    int32_t y = 0;
};

cell_point_t cell_position(size_t cell, int32_t scroll_pos);

// The height of every row of `count` cells plus the top margin: rows x 111 + 10.
int32_t content_height(size_t count);

// A scroll position kept inside the content: from 0 to content - page + 1. When the whole content
// fits the page the position is left as it is.
int32_t clamp_scroll(int32_t scroll_pos, int32_t page_height, int32_t content);

// The system's "scroll a page at a time" wheel setting (WHEEL_PAGESCROLL).
constexpr uint32_t wheel_page_lines = 0xFFFFFFFFu;

// A wheel notch of 120 moves `lines_per_notch` cell rows (the system's wheel setting), or the
// page's height for wheel_page_lines; up for a positive delta, a part of a notch in proportion
// (truncated toward zero). Not clamped: the caller keeps the position inside the content.
int32_t wheel_scroll(int32_t scroll_pos, int32_t wheel_delta, uint32_t lines_per_notch, int32_t page_height);

// The keys that move the focus cell.
enum class grid_key_t { left, right, up, down, page_up, page_down, home, end };

// The cell a key moves the focus to among `count` cells (none when count is 0: -1). Left and
// right step through the cells in reading order, up and down by a row (down into a short last
// row lands on its last cell); page keys move by the rows that fit the page.
int64_t moved_focus(int64_t cell, grid_key_t key, size_t count, int32_t page_height);

// The scroll position nearest to `scroll_pos` that shows the whole row of `cell`.
int32_t scroll_showing(size_t cell, int32_t scroll_pos, int32_t page_height, int32_t content);

enum class cell_band_t { none, picture, tick };

struct cell_hit_t {
    size_t cell = 0;
    cell_band_t band = cell_band_t::none;  // none: the click hit no cell, or the gap of a row
};

// What a click at client (x, y) hits among `count` cells.
cell_hit_t hit_cell(int32_t x, int32_t y, int32_t scroll_pos, size_t count);

// The cells whose top lies from `top` to `bottom` (both included, client pixels) as the half-open
// range [first, end) of cell numbers; empty when there are none.
struct cell_range_t {
    size_t first = 0;
    size_t end = 0;
};
cell_range_t cells_with_top_in(int32_t top, int32_t bottom, int32_t scroll_pos, size_t count);
