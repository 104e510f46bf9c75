// Which decoder, if any, makes the thumbnail of a found file: chosen by the lower-cased
// extension of the file's name, dot included.
#pragma once

#include <string_view>

enum class thumbnail_group_t {
    none,
    picture,  // GDI+: ".bmp", ".gif", ".jpeg", ".jpg", ".png", ".tiff"
    raw,      // libraw: ".tif" and the camera RAW extensions
    video,    // the JPEG decoder on a motion-JPEG video's first frame: ".avi", ".mov", ".mp4", ".m4v", ".3gp"
};

thumbnail_group_t find_thumbnail_group(std::u16string_view lower_extension);
