// The first frame of a video that Windows' Media Foundation source reader decodes (H.264, HEVC,
// MPEG-4 and whatever else the system's decoders take; under Wine, GStreamer's). The reader runs
// on a thread of its own for each video, bounded in time: a video that no decoder reads, or one
// that stalls the decoder, keeps its placeholder and never holds up the thumbnail worker.
#pragma once

#include <cstdint>
#include <string>

#include "picture/picture_win.h"

struct video_frame_size_t {
    int32_t width = 0;
    int32_t height = 0;
};

// 0 with `picture` (24-bit) holding the video's first frame and `size` its size, or -1.
int decode_video_frame(const std::u16string& path, picture_t& picture, video_frame_size_t& size);
