// Fuzz target for the front end's JPEG header walk, which reads every found photo before its
// thumbnail is made: the size and the thumbnail it reports must lie inside the input.
#include <cstdint>
#include <cstdlib>

#include "media/jpeg_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jpeg_header_t header;
    jpeg_header_result_t result = read_jpeg_header(data, size, header);
    if (header.thumbnail_size > size || header.thumbnail_offset > size - header.thumbnail_size) std::abort();
    if (result == jpeg_header_result_t::ok && (header.width == 0 || header.height == 0)) std::abort();
    return 0;
}
