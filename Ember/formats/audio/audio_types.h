// The audio carvers, one per file in this folder; audio_formats.cpp lists them in scan order.
#pragma once

#include "core/format.h"

namespace ember {

extern const format_t aiff_format;
extern const format_t ape_format;
extern const format_t au_format;
extern const format_t caf_format;
extern const format_t flac_format;
extern const format_t it_format;
extern const format_t midi_format;
extern const format_t mp3_format;
extern const format_t ogg_format;
extern const format_t wavpack_format;
extern const format_t xm_format;

}  // namespace ember
