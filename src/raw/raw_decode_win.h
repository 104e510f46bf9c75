// Develops a camera RAW file with libraw into a 24-bit picture for its thumbnail, at half size or
// straight from the sensor's samples to a little more than thumbnail size, and fills the record's
// full size, time of the shot and camera on the way.
#pragma once

#include <string>

#include "base/found_file.h"
#include "picture/picture_win.h"

class raw_library_c;

enum class raw_size_t {
    // A Bayer sensor's samples binned to at least thumbnail size; other sensors at half size.
    // Either way the camera's preview stands in where the raw data is whole.
    thumbnail,
    half,  // a colour-filter sensor's 2 x 2 blocks as one pixel: no demosaicing
    full,
};

// 0 with `picture` holding the developed image, or -1. Writes the log line first; width,
// height, taken_time and camera_model are set once libraw has read the sizes and stay set even
// when developing fails later. `path` is the record's path, widened by the caller.
int decode_raw_photo(found_file_t& record, const std::u16string& path, picture_t& picture);
int decode_raw_photo(const raw_library_c& library, found_file_t& record, const std::u16string& path,
                     picture_t& picture, raw_size_t size = raw_size_t::thumbnail);
