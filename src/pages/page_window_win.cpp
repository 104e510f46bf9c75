#include "pages/page_window_win.h"

void paint_page_background(HWND page, HBITMAP background) {
    paint_dc_c paint(page);
    RECT client = client_rect(page);
    memory_dc_c buffer(paint.get(), client.right, client.bottom);
    FillRect(buffer.get(), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_bitmap(buffer.get(), background, 0, 0);
    buffer.copy_to(paint.get());
}
