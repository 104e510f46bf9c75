#include "media/thumbnail_group.h"

#include <array>

namespace {

constexpr std::array<std::u16string_view, 6> picture_group = {
    u".bmp", u".gif", u".jpeg", u".jpg", u".png", u".tiff"};
// ".tif" is here on purpose: a ".tif" is tried as a camera file, a ".tiff" as a picture.
constexpr std::array<std::u16string_view, 16> raw_group = {
    u".tif", u".dsc", u".nef", u".cr2", u".dng", u".dcr", u".pef", u".srf",
    u".arw", u".sr2", u".raf", u".x3f", u".orf", u".rw2", u".crw", u".mrw"};
constexpr std::array<std::u16string_view, 5> video_group = {u".avi", u".mov", u".mp4", u".m4v", u".3gp"};

}  // namespace

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
