// The pixels a window's client area shows on the screen now, to check where things were drawn:
// which rows of an area carry anything but the background colour. A window of another process
// is read from the screen (on_screen), since Wine gives no other process its window's pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/handles_win.h"
#include "ui/painting_win.h"

class window_capture_c {
public:
    enum class source_t { window, screen };
    explicit window_capture_c(HWND window, source_t source = source_t::window) {
        RECT client = client_rect(window);
        POINT origin{0, 0};
        if (source == source_t::screen) ClientToScreen(window, &origin);
        HWND drawn = source == source_t::screen ? nullptr : window;
        width_ = client.right, height_ = client.bottom;
        pixels_.resize(static_cast<size_t>(width_) * height_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        HDC screen = GetDC(drawn);
        dc_c memory(CreateCompatibleDC(screen));
        void* bits = nullptr;
        bitmap_c picture(CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        {
            select_object_c chosen(memory.get(), picture.get());
            BitBlt(memory.get(), 0, 0, width_, height_, screen, origin.x, origin.y, SRCCOPY);
            GdiFlush();
        }
        ReleaseDC(drawn, screen);
        if (bits) std::memcpy(pixels_.data(), bits, pixels_.size() * sizeof(uint32_t));
    }

    COLORREF at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The first and last row of `area` with a pixel of another colour than `background`; -1 if none.
    int first_ink_row(const RECT& area, COLORREF background) const {
        for (int y = area.top; y < area.bottom; ++y)
            if (row_has_ink(y, area, background)) return y;
        return -1;
    }
    int last_ink_row(const RECT& area, COLORREF background) const {
        for (int y = area.bottom - 1; y >= area.top; --y)
            if (row_has_ink(y, area, background)) return y;
        return -1;
    }

private:
    bool row_has_ink(int y, const RECT& area, COLORREF background) const {
        for (int x = area.left; x < area.right; ++x)
            if (at(x, y) != background) return true;
        return false;
    }

    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};
