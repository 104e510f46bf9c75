// The video carvers, one per search name; video_formats.cpp lists them in scan order.
#pragma once

#include "core/format.h"

namespace ember::video {

extern const format_t iso_media_format;  // "mov"
extern const format_t riff_format;       // "riff"
extern const format_t asf_format;        // "asf"
extern const format_t flv_format;        // "flv"
extern const format_t dpx_format;        // "dpx"
extern const format_t dv_format;         // "dv"
extern const format_t ifo_format;        // "ifo"
extern const format_t mpeg_ts_format;    // "m2ts"
extern const format_t matroska_format;   // "mkv"
extern const format_t mpeg_ps_format;    // "mpg"
extern const format_t realmedia_format;  // "rm"
extern const format_t swf_format;        // "swf"

}  // namespace ember::video
