#include "media/thumbnail_win.h"

#include <windows.h>

#include <vector>

#include "base/wide_text_win.h"
#include "picture/jpeg_decode_win.h"
#include "media/jpeg_header.h"
#include "media/media_facts_win.h"
#include "picture/jpeg_library_win.h"
#include "media/jpeg_whole.h"
#include "picture/picture_io_win.h"
#include "base/unicode_text.h"
#include "media/thumbnail_group.h"
#include "media/video_decode_win.h"
#include "media/video_frame.h"
#include "raw/raw_decode_win.h"

namespace {

// A camera JPEG carries a small preview of itself, before the photo's own data, so a photo cut or
// damaged after its preview still has a clean one. The preview may stand in for the photo only
// when it shows the whole photo and the photo's data was walked and decodes to its end; the size
// is then read from the frame header. The preview is decoded first (a few milliseconds), so that
// a photo whose preview cannot stand in is not walked for nothing.
bool build_from_preview(const std::vector<uint8_t>& bytes, jpeg_walked_t walked, const std::u16string& thumb_path,
                        found_file_t& record) {
    jpeg_header_t header;
    if (read_jpeg_header(bytes.data(), bytes.size(), header) != jpeg_header_result_t::ok ||
        header.thumbnail_size == 0)
        return false;
    picture_t preview;
    pixel_area_t area;
    if (decode_picture(bytes.data() + header.thumbnail_offset, header.thumbnail_size, preview) != 0 ||
        !find_preview_area(picture_rows(preview), header.width, header.height, thumbnail_width,
                           thumbnail_height, area) ||
        check_jpeg_whole(bytes.data(), bytes.size(), walked) != jpeg_whole_t::whole)
        return false;
    record.width = static_cast<int32_t>(header.width);
    record.height = static_cast<int32_t>(header.height);
    save_thumbnail(preview, thumb_path, {record.width, record.height}, &area);
    return true;
}

bool is_jpeg(const std::vector<uint8_t>& bytes) { return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8; }

enum class jpeg_thumbnail_t { made, decoded, refused, left_to_gdiplus };

// A sequential photo's checked preview, when it has one that can stand in: the walk that proves
// the photo whole costs well under the reduced decode (both go through every block's codes, but
// the walk makes no coefficients). Else the photo itself at reduced scale, damaged rows grey,
// its size the part that decodes; or, without a decoder for it, its checked preview, a
// progressive photo's too; or else left to GDI+.
jpeg_thumbnail_t decode_jpeg(const jpeg_library_c& library, const std::vector<uint8_t>& bytes,
                             const std::u16string& thumb_path, found_file_t& record, picture_t& picture) {
    if (build_from_preview(bytes, jpeg_walked_t::sequential_only, thumb_path, record)) return jpeg_thumbnail_t::made;
    jpeg_decode_t info;
    switch (decode_jpeg_reduced(library, bytes.data(), bytes.size(), thumbnail_width, thumbnail_height, picture, info)) {
    case jpeg_decode_result_t::ok:
        record.width = info.width;
        record.height = info.whole_rows;
        return jpeg_thumbnail_t::decoded;
    case jpeg_decode_result_t::refused:
        return jpeg_thumbnail_t::refused;
    case jpeg_decode_result_t::not_handled:
        break;
    }
    return build_from_preview(bytes, jpeg_walked_t::any, thumb_path, record) ? jpeg_thumbnail_t::made
                                                                             : jpeg_thumbnail_t::left_to_gdiplus;
}

// A motion-JPEG video's first frame lies near its start (AVI) or where its index says (QuickTime);
// only this much of a video is read to find and decode it.
constexpr size_t max_video_head_bytes = 16 * 1024 * 1024;

// The video's first frame, decoded as a photo, damaged rows grey; its size is the frame's.
int decode_first_frame(const jpeg_library_c& library, const std::u16string& path, found_file_t& record,
                       picture_t& picture) {
    std::vector<uint8_t> bytes;
    video_frame_t frame;
    jpeg_decode_t info;
    if (read_file_start(path, max_video_head_bytes, bytes) != 0 ||
        !find_first_jpeg_frame(bytes.data(), bytes.size(), frame) ||
        decode_jpeg_reduced(library, bytes.data() + frame.offset, frame.size, thumbnail_width, thumbnail_height,
                            picture, info) != jpeg_decode_result_t::ok)
        return -1;
    record.width = info.width;
    record.height = info.whole_rows;
    return 0;
}

}  // namespace

int build_thumbnail(found_file_t& record) { return build_thumbnail(record, jpeg_library()); }

int build_thumbnail(found_file_t& record, const jpeg_library_c& jpeg_decoder) {
    // Both paths are widened once, here; everything below takes them wide.
    std::u16string path = from_ansi(record.path);
    std::u16string thumb_path = from_ansi(record.thumb_path);
    // A path the thumbnail rule cannot name gets no thumbnail.
    if (path.empty() || thumb_path.empty()) return -1;
    // Existing thumbnails (a scan loaded again from the cache) are reused without a decode; the
    // size shown is the one the thumbnail was made with.
    if (GetFileAttributesW(wide(thumb_path)) != INVALID_FILE_ATTRIBUTES) {
        found_size_t size;
        if (read_thumbnail_source_size(thumb_path, size)) {
            record.width = size.width;
            record.height = size.height;
        }
        return 0;
    }
    std::u16string extension = lower_extension(path);
    picture_t picture;
    switch (find_thumbnail_group(extension)) {
    case thumbnail_group_t::picture: {
        std::vector<uint8_t> bytes;
        if (read_whole_file(path, bytes) != 0) return -1;
        jpeg_thumbnail_t jpeg = is_jpeg(bytes) ? decode_jpeg(jpeg_decoder, bytes, thumb_path, record, picture)
                                               : jpeg_thumbnail_t::left_to_gdiplus;
        if (jpeg == jpeg_thumbnail_t::made) return 0;
        if (jpeg == jpeg_thumbnail_t::refused) return -1;
        if (jpeg == jpeg_thumbnail_t::decoded) break;
        if (decode_picture(bytes, picture) != 0) return -1;
        record.width = picture.width;
        record.height = picture.height;
        break;
    }
    case thumbnail_group_t::raw:
        if (decode_raw_photo(record, path, picture) != 0) return -1;
        break;
    case thumbnail_group_t::video:
        // Motion JPEG is decoded here, damage shown; other codecs go to the system's decoders.
        if (decode_first_frame(jpeg_decoder, path, record, picture) != 0) {
            video_frame_size_t size;
            if (decode_video_frame(path, picture, size) != 0) return -1;
            record.width = size.width;
            record.height = size.height;
        }
        break;
    case thumbnail_group_t::none:
        return -1;
    }
    save_thumbnail(picture, thumb_path, {record.width, record.height});
    return 0;
}

void thumbnail_builder(found_file_t& record) {
    read_media_facts(from_ansi(record.path), record);
    build_thumbnail(record);
}
