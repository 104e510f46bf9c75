// The image types the engine carves, in the order they are tried on a sector.
#include "formats/image/image_types.h"

namespace ember {

format_list image_formats() {
    static const format_t* const list[] = {
        &tif_format, &raf_format, &x3f_format, &orf_format, &rw2_format, &crw_format, &mrw_format,
        &png_format, &gif_format, &bmp_format, &jpg_format, &ico_format, &psd_format,
    };
    return list;
}

}  // namespace ember
