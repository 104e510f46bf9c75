#include "pages/option_window_win.h"

option_window_c::~option_window_c() {
    if (background_) DeleteObject(background_);
}

LRESULT option_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    background_ = load_skin_bitmap(page_background_id);
    return 0;
}

LRESULT option_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_page_background(hwnd(), background_);
    return 0;
}
