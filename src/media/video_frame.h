// Where the first frame of a motion-JPEG video lies in its file, so that the video's thumbnail
// can be that frame decoded by the photo decoder. AVI (RIFF): the first video chunk ("##dc" or
// "##db") of the "movi" list. QuickTime and MP4 (ISO base media): the first sample of the first
// video track whose sample description is JPEG ("jpeg", "mjpa"), found through its chunk offset
// and sample size tables. Other codecs have no frame here.
#pragma once

#include <cstddef>
#include <cstdint>

struct video_frame_t {
    size_t offset = 0;  // the frame's bytes within the file, a JPEG starting with its SOI marker
    size_t size = 0;
};

// False when the file is no motion-JPEG AVI or QuickTime/MP4 file, or its first frame lies
// outside the data.
bool find_first_jpeg_frame(const uint8_t* data, size_t size, video_frame_t& frame);
