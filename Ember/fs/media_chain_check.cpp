// The choice of structure walk by extension, and the verdict on a chain from a walk's places.
#include "media_chain_check.h"

#include <algorithm>

namespace ember::fs {

structure_walk_fn structure_walk_for(std::string_view extension, std::string_view* search_name) {
    struct kind_t {
        std::string_view extension, search_name;
        structure_walk_fn walk;
    };
    static constexpr kind_t kinds[] = {
        {"mp4", "mov", walk_iso_media},  {"mov", "mov", walk_iso_media},  {"m4v", "mov", walk_iso_media},
        {"3gp", "mov", walk_iso_media},  {"3g2", "mov", walk_iso_media},  {"qt", "mov", walk_iso_media},
        {"avi", "riff", walk_riff_avi},  {"mpg", "mpg", walk_mpeg_ps},    {"mpeg", "mpg", walk_mpeg_ps},
        {"vob", "mpg", walk_mpeg_ps},    {"mts", "m2ts", walk_mpeg_ts},   {"m2ts", "m2ts", walk_mpeg_ts},
        {"m2t", "m2ts", walk_mpeg_ts},   {"ts", "m2ts", walk_mpeg_ts},
        {"wav", "riff", walk_riff_wave}, {"aif", "aif", walk_aiff},       {"aiff", "aif", walk_aiff},
        {"aifc", "aif", walk_aiff},      {"caf", "caf", walk_caf},        {"gif", "gif", walk_gif},
        {"tif", "tif", walk_tiff},       {"tiff", "tif", walk_tiff},      {"asf", "asf", walk_asf},
        {"wmv", "asf", walk_asf},        {"wma", "asf", walk_asf},
        {"flv", "flv", walk_flv},        {"f4v", "flv", walk_flv},
        {"dv", "dv", walk_dv},           {"dif", "dv", walk_dv},         {"bmp", "bmp", walk_bmp},
        {"mkv", "mkv", walk_matroska},   {"webm", "mkv", walk_matroska},  {"web", "mkv", walk_matroska},
        {"mka", "mkv", walk_matroska},   {"png", "png", walk_png},
        {"ogg", "ogg", walk_ogg},        {"oga", "ogg", walk_ogg},        {"ogv", "ogg", walk_ogg},
        {"ogm", "ogg", walk_ogg},        {"opus", "ogg", walk_ogg},       {"opu", "ogg", walk_ogg},
        {"spx", "ogg", walk_ogg},
        {"jpg", "jpg", walk_jpeg},       {"jpeg", "jpg", walk_jpeg},      {"jpe", "jpg", walk_jpeg},
    };
    for (const kind_t& k : kinds)
        if (k.extension == extension) {
            if (search_name) *search_name = k.search_name;
            return k.walk;
        }
    return nullptr;
}

chain_verdict_t judge_chain(const structure_walk_t& walk, std::span<const uint64_t> stretch_starts, uint64_t size,
                            uint32_t cluster_size) {
    if (!walk.is_known || size == 0 || cluster_size == 0) return chain_verdict_t::unknown;
    if (!walk.is_sound) return chain_verdict_t::rejected;
    std::vector<uint64_t> places(walk.places);
    std::sort(places.begin(), places.end());
    auto holds_place = [&](uint64_t from, uint64_t to) {
        auto it = std::lower_bound(places.begin(), places.end(), from);
        return it != places.end() && *it < to;
    };
    for (size_t i = 0; i < stretch_starts.size(); ++i) {
        uint64_t to = i + 1 < stretch_starts.size() ? stretch_starts[i + 1] : size;
        if (!holds_place(stretch_starts[i], to)) return chain_verdict_t::unknown;
    }
    return holds_place((size - 1) / cluster_size * cluster_size, size) ? chain_verdict_t::confirmed
                                                                         : chain_verdict_t::unknown;
}

}  // namespace ember::fs
