// Guards for painting, so that nothing drawn is freed by hand: BeginPaint/EndPaint, a window's
// DC given back, an object selected and put back, and an off-screen picture to compose in.
// A double-buffered WM_PAINT that paints the whole client area and copies it once:
//
//     LRESULT page_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
//         paint_dc_c paint(hwnd());
//         RECT client = client_rect(hwnd());
//         memory_dc_c buffer(paint.get(), client.right, client.bottom);
//         FillRect(buffer.get(), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
//         draw_bitmap(buffer.get(), background_.get(), 0, 0);
//         select_object_c font(buffer.get(), shared_font(font_face::verdana, 10, false));
//         TextOutW(buffer.get(), 20, 20, L"Text", 4);
//         buffer.copy_to(paint.get());
//         return 0;
//     }
//
// Declare the guards in this order (the paint DC, the buffer, then selections into it): they
// end in reverse, so every selection is undone before its DC or object goes.
#pragma once

#include <windows.h>

#include "base/handles_win.h"

inline RECT client_rect(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return client;
}

// BeginPaint for the lifetime of the object, EndPaint at its end.
class paint_dc_c {
public:
    explicit paint_dc_c(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~paint_dc_c() { EndPaint(window_, &paint_); }
    paint_dc_c(const paint_dc_c&) = delete;
    paint_dc_c& operator=(const paint_dc_c&) = delete;

    HDC get() const { return dc_; }
    // The part of the window that needs painting.
    const RECT& dirty() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// The DC of the whole window, frame included (GetWindowDC), given back with ReleaseDC.
class window_dc_c {
public:
    explicit window_dc_c(HWND window) : window_(window), dc_(GetWindowDC(window)) {}
    ~window_dc_c() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    window_dc_c(const window_dc_c&) = delete;
    window_dc_c& operator=(const window_dc_c&) = delete;

    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back at the end. Selecting nothing
// (a null object, as when a shared font is missing) leaves the DC as it is.
class select_object_c {
public:
    select_object_c(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
    ~select_object_c() {
        if (old_) SelectObject(dc_, old_);
    }
    select_object_c(const select_object_c&) = delete;
    select_object_c& operator=(const select_object_c&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// An off-screen picture of width x height compatible with `target`, selected into a DC of its
// own for the lifetime of the object; copy_to puts it onto the target in one step.
class memory_dc_c {
public:
    memory_dc_c(HDC target, int width, int height)
        : width_(width), height_(height), dc_(CreateCompatibleDC(target)),
          bitmap_(CreateCompatibleBitmap(target, width, height)), selection_(dc_.get(), bitmap_.get()) {}
    memory_dc_c(const memory_dc_c&) = delete;
    memory_dc_c& operator=(const memory_dc_c&) = delete;

    HDC get() const { return dc_.get(); }
    bool is_valid() const { return dc_.is_valid() && bitmap_.is_valid(); }
    int width() const { return width_; }
    int height() const { return height_; }
    // Copies the whole picture onto `target` with its top-left corner at (x, y).
    void copy_to(HDC target, int x = 0, int y = 0) const {
        if (is_valid()) BitBlt(target, x, y, width_, height_, dc_.get(), 0, 0, SRCCOPY);
    }

private:
    int width_, height_;
    dc_c dc_;
    bitmap_c bitmap_;
    select_object_c selection_;  // undone before bitmap_ and dc_ go
};
