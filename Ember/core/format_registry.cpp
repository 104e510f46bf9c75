#include "format_registry.h"

#include <algorithm>

namespace ember {

std::vector<const format_t*> all_formats() {
    std::vector<const format_t*> all;
    for (format_list group : {image_formats(), video_formats(), audio_formats()})
        all.insert(all.end(), group.begin(), group.end());
    return all;
}

std::vector<const format_t*> formats_named(std::span<const std::string_view> names) {
    std::vector<const format_t*> chosen;
    for (const format_t* f : all_formats())
        if (std::find(names.begin(), names.end(), f->search_name) != names.end()) chosen.push_back(f);
    return chosen;
}

}  // namespace ember
