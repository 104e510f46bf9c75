// The application's one top-level window. The skinned frame, the pages and the menu are added to
// this class as they are built; what it does now is be created, come to the front when a second
// copy asks, and end the message loop when it closes.
#pragma once

#include <windows.h>

#include "app/app_messages.h"
#include "ui/message_loop_win.h"
#include "ui/window_impl_win.h"

constexpr int main_window_width = 800;
constexpr int main_window_height = 600;

class main_window_c : public CWindowImpl<main_window_c>, public CMessageFilter, public CIdleHandler {
public:
    DECLARE_WND_CLASS(L"TesseraMainWindow", CS_DBLCLKS)

    bool pre_translate_message(MSG* msg) override;
    bool on_idle() override;

    BEGIN_MSG_MAP(main_window_c)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_DESTROY, on_destroy)
        MESSAGE_HANDLER(WM_CLOSE, on_close)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_GETMINMAXINFO, on_get_min_max_info)
        MESSAGE_HANDLER(UM_RAISE_WINDOW, on_raise_window)
    END_MSG_MAP()

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_destroy(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_close(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_get_min_max_info(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_raise_window(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
};

// Moves a window to the middle of the work area of its monitor.
void centre_on_work_area(HWND window);
