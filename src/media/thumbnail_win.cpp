#include "media/thumbnail_win.h"

#include <windows.h>

#include <vector>

#include "app/wide_text_win.h"
#include "media/picture_io_win.h"
#include "media/thumbnail_group.h"
#include "raw/raw_decode_win.h"

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
        if (read_whole_file(path, bytes) != 0 || decode_picture(bytes, picture) != 0) return -1;
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

void thumbnail_builder(found_file_t& record) { build_thumbnail(record); }
