// raw_library_win.h first: libraw wants winsock2.h ahead of windows.h.
#include "raw/raw_library_win.h"
#include "raw/raw_decode_win.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "picture/jpeg_decode_win.h"
#include "picture/picture_io_win.h"
#include "raw/raw_extent.h"
#include "raw/raw_log.h"
#include "raw/raw_mosaic_win.h"
#include "raw/sensor_bin.h"

namespace {

size_t bounded_length(const char* text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != '\0') ++n;
    return n;
}

void fill_record(const libraw_data_t& data, found_file_t& record) {
    record.taken_time = static_cast<int64_t>(data.other.timestamp);
    // make and model are fixed arrays; a missing terminator must not run past them.
    int make_length = static_cast<int>(bounded_length(data.idata.make, sizeof data.idata.make));
    int model_length = static_cast<int>(bounded_length(data.idata.model, sizeof data.idata.model));
    std::snprintf(record.camera_model, sizeof record.camera_model, "%.*s %.*s", make_length,
                  data.idata.make, model_length, data.idata.model);
    record.width = data.sizes.width;
    record.height = data.sizes.height;
}

// Copies libraw's RGB triplets (red first) into the DIB's blue-green-red order.
int copy_processed_image(const libraw_processed_image_t& image, const uint8_t* data, uint64_t data_size,
                         picture_t& picture) {
    if (image.type != LIBRAW_IMAGE_BITMAP || image.colors != 3 || image.bits != 8) return -1;
    uint64_t needed = uint64_t(image.width) * image.height * 3;
    if (needed == 0 || data_size < needed) return -1;
    if (create_picture(picture, image.width, image.height, 24) != 0) return -1;
    const uint8_t* source = data;
    for (int32_t y = 0; y < picture.height; ++y) {
        uint8_t* row = picture.bits + size_t(y) * picture.stride;
        for (int32_t x = 0; x < picture.width; ++x, source += 3) {
            row[x * 3 + 0] = source[2];
            row[x * 3 + 1] = source[1];
            row[x * 3 + 2] = source[0];
        }
    }
    return 0;
}

// LibRaw's orientation code: bit 4 swaps rows and columns, then bit 2 turns the picture upside
// down and bit 1 mirrors it, as the developed image is turned. Some files give degrees instead.
int orientation(const libraw_image_sizes_t& sizes) {
    switch ((sizes.flip + 3600) % 360) {
    case 270: return 5;
    case 180: return 3;
    case 90: return 6;
    }
    return sizes.flip & 7;
}

// `source` (24-bit) turned as the developed photo would be.
int turn_picture(const picture_t& source, int flip, picture_t& target) {
    bool is_swapped = (flip & 4) != 0;
    int32_t width = is_swapped ? source.height : source.width, height = is_swapped ? source.width : source.height;
    if (create_picture(target, width, height, 24) != 0) return -1;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = target.bits + size_t(y) * target.stride;
        for (int32_t x = 0; x < width; ++x) {
            int32_t sy = is_swapped ? x : y, sx = is_swapped ? y : x;
            if (flip & 2) sy = source.height - 1 - sy;
            if (flip & 1) sx = source.width - 1 - sx;
            const uint8_t* from = source.bits + size_t(sy) * source.stride + size_t(sx) * 3;
            row[x * 3 + 0] = from[0];
            row[x * 3 + 1] = from[1];
            row[x * 3 + 2] = from[2];
        }
    }
    return 0;
}

