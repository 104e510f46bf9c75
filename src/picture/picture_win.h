// A decoded picture in memory: a top-down GDI DIB section that can be stretched onto another
// picture and saved through a GDI+ encoder.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "picture/preview_area.h"
#include "base/handles_win.h"

// Larger pictures are refused before any pixel memory is taken (about 1 GiB at 32 bits).
constexpr uint64_t max_picture_pixels = uint64_t(1) << 28;

struct picture_t {
    bitmap_c bitmap;
    uint8_t* bits = nullptr;   // row y starts at bits + y * stride
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits_per_pixel = 0;
    size_t stride = 0;

    picture_t() = default;
    picture_t(const picture_t&) = delete;
    picture_t& operator=(const picture_t&) = delete;
    ~picture_t() { reset(); }
    void reset();
};

// Makes `picture` a width x height DIB of 1, 4, 8, 24 or 32 bits per pixel; the palette is for
// the indexed depths (1 to 256 entries). 0 or -1.
int create_picture(picture_t& picture, int32_t width, int32_t height, int32_t bits_per_pixel,
                   const RGBQUAD* palette = nullptr, uint32_t palette_size = 0);

// How many pictures hold a bitmap now, in the whole process: each is one GDI object.
long live_pictures();

// Stretches the whole of `source`, or the part `area` of it, onto the whole of `target` with the
// given stretch mode.
int draw_picture(const picture_t& source, picture_t& target, int stretch_mode,
                 const pixel_area_t* area = nullptr);

// The picture's rows for portable code; empty for the indexed depths.
pixel_rows_t picture_rows(const picture_t& picture);
