// Raw sample data (PCM sound, uncompressed pixels) has no framing of its own: nothing in it says
// where it ends but the size in its header. Where that size cannot be confirmed by the structure
// around it (it may be damaged), the data is taken only as far as it plausibly reaches: up to a
// long run of zero sectors (erased or never-written space, not sound), the next sector that starts
// with the candidate's own first four bytes (another file of its kind: samples do not hold a
// signature on a sector boundary, and a card of such headers would otherwise have its rest read
// once per header), or the end of the source. Another file's start inside it is the scan's to
// find (find_layout.h).
#pragma once

#include <cstdint>

#include "core/carve_input.h"

namespace ember {

// Digital silence this long (0.7 s of CD sound) inside sound whose size nothing confirms is
// taken for space the file never reached.
constexpr uint64_t sound_zero_run = 128 * 1024;
// Sensor data and pixels whose stated size is known to be damaged hold no run of zeros this long
// (a sensor's black level is above zero).
constexpr uint64_t picture_zero_run = 4 * 1024;

// The end of the raw samples that start at `begin` and should end at `stated`: the start of the
// first run of at least zero_run zero bytes on sector boundaries, or of the first sector after
// begin that starts as the candidate does, or stated, or the source's end.
uint64_t raw_sample_end(carve_input_c& in, uint64_t begin, uint64_t stated, uint64_t zero_run = sound_zero_run);

}  // namespace ember
