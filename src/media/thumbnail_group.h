// Which decoder, if any, makes the thumbnail of a found file: chosen by the lower-cased
// extension of the file's name, dot included.
#pragma once

#include <string>
#include <string_view>

enum class thumbnail_group_t {
    none,
    picture,  // GDI+: ".bmp", ".gif", ".jpeg", ".jpg", ".png", ".tiff"
    raw,      // libraw: ".tif" and the camera RAW extensions
    video,    // the JPEG decoder on a motion-JPEG video's first frame: ".avi", ".mov", ".mp4", ".m4v", ".3gp"
};

// The text from the last '.' of the final path component ('/' or '\' end a folder) to the end,
// lower-cased; empty when the final component has no '.'.
std::u16string lower_extension(std::u16string_view path);

thumbnail_group_t find_thumbnail_group(std::u16string_view lower_extension);
