// Small checks shared by the video carvers.
#pragma once

#include <cstdint>

#include "core/byte_order.h"

namespace ember::video {

// A four-character code of letters, digits, spaces and the few marks real boxes use.
inline bool is_fourcc_text(const uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

// The file's end when it ran past the data at hand: the data ends inside it, so it is what is left.
inline uint64_t clamp_end(uint64_t end, uint64_t size) { return end < size ? end : size; }

}  // namespace ember::video
