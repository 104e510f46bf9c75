// When a photo or video was taken and with which camera, from the file's own header: Exif for a
// JPEG, the movie header for MP4, MOV and 3GP. RAW files get theirs from LibRaw with their
// thumbnail (raw_decode_win.h).
#pragma once

#include <string>

#include "base/found_file.h"

// Sets taken_time (UTC) and camera_model where the file tells them; leaves them as they are
// where it does not.
void read_media_facts(const std::u16string& path, found_file_t& record);
