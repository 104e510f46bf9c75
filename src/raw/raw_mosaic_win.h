// Describes the colour-filter samples LibRaw unpacked as a sensor mosaic for binning, where they
// are a plain Bayer pattern of red, green and blue.
#pragma once

#include "raw/raw_library_win.h"
#include "raw/sensor_bin.h"

// True with `mosaic` filled (pointing into `data`'s raw image) for an unpacked Bayer sensor whose
// black levels repeat with the 2 x 2 pattern; false for anything else (linear or three-colour raw
// data, X-Trans, Fuji's turned sensors, four-colour filters, sizes that do not add up).
bool describe_mosaic(const libraw_data_t& data, sensor_mosaic_t& mosaic);
