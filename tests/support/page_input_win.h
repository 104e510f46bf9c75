// Driving a window of this process as a user would: real mouse input at client positions of a
// window, with this thread's messages dispatched while waiting, and the tree view's items.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "support/input_win.h"

// Dispatches this thread's messages until the condition holds or the time is up.
inline bool pump_until(const std::function<bool()>& condition, DWORD timeout_ms = 10000) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (condition()) return true;
        if (GetTickCount64() > deadline) return false;
        Sleep(10);
    }
}

inline void pump_for(DWORD ms) {
    pump_until([] { return false; }, ms);
}

inline POINT on_screen(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    return p;
}

// A real click at client (x, y) of `window`, then the messages it causes.
inline void click(HWND window, int x, int y) {
    POINT p = on_screen(window, x, y);
    click_at(p.x, p.y);
    pump_for(150);
}

// The item of a tree view whose text is `text`, among the roots and their children.
inline HTREEITEM find_item(HWND tree, const std::u16string& text) {
    for (HTREEITEM root = TreeView_GetRoot(tree); root; root = TreeView_GetNextSibling(tree, root)) {
        for (HTREEITEM item = root; item;
             item = item == root ? TreeView_GetChild(tree, root) : TreeView_GetNextSibling(tree, item)) {
            wchar_t buffer[64] = {};
            TVITEMW data{};
            data.mask = TVIF_TEXT;
            data.hItem = item;
            data.pszText = buffer;
            data.cchTextMax = 64;
            if (TreeView_GetItem(tree, &data) && std::u16string(reinterpret_cast<const char16_t*>(buffer)) == text)
                return item;
        }
    }
    return nullptr;
}

inline bool click_item(HWND tree, HTREEITEM item) {
    RECT rect{};
    if (!item || !TreeView_GetItemRect(tree, item, &rect, TRUE)) return false;
    click(tree, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return true;
}
