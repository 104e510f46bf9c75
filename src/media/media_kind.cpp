#include "media/media_kind.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ascii_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

template <size_t n>
bool is_in(const std::array<std::string_view, n>& table, std::string_view extension) {
    for (std::string_view entry : table) {
        if (equals_ascii_ignoring_case(entry, extension)) return true;
    }
    return false;
}

}  // namespace

media_kind find_media_kind(std::string_view extension) {
    if (is_in(video_extensions, extension)) return media_video;
    if (is_in(photo_extensions, extension)) return media_photo;
    if (is_in(audio_extensions, extension)) return media_audio;
    return media_none;
}
