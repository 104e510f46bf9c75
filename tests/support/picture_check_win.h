// Reads a written picture back through GDI+ so that tests check what a viewer would see.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <string>

struct read_back_t {
    bool is_read = false;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits_per_pixel = 0;
    bool has_alpha = false;
    Gdiplus::GpBitmap* bitmap = nullptr;

    read_back_t() = default;
    read_back_t(const read_back_t&) = delete;
    read_back_t& operator=(const read_back_t&) = delete;
    ~read_back_t() {
        if (bitmap) Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
    // The pixel's colour as 0xRRGGBB.
    uint32_t rgb(int x, int y) const {
        Gdiplus::ARGB colour = 0;
        Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, x, y, &colour);
        return colour & 0xFFFFFF;
    }
};

inline void read_back(const std::wstring& path, read_back_t& out) {
    using namespace Gdiplus::DllExports;
    static ULONG_PTR token = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR t = 0;
        Gdiplus::GdiplusStartup(&t, &input, nullptr);
        return t;
    }();
    (void)token;
    if (GdipCreateBitmapFromFile(path.c_str(), &out.bitmap) != Gdiplus::Ok) return;
    Gdiplus::PixelFormat format = 0;
    GdipGetImageWidth(out.bitmap, &out.width);
    GdipGetImageHeight(out.bitmap, &out.height);
    GdipGetImagePixelFormat(out.bitmap, &format);
    out.bits_per_pixel = Gdiplus::GetPixelFormatSize(format);
    out.has_alpha = Gdiplus::IsAlphaPixelFormat(format);
    out.is_read = true;
}

// Which of the test pictures' quarter colours a pixel is closest to, allowing for JPEG and
// HALFTONE averaging: "red", "green", "blue", "white" or "other".
inline std::string colour_name(uint32_t rgb) {
    int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    auto high = [](int v) { return v >= 180; };
    auto low = [](int v) { return v <= 80; };
    if (high(r) && high(g) && high(b)) return "white";
    if (high(r) && low(g) && low(b)) return "red";
    if (low(r) && high(g) && low(b)) return "green";
    if (low(r) && low(g) && high(b)) return "blue";
    if (high(r) && high(g) && low(b)) return "yellow";
    return "other";
}
