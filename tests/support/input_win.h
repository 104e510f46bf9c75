// Real input for tests that drive windows as a user would: mouse moves and clicks through
// SendInput, keys posted to the focused window of another thread, and waiting for a condition.
#pragma once

#include <windows.h>

#include <functional>

inline void mouse_to(int x, int y) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

inline void mouse_button(bool down) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof input);
}

inline void click_at(int x, int y) {
    mouse_to(x, y);
    Sleep(30);
    mouse_button(true);
    Sleep(30);
    mouse_button(false);
}

// Polls until the condition holds or about five seconds have passed; the condition's last value.
inline bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = 5000) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() > deadline) return condition();
        Sleep(20);
    }
    return true;
}

// Posts a key press to the window that has the focus in the thread of `window`.
inline void press_key(HWND window, WPARAM key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// A visible top-level dialog of this process with this title, or null.
inline HWND find_dialog(const wchar_t* title) {
    HWND found = nullptr;
    wait_until([&] {
        found = FindWindowW(L"#32770", title);
        return found && IsWindowVisible(found);
    });
    return found;
}
