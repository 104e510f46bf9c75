// Reading a found file into memory, decoding it with GDI+ and writing thumbnails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "picture/picture_win.h"

// Found files of 1 byte to 64 MiB are read whole; anything else is refused.
constexpr uint64_t max_found_file_bytes = 67108864;

constexpr int32_t thumbnail_width = 117;
constexpr int32_t thumbnail_height = 82;

// Starts GDI+ once per process (it stays started); false when it cannot start.
bool start_gdiplus();

// 0 with every byte of the file at `path`, or -1 when it cannot be read, is empty or is larger
// than max_found_file_bytes, also when it grew past the limit after its size was taken.
int read_whole_file(const std::u16string& path, std::vector<uint8_t>& bytes);

// 0 with the first `limit` bytes of the file at `path` (all of a shorter one), or -1 when it cannot
// be read or is empty.
int read_file_start(const std::u16string& path, size_t limit, std::vector<uint8_t>& bytes);

// 0 with the first frame of the picture in `bytes`: formats with alpha become 32-bit with alpha,
// 24-bit RGB and indexed formats keep their depth (and palette), everything else 32-bit RGB.
int decode_picture(const uint8_t* bytes, size_t size, picture_t& picture);
inline int decode_picture(const std::vector<uint8_t>& bytes, picture_t& picture) {
    return decode_picture(bytes.data(), bytes.size(), picture);
}

// 0 with the first frame of the picture file at `path` (ANSI, at most max_found_file_bytes),
// converted as decode_picture does; the file is not kept open.
int load_picture_file(const char* path, picture_t& picture);

// The size of the picture a thumbnail was made from, 0 where it is not known.
struct found_size_t {
    int32_t width = 0;
    int32_t height = 0;
};

// Stretches the whole of `source` (or the part `area` of it) onto a 117 x 82, 24-bit picture
// (HALFTONE) and writes it to `thumb_path` with the GDI+ encoder for the path's extension; a PNG
// keeps `source_size` in a text chunk. A failure is not reported; a thumbnail not written whole
// is removed.
void save_thumbnail(const picture_t& source, const std::u16string& thumb_path, const found_size_t& source_size,
                    const pixel_area_t* area = nullptr);

// True with the source size kept in the thumbnail PNG at `thumb_path` by save_thumbnail.
bool read_thumbnail_source_size(const std::u16string& thumb_path, found_size_t& size);
