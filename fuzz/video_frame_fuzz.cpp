// Fuzz target for the walk that finds a motion-JPEG video's first frame for its thumbnail: the
// frame it reports must lie inside the input and start with a JPEG's start marker.
#include <cstdint>
#include <cstdlib>

#include "media/video_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    video_frame_t frame;
    if (!find_first_jpeg_frame(data, size, frame)) return 0;
    if (frame.size > size || frame.offset > size - frame.size || frame.size < 2 || data[frame.offset] != 0xFF ||
        data[frame.offset + 1] != 0xD8)
        std::abort();
    return 0;
}
