// Walks a TIFF structure (IFD chain, SubIFDs, EXIF, GPS, interoperability and maker-note IFDs)
// and finds the furthest byte that anything in it points to: IFDs, out-of-line values, strips,
// tiles and embedded JPEGs. TIFF, DNG and the TIFF-based camera RAW files end there.
#pragma once

#include <cstdint>

#include "core/carve_input.h"

namespace ember {

struct tiff_facts_t {
    uint64_t end = 0;           // furthest byte referenced, relative to the input
    bool has_image_data = false;
    bool is_raw = false;        // a CFA or linear-raw image, or a maker's raw compression
    bool is_dng = false;
    char make[24] = {};         // IFD0 Make, NUL-terminated, may be cut short
    char model[24] = {};
    int ifds = 0;
    int dropped = 0;            // references that pointed past the input and were left out
};

// The byte order mark at `base` decides the order; the first IFD offset is at base + 4.
// False when there is no sound first IFD.
bool walk_tiff(carve_input_c& in, uint64_t base, tiff_facts_t& facts);

// Walks one IFD chain at base + first_ifd with the given order (for containers that embed a
// TIFF body without its header, or with a private magic).
bool walk_tiff_at(carve_input_c& in, uint64_t base, bool little, uint32_t first_ifd, tiff_facts_t& facts);

}  // namespace ember
