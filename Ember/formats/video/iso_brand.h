// The kind of an ISO base media file from its ftyp box's brands: what the carver names a find,
// and what a head kept without its movie box is named by.
#pragma once

#include <cstdint>

namespace ember::video {

// The extension from the major brand, then the compatible brands ("mp4" when none is known);
// nullptr for HEIF stills and raw photos, which share the box layout but are not videos. ftyp
// holds the whole box of `size` bytes (at least 16).
const char* iso_kind_of(const uint8_t* ftyp, uint32_t size);

}  // namespace ember::video
