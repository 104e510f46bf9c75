// The choice of structure walk by extension, and the verdict on a chain from a walk's places.
#include "media_chain_check.h"

#include <algorithm>

namespace ember::fs {

structure_walk_fn structure_walk_for(std::string_view extension) {
    for (std::string_view iso : {"mp4", "mov", "m4v", "3gp", "3g2", "qt"})
        if (extension == iso) return walk_iso_media;
    if (extension == "avi") return walk_riff_avi;
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
