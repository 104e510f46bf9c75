// The first frame of a video that Windows' Media Foundation source reader decodes (H.264, HEVC,
// MPEG-4 and whatever else the system's decoders take; under Wine, GStreamer's). The reader runs
// on a thread of its own for each video, bounded in time: a video that no decoder reads, or one
// that stalls the decoder, keeps its placeholder and never holds up the thumbnail worker.
#pragma once

#include <cstdint>
#include <string>

#include "picture/picture_win.h"

struct IMFByteStream;

struct video_frame_size_t {
    int32_t width = 0;
    int32_t height = 0;
};

// 0 with `picture` (24-bit) holding the video's first frame and `size` its size, or -1.
int decode_video_frame(const std::u16string& path, picture_t& picture, video_frame_size_t& size);

// The same without first checking that the file can be played (an MP4 or QuickTime file must have
// its movie box), from a file or from a byte stream (which carries the file's name for finding
// its demuxer): for tests that need a reader that never comes back.
int read_video_frame(const std::u16string& path, picture_t& picture, video_frame_size_t& size);
int read_video_frame(IMFByteStream* stream, picture_t& picture, video_frame_size_t& size);

// For the program's closing: every wait for a reader ends at once, now and from then on (the
// call returns -1), so the thumbnail workers can be joined without waiting out a stuck decoder.
void stop_video_readers();
// Reader threads still running, given up on or not.
int running_video_readers();
// The program's last step: while a reader thread may still be inside Media Foundation, the normal
// exit would unload the decoders under it (GStreamer's under Wine, whose own threads go on and
// crash the process as it ends), so the process ends here with `exit_code`, without the DLLs'
// detach notifications; everything of the program's own has been closed by then. Returns when
// no reader runs.
void end_process_if_readers_run(unsigned exit_code);
