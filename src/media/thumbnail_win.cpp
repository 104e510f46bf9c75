#include "media/thumbnail_win.h"

#include <windows.h>

#include <vector>

#include "app/wide_text_win.h"
#include "media/jpeg_header.h"
#include "media/media_facts_win.h"
#include "media/picture_io_win.h"
#include "media/thumbnail_group.h"
#include "raw/raw_decode_win.h"

namespace {

// A camera JPEG carries a small preview of itself. When the preview shows the whole photo, the
// thumbnail is made from it and the photo's size read from its frame header: that spares
// decoding twelve million pixels to show ten thousand. Otherwise the photo is decoded whole.
bool build_from_preview(const std::vector<uint8_t>& bytes, const std::u16string& thumb_path, found_file_t& record) {
    jpeg_header_t header;
    if (read_jpeg_header(bytes.data(), bytes.size(), header) != jpeg_header_result_t::ok ||
        header.thumbnail_size == 0)
        return false;
    picture_t preview;
    pixel_area_t area;
    if (decode_picture(bytes.data() + header.thumbnail_offset, header.thumbnail_size, preview) != 0 ||
        !find_preview_area(picture_rows(preview), header.width, header.height, thumbnail_width,
                           thumbnail_height, area))
        return false;
    record.width = static_cast<int32_t>(header.width);
    record.height = static_cast<int32_t>(header.height);
    save_thumbnail(preview, thumb_path, &area);
    return true;
}

}  // namespace

int build_thumbnail(found_file_t& record) {
    // Both paths are widened once, here; everything below takes them wide.
    std::u16string path = from_ansi(record.path);
    std::u16string thumb_path = from_ansi(record.thumb_path);
    // A path the thumbnail rule cannot name gets no thumbnail.
    if (path.empty() || thumb_path.empty()) return -1;
    // Existing thumbnails (a scan loaded again from the cache) are reused: one query, no decode.
    if (GetFileAttributesW(wide(thumb_path)) != INVALID_FILE_ATTRIBUTES) return 0;
    std::u16string extension = lower_extension(path);
    picture_t picture;
    switch (find_thumbnail_group(extension)) {
    case thumbnail_group_t::picture: {
        std::vector<uint8_t> bytes;
        if (read_whole_file(path, bytes) != 0) return -1;
        if (build_from_preview(bytes, thumb_path, record)) return 0;
        if (decode_picture(bytes, picture) != 0) return -1;
        record.width = picture.width;
        record.height = picture.height;
        break;
    }
    case thumbnail_group_t::raw:
        if (decode_raw_photo(record, path, picture) != 0) return -1;
        break;
    case thumbnail_group_t::none:
        return -1;
    }
    save_thumbnail(picture, thumb_path);
    return 0;
}

void thumbnail_builder(found_file_t& record) {
    read_media_facts(from_ansi(record.path), record);
    build_thumbnail(record);
}
