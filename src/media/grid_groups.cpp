#include "media/grid_groups.h"

#include <array>
#include <cstdio>

void grid_groups_c::add(std::string_view extension, media_kind kind, int32_t index) {
    // A scan files runs of the same extension; the last group found is kept for the next record.
    if (!last_group_ || extension != last_extension_) {
        last_extension_.assign(extension);
        last_group_ = &group(last_extension_);
    }
    last_group_->push_back(index);
    const char* category = category_group_name(kind);
    // A file whose extension is itself a category name stands in that group once, not twice.
    if (extension != category) group(category).push_back(index);
}

void grid_groups_c::clear() {
    groups_.clear();
    last_extension_.clear();
    last_group_ = nullptr;
}

index_list_t& grid_groups_c::group(const std::string& name) {
    auto found = groups_.find(name);
    if (found != groups_.end()) return found->second;
    return groups_.emplace(name, index_list_t{}).first->second;
}

const char* category_group_name(media_kind kind) {
    if (kind == media_photo) return "photo";
    if (kind == media_audio) return "audio";
    return "video";
}

int32_t category_placeholder_kind(std::string_view group_name, bool& is_category) {
    is_category = true;
    if (group_name == "photo") return media_photo;
    if (group_name == "audio") return media_audio;
    if (group_name == "video") return media_video;
    is_category = false;
    return media_none;
}

placeholder_t placeholder_for(int32_t placeholder_kind, std::string_view extension) {
    static constexpr std::array<std::string_view, 6> photo_sheet = {"png", "gif", "bmp", "jpg", "ico", "psd"};
    if (placeholder_kind == media_photo) {
        for (std::string_view e : photo_sheet)
            if (e == extension) return placeholder_t::photo;
        return placeholder_t::raw;
    }
    return placeholder_kind == media_audio ? placeholder_t::audio : placeholder_t::video;
}
