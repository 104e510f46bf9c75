// Real input for tests that drive windows as a user would: mouse moves, clicks, keys and typed
// text through SendInput, keys posted to the focused window of another thread, and waiting for a
// condition.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

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

// A key pressed and released through SendInput, reaching the focused window of the foreground
// thread; `with_shift` holds Shift down around it.
inline void tap_key(WORD key, bool with_shift = false) {
    INPUT inputs[4] = {};
    UINT count = 0;
    auto add = [&](WORD vk, bool up) {
        inputs[count].type = INPUT_KEYBOARD;
        inputs[count].ki.wVk = vk;
        inputs[count].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        ++count;
    };
    if (with_shift) add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (with_shift) add(VK_SHIFT, true);
    SendInput(count, inputs, sizeof(INPUT));
}

// Types text as Unicode key input into the focused window of the foreground thread.
inline void type_text(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT inputs[2] = {};
        for (int i = 0; i < 2; ++i) {
            inputs[i].type = INPUT_KEYBOARD;
            inputs[i].ki.wScan = c;
            inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
        }
        SendInput(2, inputs, sizeof(INPUT));
    }
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
