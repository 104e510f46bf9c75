// The video types the engine carves, in the order they are tried on a sector.
#include "video_formats.h"

namespace ember {

format_list video_formats() {
    static const format_t* const list[] = {
        &video::iso_media_format, &video::riff_format,      &video::asf_format,
        &video::flv_format,       &video::dpx_format,       &video::dv_format,
        &video::ifo_format,       &video::mpeg_ts_format,   &video::matroska_format,
        &video::mpeg_ps_format,   &video::realmedia_format, &video::swf_format,
    };
    return list;
}

}  // namespace ember
