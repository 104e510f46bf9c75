// The bytes a picture decoder may be given. A found file may end anywhere and hold any value, and
// GDI+ (with the codecs beneath it) faults on a JPEG segment whose length says more than the file
// holds, and reads metadata blocks it does not need. So JPEG, PNG and GIF files are walked first
// and the decoder gets a copy of only the whole structures it needs, closed properly where the
// file was cut. BMP and TIFF reach their pixels through offsets, which the decoders check against
// the data they are given, and are handed on whole; anything else is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class picture_bytes_result_t {
    ok,               // the file is whole; `out` holds what the decoder needs of it
    truncated,        // the file ends early; `out` holds what exists, closed, when pixels exist
    corrupt,          // a length or value no such file can have; `out` is empty
    not_this_format,  // none of the five formats; `out` is empty
};

// Fills `out` with the bytes to decode, or leaves it empty when there is nothing to decode.
picture_bytes_result_t prepare_picture_bytes(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
