// The video types the engine carves, in the order they are tried on a sector.
#include "core/format.h"

namespace ember {

format_list video_formats() {
    return {};
}

}  // namespace ember
