// The option page of the main window. Its controls and painting come with the page itself; for
// now it is the real window the main window creates, switches to and destroys.
#pragma once

#include <windows.h>

#include "pages/page_window_win.h"

class option_window_c : public CWindowImpl<option_window_c> {
public:
    DECLARE_WND_CLASS(L"TesseraOptionsPage", 0)
    explicit option_window_c(HWND main_window) : main_window_(main_window) {}

    BEGIN_MSG_MAP(option_window_c)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
    END_MSG_MAP()

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT, WPARAM, LPARAM, bool&) { return 1; }
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);

    HWND main_window_;  // borrowed: the parent, to which requests are sent
    bitmap_c background_;
};
