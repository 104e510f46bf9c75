// What a JPEG says about itself before its pixels: the picture's size from the frame header,
// where the camera's own preview (the Exif thumbnail, a small JPEG of its own) lies in the file,
// and the camera and the moment the photo was taken from the Exif block.
// Reading these costs a walk over the first segments, not a decode.
#pragma once

#include <cstddef>
#include <cstdint>

struct jpeg_header_t {
    uint32_t width = 0;
    uint32_t height = 0;
    // The embedded thumbnail's bytes within the file; size 0 when there is none.
    size_t thumbnail_offset = 0;
    size_t thumbnail_size = 0;
    // Exif's Make, Model and DateTimeOriginal ("YYYY:MM:DD HH:MM:SS", the camera's wall clock),
    // each cut to its field and terminated; empty when absent. Read even when the walk then
    // fails, since the Exif block comes first.
    char make[32] = {};
    char model[32] = {};
    char date_taken[20] = {};
};

enum class jpeg_header_result_t {
    ok,               // width and height are set; the thumbnail when the file has one
    truncated,        // the data ended before the frame header
    corrupt,          // a marker or length no JPEG can have, or a frame of width or height 0
    not_this_format,  // no start-of-image marker
};

jpeg_header_result_t read_jpeg_header(const uint8_t* data, size_t size, jpeg_header_t& header);
