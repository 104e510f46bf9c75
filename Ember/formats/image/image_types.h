// The photo carvers, one object per file type; image_formats() lists them in dispatch order.
#pragma once

#include "core/format.h"

namespace ember {

extern const format_t tif_format;
extern const format_t raf_format;
extern const format_t x3f_format;
extern const format_t orf_format;
extern const format_t rw2_format;
extern const format_t crw_format;
extern const format_t mrw_format;
extern const format_t png_format;
extern const format_t gif_format;
extern const format_t bmp_format;
extern const format_t jpg_format;
extern const format_t ico_format;
extern const format_t psd_format;

}  // namespace ember
