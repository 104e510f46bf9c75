#include "media/thumbnail_group.h"

#include <array>

#include "base/unicode_text.h"

namespace {

constexpr std::array<std::u16string_view, 6> picture_group = {
    u".bmp", u".gif", u".jpeg", u".jpg", u".png", u".tiff"};
// ".tif" is here on purpose: a ".tif" is tried as a camera file, a ".tiff" as a picture.
constexpr std::array<std::u16string_view, 16> raw_group = {
    u".tif", u".dsc", u".nef", u".cr2", u".dng", u".dcr", u".pef", u".srf",
    u".arw", u".sr2", u".raf", u".x3f", u".orf", u".rw2", u".crw", u".mrw"};
constexpr std::array<std::u16string_view, 5> video_group = {u".avi", u".mov", u".mp4", u".m4v", u".3gp"};

}  // namespace

std::u16string lower_extension(std::u16string_view path) {
    size_t name_start = path.find_last_of(u"/\\");
    name_start = name_start == std::u16string_view::npos ? 0 : name_start + 1;
    size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string_view::npos || dot < name_start) return {};
    std::u16string extension(path.substr(dot));
    for (char16_t& c : extension) c = fold_case(c);
    return extension;
}

thumbnail_group_t find_thumbnail_group(std::u16string_view extension) {
    for (std::u16string_view entry : picture_group) {
        if (entry == extension) return thumbnail_group_t::picture;
    }
    for (std::u16string_view entry : raw_group) {
        if (entry == extension) return thumbnail_group_t::raw;
    }
    for (std::u16string_view entry : video_group) {
        if (entry == extension) return thumbnail_group_t::video;
    }
    return thumbnail_group_t::none;
}
