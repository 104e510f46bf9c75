// The image types the engine carves, in the order they are tried on a sector.
#include "core/format.h"

namespace ember {

format_list image_formats() {
    return {};
}

}  // namespace ember
