#include "pages/page_window_win.h"

void paint_page_background(HWND page, HBITMAP background) {
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(page, &ps);
    RECT client{};
    GetClientRect(page, &client);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP picture = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, picture);
    FillRect(memory, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_bitmap(memory, background, 0, 0);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(picture);
    DeleteDC(memory);
    EndPaint(page, &ps);
}
