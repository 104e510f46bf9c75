#include "app/main_window_win.h"

bool main_window_c::pre_translate_message(MSG*) { return false; }

bool main_window_c::on_idle() { return false; }

LRESULT main_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    if (CMessageLoop* loop = app_module.get_message_loop()) {
        loop->add_message_filter(this);
        loop->add_idle_handler(this);
    }
    return 0;
}

LRESULT main_window_c::on_destroy(UINT, WPARAM, LPARAM, bool&) {
    if (CMessageLoop* loop = app_module.get_message_loop()) {
        loop->remove_message_filter(this);
        loop->remove_idle_handler(this);
    }
    PostQuitMessage(0);
    return 0;
}

LRESULT main_window_c::on_close(UINT, WPARAM, LPARAM, bool&) {
    DestroyWindow(hwnd());
    return 0;
}

LRESULT main_window_c::on_erase_background(UINT, WPARAM wp, LPARAM, bool&) {
    RECT client{};
    GetClientRect(hwnd(), &client);
    InflateRect(&client, -1, -1);
    FillRect(reinterpret_cast<HDC>(wp), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return 0;
}

LRESULT main_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    PAINTSTRUCT paint{};
    BeginPaint(hwnd(), &paint);
    EndPaint(hwnd(), &paint);
    return 0;
}

LRESULT main_window_c::on_get_min_max_info(UINT, WPARAM, LPARAM lp, bool&) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lp);
    info->ptMinTrackSize.x = main_window_width;
    info->ptMinTrackSize.y = main_window_height;
    return 0;
}

// A minimised window would stay an icon after SW_SHOW, so it is restored first: the user who
// started a second copy wants to see the first one.
LRESULT main_window_c::on_raise_window(UINT, WPARAM, LPARAM, bool&) {
    ShowWindow(hwnd(), IsIconic(hwnd()) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd());
    BringWindowToTop(hwnd());
    return 0;
}

void centre_on_work_area(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return;
    const RECT& work = info.rcWork;
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int left = work.left + ((work.right - work.left) - width) / 2;
    int top = work.top + ((work.bottom - work.top) - height) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
