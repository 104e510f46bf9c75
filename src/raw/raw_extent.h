// Whether a TIFF-based camera RAW file (DNG, CR2, NEF, ARW, ORF, RW2, PEF...) still holds all of
// its raw data: every strip, tile and value its IFDs point to lies inside the file. Only then may
// the camera's embedded preview stand in for the developed photo; a cut file is developed, so its
// thumbnail shows what is left of the sensor data rather than a picture of what was lost.
#pragma once

#include <cstddef>
#include <cstdint>

bool is_raw_data_whole(const uint8_t* data, size_t size);
