// The thumbnail grid's groups: for each extension and each category the queue indices of its
// files in arrival order, and what a cell of a group shows (placeholder, label).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "media/media_kind.h"

using index_list_t = std::vector<int32_t>;

class grid_groups_c {
public:
    // Files a record under its extension (case kept) and under its category: "photo" for kind 0,
    // "audio" for kind 2, "video" for every other kind, files of no kind included.
    void add(std::string_view extension, media_kind kind, int32_t index);
    // The group of that name, created empty when missing. The reference stays valid while the
    // groups live: a map never moves its values.
    index_list_t& group(const std::string& name);
    void clear();

private:
    std::map<std::string, index_list_t, std::less<>> groups_;
    std::string last_extension_;
    index_list_t* last_group_ = nullptr;
};

const char* category_group_name(media_kind kind);
// The placeholder kind of a group: 0 photo, 1 video, 2 audio for the category names; an
// extension's kind otherwise (the caller classifies it).
int32_t category_placeholder_kind(std::string_view group_name, bool& is_category);

enum class placeholder_t { photo, raw, video, audio };
// A cell without a thumbnail: in a photo group the photo sheet for png, gif, bmp, jpg, ico and psd
// (case counts) and the camera for every other extension; the audio or video picture otherwise.
placeholder_t placeholder_for(int32_t placeholder_kind, std::string_view extension);

