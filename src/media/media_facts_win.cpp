#include "media/media_facts_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/wide_text_win.h"
#include "base/clock_time.h"
#include "media/iso_media_time.h"
#include "media/jpeg_header.h"
#include "base/unicode_text.h"
#include "media/thumbnail_group.h"
#include "base/handles_win.h"
#include "media/file_byte_source_win.h"

namespace {

// The Exif block stands in the first APP1 segment, at most 64 KiB long; a few segments may come
// before it.
constexpr DWORD jpeg_head_bytes = 256 * 1024;

bool is_iso_media(const std::u16string& ext) {
    for (std::u16string_view known : {u".mp4", u".mov", u".3gp", u".3g2", u".m4v", u".m4a"})
        if (ext == known) return true;
    return false;
}

// "Make Model", or the model alone when it already names the maker ("Canon" "Canon EOS 5D").
void set_camera(const jpeg_header_t& header, found_file_t& record) {
    if (header.model[0] == '\0' && header.make[0] == '\0') return;
    size_t make_length = std::strlen(header.make);
    while (make_length > 0 && header.make[make_length - 1] == ' ') --make_length;
    bool is_named = make_length == 0 || std::strncmp(header.model, header.make, make_length) == 0;
    if (is_named || header.model[0] == '\0')
        std::snprintf(record.camera_model, sizeof record.camera_model, "%s", header.model[0] ? header.model : header.make);
    else
        std::snprintf(record.camera_model, sizeof record.camera_model, "%.*s %s", int(make_length), header.make,
                      header.model);
}

}  // namespace

void read_media_facts(const std::u16string& path, found_file_t& record) {
    std::u16string ext = lower_extension(path);  // with its dot
    bool is_jpeg = ext == u".jpg" || ext == u".jpeg";
    if (!is_jpeg && !is_iso_media(ext)) return;
    file_handle_c file(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!file.is_valid()) return;
    file_source_c source(file.get());
    if (is_jpeg) {
        std::vector<uint8_t> head(jpeg_head_bytes);
        head.resize(source.read_at(0, head.data(), head.size()));
        jpeg_header_t header;
        read_jpeg_header(head.data(), head.size(), header);
        int64_t taken = local_clock_to_utc(parse_exif_clock(header.date_taken));
        if (taken > 0) record.taken_time = taken;
        set_camera(header, record);
        return;
    }
    int64_t created = 0;
    if (read_iso_media_time(source, created) == iso_media_time_result_t::ok) record.taken_time = created;
}
