// Whether a camera's embedded preview can stand in for the photo when a thumbnail is made, and
// which part of it to use. Cameras that follow DCF store a 160 x 120 preview whatever the shape
// of the sensor, padding a 3:2 or 16:9 photo with black bands; others store the photo's shape.
#pragma once

#include <cstddef>
#include <cstdint>

// Rows of 24- or 32-bit pixels, blue first, as a DIB section holds them.
struct pixel_rows_t {
    const uint8_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;
    int32_t bytes_per_pixel = 0;
};

struct pixel_area_t {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The part of `preview` that shows the whole photo of photo_width x photo_height: all of it when
// the shapes agree, the middle when black bands pad it. False when the preview cannot stand in:
// another shape without black bands, or a part smaller than min_width x min_height (a thumbnail
// is never made by enlarging a preview).
bool find_preview_area(const pixel_rows_t& preview, uint32_t photo_width, uint32_t photo_height,
                       int32_t min_width, int32_t min_height, pixel_area_t& area);
