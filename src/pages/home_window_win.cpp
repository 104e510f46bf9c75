#include "pages/home_window_win.h"

LRESULT home_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    background_ = load_skin_bitmap(IDB_PAGE_BACKGROUND);
    return 0;
}

LRESULT home_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_page_background(hwnd(), background_.get());
    return 0;
}
