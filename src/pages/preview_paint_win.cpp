// The thumbnail grid's painting: only the cells near the view, composed off-screen and copied in
// one step, with the spinner over them while a recovery runs.
#include <cstring>

#include "base/settings.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/saved_name.h"
#include "media/grid_geometry.h"
#include "picture/picture_win.h"
#include "pages/preview_window_win.h"
#include "ui/bitmap_button_win.h"
#include "ui/painting_win.h"
#include "ui/shared_fonts_win.h"

// What painting needs of one visible cell, copied under the queue lock; the picture stays alive
// through its shared owner even if the budget releases it meanwhile.
struct preview_window_c::painted_cell_t {
    size_t cell;
    int32_t index;
    std::shared_ptr<picture_t> thumbnail;
    bool is_ticked;
    char ext[found_ext_capacity];
    std::u16string label;  // the name the file will be saved under; empty when its fitted label is kept
};

std::vector<preview_window_c::painted_cell_t> preview_window_c::visible_cells() {
    std::vector<painted_cell_t> cells;
    cell_range_t range = cells_with_top_in(paint_band_top, paint_band_bottom, scroll_pos_, shown_count());
    const size_t folder_units = settings.recovery_path.size();
    queue_lock_c lock;
    found_queue_c& queue = found_queue();
    // The labels name records of one queue under one recovery folder.
    if (queue.generation() != labels_generation_ || folder_units != labels_folder_units_) {
        labels_.clear();
        labels_generation_ = queue.generation();
        labels_folder_units_ = folder_units;
    }
    for (size_t cell = range.first; cell < range.end; ++cell) {
        size_t index = static_cast<size_t>((*shown_items_)[cell]);
        if (index >= queue.size()) continue;
        found_file_t& record = queue.at(index);
        cell_point_t at = cell_position(cell, scroll_pos_);
        record.cell_x = at.x;  // kept for the cells near the view, the only ones drawn
        record.cell_y = at.y;
        painted_cell_t painted{cell, static_cast<int32_t>(index), record.thumb_image, record.selected != 0, {}, {}};
        std::memcpy(painted.ext, record.ext, sizeof painted.ext);
        painted.ext[sizeof painted.ext - 1] = '\0';
        if (!labels_.find(painted.index))
            painted.label = saved_file_name(record.origin.path, painted.ext, painted.index, folder_units);
        cells.push_back(std::move(painted));
    }
    return cells;
}

HBITMAP preview_window_c::placeholder(const char* ext) const {
    switch (placeholder_for(placeholder_kind_, ext)) {
    case placeholder_t::photo: return photo_.get();
    case placeholder_t::raw: return raw_.get();
    case placeholder_t::audio: return audio_.get();
    case placeholder_t::video: break;
    }
    return video_.get();
}

// The focus cell: framed round its picture, tick and label in the selection colour while the grid
// has the keys, a thin black frame round the picture otherwise.
void preview_window_c::paint_focus_frame(HDC dc, cell_point_t at) const {
    if (GetFocus() != hwnd()) {
        RECT frame{at.x - 1, at.y - 1, at.x + 118, at.y + 82};
        FrameRect(dc, &frame, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return;
    }
    const int m = focus_frame_margin;
    RECT frame{at.x - m, at.y - m, at.x + cell_pitch_x - grid_margin + m, at.y + tick_band_last + 1 + m};
    HBRUSH colour = GetSysColorBrush(COLOR_HIGHLIGHT);
    for (int i = 0; i < 2; ++i) {
        FrameRect(dc, &frame, colour);
        InflateRect(&frame, -1, -1);
    }
}

LRESULT preview_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dc_c paint(hwnd());
    RECT client = client_rect(hwnd());
    memory_dc_c buffer(paint.get(), client.right, client.bottom);
    HDC dc = buffer.get();
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    select_object_c font(dc, shared_font(font_face::verdana, 8, false));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    const RECT& dirty = paint.dirty();
    for (const painted_cell_t& cell : visible_cells()) {
        cell_point_t at = cell_position(cell.cell, scroll_pos_);
        // A cell outside the part to be painted (the spinner's square, one cell) is left out.
        RECT area{at.x - focus_frame_margin, at.y - focus_frame_margin, at.x + cell_pitch_x, at.y + cell_pitch_y};
        RECT overlap{};
        if (!IntersectRect(&overlap, &area, &dirty)) continue;
        draw_bitmap(dc, cell.thumbnail ? cell.thumbnail->bitmap.get() : placeholder(cell.ext), at.x, at.y);
        draw_bitmap(dc, cell.is_ticked ? ticked_.get() : unticked_.get(), at.x, at.y + tick_band_first);
        if (static_cast<int32_t>(cell.cell) == current_cell_) paint_focus_frame(dc, at);
        // A long name ends in an ellipsis before the next cell; the details column shows it whole.
        RECT label{at.x + 20, at.y + tick_band_first, at.x + cell_pitch_x - 6, at.y + tick_band_last + 2};
        const std::u16string* fitted = labels_.find(cell.index);
        if (!fitted) fitted = &labels_.fit(dc, cell.index, cell.label, label.right - label.left);
        ExtTextOutW(dc, label.left, label.top, ETO_CLIPPED, &label, wide(*fitted), static_cast<UINT>(fitted->size()), nullptr);
    }
    draw_spinner(dc, client);
    buffer.copy_to(paint.get());
    return 0;
}