// The camera's embedded preview in place of developing the sensor data, ten times faster for a
// camera's large JPEG preview. Only for a file whose raw data is all there, and a preview that
// decodes without damage and shows the whole photo at thumbnail size or more (its black bands
// left out); `picture` is then the part of it that shows the photo, turned as the photo is.
bool read_preview(const raw_api_t& raw, libraw_data_t* handle, const std::vector<uint8_t>& bytes,
                  picture_t& picture) {
    if (!is_raw_data_whole(bytes.data(), bytes.size()) || raw.unpack_thumb(handle) != 0) return false;
    const libraw_thumbnail_t& thumb = handle->thumbnail;
    if (!thumb.thumb || thumb.tlength == 0) return false;
    picture_t preview;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG) {
        jpeg_decode_t info;
        if (decode_jpeg_reduced(reinterpret_cast<const uint8_t*>(thumb.thumb), thumb.tlength, thumbnail_width,
                                thumbnail_height, preview, info) != jpeg_decode_result_t::ok ||
            info.is_damaged)
            return false;
    } else if (thumb.tformat == LIBRAW_THUMBNAIL_BITMAP) {
        libraw_processed_image_t image{};
        image.type = LIBRAW_IMAGE_BITMAP;
        image.width = thumb.twidth;
        image.height = thumb.theight;
        image.colors = static_cast<ushort>(thumb.tcolors);
        image.bits = 8;
        if (uint64_t(thumb.twidth) * thumb.theight * 3 > thumb.tlength) return false;
        // Only the header fields are taken from `image`; the pixels are the thumbnail's.
        if (copy_processed_image(image, reinterpret_cast<const uint8_t*>(thumb.thumb), thumb.tlength, preview) != 0)
            return false;
    } else {
        return false;
    }
    int flip = orientation(handle->sizes);
    picture_t turned;
    const picture_t* shown = &preview;
    if (flip != 0) {
        if (turn_picture(preview, flip, turned) != 0) return false;
        shown = &turned;
    }
    uint32_t width = handle->sizes.width, height = handle->sizes.height;
    if (flip & 4) std::swap(width, height);
    pixel_area_t area;
    if (!find_preview_area(picture_rows(*shown), width, height, thumbnail_width, thumbnail_height, area) ||
        create_picture(picture, area.width, area.height, 24) != 0 ||
        draw_picture(*shown, picture, COLORONCOLOR, &area) != 0) {
        picture.reset();
        return false;
    }
    return true;
}

// A Bayer sensor's samples binned straight to a little more than thumbnail size, turned as the
// photo is: no demosaicing, no development of millions of pixels that are shrunk right after.
bool bin_for_thumbnail(const libraw_data_t& data, picture_t& picture) {
    sensor_mosaic_t mosaic;
    binned_picture_t binned;
    if (!describe_mosaic(data, mosaic) || bin_sensor(mosaic, thumbnail_width, thumbnail_height, binned) != 0)
        return false;
    int flip = orientation(data.sizes);
    picture_t plain;
    picture_t& target = flip == 0 ? picture : plain;
    if (create_picture(target, int32_t(binned.width), int32_t(binned.height), 24) != 0) return false;
    for (uint32_t y = 0; y < binned.height; ++y)
        std::memcpy(target.bits + size_t(y) * target.stride, binned.bgr.data() + size_t(y) * binned.width * 3,
                    size_t(binned.width) * 3);
    return flip == 0 || turn_picture(plain, flip, picture) == 0;
}

}  // namespace

int decode_raw_photo(found_file_t& record, const std::u16string& path, picture_t& picture) {
    return decode_raw_photo(raw_library(), record, path, picture);
}

int decode_raw_photo(const raw_library_c& library, found_file_t& record, const std::u16string& path,
                     picture_t& picture, raw_size_t size) {
    picture.reset();
    write_raw_log(record.path);
    if (!library.is_loaded()) return -1;
    const raw_api_t& raw = library.api();
    libraw_data_t* handle = raw.init(0);
    if (!handle) return -1;
    // A thumbnail of 117 x 82 needs no demosaicing: half-size development takes each 2 x 2
    // block of the sensor as one pixel, several times faster. The sizes read below stay the
    // sensor's full ones (half_size changes only the developed image's).
    handle->params.half_size = size == raw_size_t::full ? 0 : 1;
    int result = -1;
    bool is_recycled = false;
    std::vector<uint8_t> bytes;
    bool is_open = read_whole_file(path, bytes) == 0 && raw.open_buffer(handle, bytes.data(), bytes.size()) == 0;
    if (is_open && size != raw_size_t::full && read_preview(raw, handle, bytes, picture)) {
        // The sizes, time and camera are known once the file is open; only the sensor data
        // would need unpacking.
        fill_record(*handle, record);
        result = 0;
    } else if (is_open && raw.unpack(handle) == 0 && raw.adjust_sizes_info_only(handle) == 0) {
        fill_record(*handle, record);
        if (size == raw_size_t::thumbnail && bin_for_thumbnail(*handle, picture)) {
            result = 0;
        } else if (raw.dcraw_process(handle) == 0) {
            libraw_processed_image_t* image = raw.dcraw_make_mem_image(handle, nullptr);
            if (image) {
                raw.recycle(handle);
                is_recycled = true;
                result = copy_processed_image(*image, image->data, image->data_size, picture);
                raw.dcraw_clear_mem(image);
            }
        }
    }
    if (!is_recycled) raw.recycle(handle);
    raw.close(handle);
    if (result != 0) picture.reset();
    return result;
}
