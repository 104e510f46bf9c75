// raw_library_win.h first: libraw wants winsock2.h ahead of windows.h.
#include "raw/raw_library_win.h"
#include "raw/raw_decode_win.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "picture/picture_io_win.h"
#include "raw/raw_log.h"

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
int copy_processed_image(const libraw_processed_image_t& image, picture_t& picture) {
    if (image.type != LIBRAW_IMAGE_BITMAP || image.colors != 3 || image.bits != 8) return -1;
    uint64_t needed = uint64_t(image.width) * image.height * 3;
    if (needed == 0 || image.data_size < needed) return -1;
    if (create_picture(picture, image.width, image.height, 24) != 0) return -1;
    const uint8_t* source = image.data;
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
    handle->params.half_size = size == raw_size_t::half ? 1 : 0;
    int result = -1;
    bool is_recycled = false;
    std::vector<uint8_t> bytes;
    if (read_whole_file(path, bytes) == 0 &&
        raw.open_buffer(handle, bytes.data(), bytes.size()) == 0 && raw.unpack(handle) == 0 &&
        raw.adjust_sizes_info_only(handle) == 0) {
        fill_record(*handle, record);
        if (raw.dcraw_process(handle) == 0) {
            libraw_processed_image_t* image = raw.dcraw_make_mem_image(handle, nullptr);
            if (image) {
                raw.recycle(handle);
                is_recycled = true;
                result = copy_processed_image(*image, picture);
                raw.dcraw_clear_mem(image);
            }
        }
    }
    if (!is_recycled) raw.recycle(handle);
    raw.close(handle);
    if (result != 0) picture.reset();
    return result;
}
