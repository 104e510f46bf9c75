// The sample tables of an ISO base media (QuickTime, MP4) movie box: where each track's chunks
// and samples lie. They say which bytes of the media data are the file's own.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/carve_input.h"

namespace ember::video {

struct iso_samples_t {
    uint64_t samples = 0;  // samples that lie in the media data
    uint64_t end = 0;      // the furthest byte of those samples, 0 when there are none
};

// Reads the sample tables of the moov box body [body, end) and measures the samples whose chunk
// starts inside one of the media data ranges (the bodies of the mdat boxes, [begin, end)); each
// sample's start is recorded in in.layout() as an embedded start.
iso_samples_t read_iso_samples(carve_input_c& in, uint64_t body, uint64_t end,
                               const std::vector<std::pair<uint64_t, uint64_t>>& media);

}  // namespace ember::video
