// The audio types the engine carves, in the order they are tried on a sector.
#include "audio_types.h"

namespace ember {

format_list audio_formats() {
    static const format_t* const list[] = {
        &aiff_format, &ape_format, &au_format, &caf_format, &flac_format, &it_format,
        &midi_format, &mp3_format, &ogg_format, &wavpack_format, &xm_format,
    };
    return list;
}

}  // namespace ember
