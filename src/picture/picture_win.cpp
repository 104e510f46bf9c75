#include "picture/picture_win.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "ui/painting_win.h"

namespace {

std::atomic<long> live_picture_count{0};

}  // namespace

long live_pictures() { return live_picture_count.load(); }

void picture_t::reset() {
    if (bitmap.is_valid()) --live_picture_count;
    bitmap.reset();
    bits = nullptr;
    width = height = bits_per_pixel = 0;
    stride = 0;
}

int create_picture(picture_t& picture, int32_t width, int32_t height, int32_t bits_per_pixel,
                   const RGBQUAD* palette, uint32_t palette_size) {
    picture.reset();
    if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > max_picture_pixels)
        return -1;
    bool is_indexed = bits_per_pixel == 1 || bits_per_pixel == 4 || bits_per_pixel == 8;
    if (!is_indexed && bits_per_pixel != 24 && bits_per_pixel != 32) return -1;
    if (is_indexed && (!palette || palette_size == 0 || palette_size > (1u << bits_per_pixel)))
        return -1;
    std::vector<uint8_t> header(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    auto* info = reinterpret_cast<BITMAPINFO*>(header.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = -height;  // top-down rows
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<WORD>(bits_per_pixel);
    info->bmiHeader.biCompression = BI_RGB;
    if (is_indexed) {
        info->bmiHeader.biClrUsed = palette_size;
        std::memcpy(info->bmiColors, palette, palette_size * sizeof(RGBQUAD));
    }
    void* bits = nullptr;
    bitmap_c bitmap(CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap.is_valid() || !bits) return -1;
    picture.bitmap = std::move(bitmap);
    ++live_picture_count;
    picture.bits = static_cast<uint8_t*>(bits);
    picture.width = width;
    picture.height = height;
    picture.bits_per_pixel = bits_per_pixel;
    picture.stride = ((size_t(width) * size_t(bits_per_pixel) + 31) / 32) * 4;  // DWORD-aligned
    return 0;
}

pixel_rows_t picture_rows(const picture_t& picture) {
    if (!picture.bits || (picture.bits_per_pixel != 24 && picture.bits_per_pixel != 32)) return {};
    return {picture.bits, picture.width, picture.height, picture.stride, picture.bits_per_pixel / 8};
}

int draw_picture(const picture_t& source, picture_t& target, int stretch_mode, const pixel_area_t* area) {
    if (!source.bitmap.is_valid() || !target.bitmap.is_valid()) return -1;
    pixel_area_t from = area ? *area : pixel_area_t{0, 0, source.width, source.height};
    if (from.left < 0 || from.top < 0 || from.width <= 0 || from.height <= 0 ||
        from.width > source.width - from.left || from.height > source.height - from.top)
        return -1;
    dc_c source_dc(CreateCompatibleDC(nullptr));
    dc_c target_dc(CreateCompatibleDC(nullptr));
    if (!source_dc.is_valid() || !target_dc.is_valid()) return -1;
    select_object_c source_selection(source_dc.get(), source.bitmap.get());
    select_object_c target_selection(target_dc.get(), target.bitmap.get());
    SetStretchBltMode(target_dc.get(), stretch_mode);
    if (stretch_mode == HALFTONE) SetBrushOrgEx(target_dc.get(), 0, 0, nullptr);  // as HALFTONE needs
    int result = StretchBlt(target_dc.get(), 0, 0, target.width, target.height, source_dc.get(), from.left,
                            from.top, from.width, from.height, SRCCOPY)
                     ? 0
                     : -1;
    GdiFlush();
    return result;
}
