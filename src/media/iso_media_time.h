// The moment an ISO base media file (MP4, MOV, 3GP) was made: the creation time in its movie
// header ('mvhd' inside 'moov', ISO/IEC 14496-12 8.2.2), counted from 1904-01-01 UTC. Cameras
// often put 'moov' after the media data, so the walk reads box headers from a source and skips
// bodies, never the media itself.
#pragma once

#include <cstdint>

#include "core/byte_source.h"

enum class iso_media_time_result_t {
    ok,               // `unix_seconds` is set
    no_time,          // a movie header without a creation time (0 or out of range)
    truncated,        // the file ended before a movie header
    corrupt,          // a box size no file can have
    not_this_format,  // the first box is not 'ftyp', 'moov', 'mdat', 'free', 'skip' or 'wide'
};

iso_media_time_result_t read_iso_media_time(ember::byte_source_i& source, int64_t& unix_seconds);
