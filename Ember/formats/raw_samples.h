// Raw sample data (PCM sound, uncompressed pixels) has no framing of its own: nothing in it says
// where it ends but the size in its header. Where that size cannot be confirmed by the structure
// around it (it may be damaged), the data is taken only as far as it plausibly reaches: up to a
// long run of zero sectors (erased or never-written space, not sound), or the end of the source.
// Another file's start inside it is the scan's to find (find_layout.h).
#pragma once

#include <cstdint>

#include "core/carve_input.h"

namespace ember {

// The end of the raw samples that start at `begin` and should end at `stated`.
uint64_t raw_sample_end(carve_input_c& in, uint64_t begin, uint64_t stated);

}  // namespace ember
