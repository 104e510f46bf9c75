#include "ui/window_place_win.h"

#include "base/handles_win.h"

void centre_window(HWND window, HWND owner) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    bool over_owner = owner && IsWindowVisible(owner) && !IsIconic(owner);
    HMONITOR monitor = MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return;
    const RECT& work = info.rcWork;
    RECT centre_on = work;
    if (over_owner) GetWindowRect(owner, &centre_on);
    int left = centre_on.left + ((centre_on.right - centre_on.left) - width) / 2;
    int top = centre_on.top + ((centre_on.bottom - centre_on.top) - height) / 2;
    if (left + width > work.right) left = work.right - width;
    if (top + height > work.bottom) top = work.bottom - height;
    if (left < work.left) left = work.left;
    if (top < work.top) top = work.top;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void set_whole_window_region(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    RECT whole{0, 0, frame.right - frame.left, frame.bottom - frame.top};
    region_c region(CreateRectRgnIndirect(&whole));
    // The system owns the region once it has taken it.
    if (region.is_valid() && SetWindowRgn(window, region.get(), TRUE)) region.release();
}
