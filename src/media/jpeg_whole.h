// Whether a JPEG's main image decodes to its end, checked by walking its entropy-coded data with
// the engine's walk (no pixels are made). A camera's embedded preview sits before that data, so
// it survives damage to the photo; only a photo found whole may let its preview stand in for it.
#pragma once

#include <cstddef>
#include <cstdint>

enum class jpeg_whole_t {
    whole,        // every MCU decodes and the end-of-image marker follows
    damaged,      // the data stops decoding somewhere, or ends early
    not_checked,  // a JPEG the walk does not handle (progressive, lossless, several scans)
};

// Which photos are walked: a progressive photo's walk keeps every block's coefficients in
// step scan by scan and costs about what decoding it does, a sequential one's a fraction of that.
enum class jpeg_walked_t { any, sequential_only };

jpeg_whole_t check_jpeg_whole(const uint8_t* data, size_t size, jpeg_walked_t walked = jpeg_walked_t::any);
