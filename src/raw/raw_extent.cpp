#include "raw/raw_extent.h"

#include <span>

#include "core/carve_input.h"
#include "formats/image/tiff_walk.h"

bool is_raw_data_whole(const uint8_t* data, size_t size) {
    if (!data || size < 8) return false;
    ember::carve_input_c in(std::span<const uint8_t>(data, size));
    ember::tiff_facts_t facts;
    // The walk takes the byte order from the first two bytes and does not insist on TIFF's magic
    // number, so Olympus ("IIRO") and Panasonic ("IIU") headers are walked too.
    if (!ember::walk_tiff(in, 0, facts)) return false;
    // Not only walks that found a raw IFD: a Canon CR2's raw strip has no tag that says raw. The
    // raw data of the TIFF-based formats is always among the strips and tiles.
    return facts.has_image_data && facts.dropped == 0 && facts.end <= size;
}
