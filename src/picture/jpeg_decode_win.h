// Decodes a JPEG's main image at reduced scale (the decoder's DCT scaling by 1/2, 1/4 or 1/8)
// for thumbnails, and tells where its data stops decoding: the rows from there on are painted
// grey, so that a damaged or cut photo shows its damage.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/picture_win.h"

class jpeg_library_c;

struct jpeg_decode_t {
    int32_t width = 0;        // the photo's full size, from its frame header
    int32_t height = 0;
    int32_t whole_rows = 0;   // full-size rows before the first damage; `height` when none
    bool is_damaged = false;
};

enum class jpeg_decode_result_t {
    ok,           // `picture` holds the photo, damaged rows grey
    refused,      // a JPEG whose data gives no row of the picture
    not_handled,  // no decoder, or a JPEG it leaves to another (CMYK)
};

// Decodes at the largest reduction that keeps the picture at least min_width x min_height.
jpeg_decode_result_t decode_jpeg_reduced(const uint8_t* data, size_t size, int32_t min_width, int32_t min_height,
                                         picture_t& picture, jpeg_decode_t& info);
jpeg_decode_result_t decode_jpeg_reduced(const jpeg_library_c& library, const uint8_t* data, size_t size,
                                         int32_t min_width, int32_t min_height, picture_t& picture,
                                         jpeg_decode_t& info);
