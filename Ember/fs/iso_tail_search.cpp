#include "iso_tail_search.h"

#include "core/byte_order.h"

namespace ember::fs {

uint64_t iso_tail_offset(byte_source_i& card, uint64_t head, uint32_t cluster_size, uint64_t size) {
    uint64_t pos = 0;
    for (int n = 0; n < 16 && pos + 16 <= cluster_size && pos + 16 <= size; ++n) {
        uint8_t h[16];
        if (card.read_at(head + pos, h, sizeof h) != sizeof h) return 0;
        uint64_t box = load_be32(h);
        const uint32_t type = load_be32(h + 4);
        if (box == 1) box = load_be64(h + 8);
        if (box < 8 || box > size - pos) return 0;
        if (type == fourcc("moov")) return 0;
        if (type == fourcc("mdat")) {
            const uint64_t end = pos + box;
            return size - end >= 8 ? end : 0;
        }
        pos += box;
    }
    return 0;
}

iso_head_t read_iso_head(byte_source_i& card, uint64_t head, uint64_t limit) {
    constexpr uint64_t max_head = 1 << 20;
    bool has_moov = false;
    uint64_t pos = 0;
    for (int n = 0; n < 16 && pos + 16 <= max_head && pos + 16 <= limit; ++n) {
        uint8_t h[16];
        if (card.read_at(head + pos, h, sizeof h) != sizeof h) return {};
        uint64_t box = load_be32(h);
        const uint32_t type = load_be32(h + 4);
        if (box == 1) box = load_be64(h + 8);
        if (box < 8 || box > limit - pos || (type == fourcc("ftyp") && n)) return {};
        if (type == fourcc("mdat")) return has_moov ? iso_head_t{0, pos + box} : iso_head_t{pos + box, 0};
        if (type == fourcc("moov")) {
            if (has_moov) return {};
            has_moov = true;
        } else if (type != fourcc("ftyp") && type != fourcc("free") && type != fourcc("skip") &&
                   type != fourcc("wide") && type != fourcc("uuid")) {
            return {};
        }
        pos += box;
    }
    return {};
}

std::vector<iso_tail_t> find_iso_tail(byte_source_i& card, const fs_volume_t& v, uint32_t from, uint32_t to,
                                      uint64_t moov_at, uint64_t size, const std::function<bool(uint32_t)>& is_taken,
                                      size_t limit, uint64_t* budget) {
    constexpr uint64_t max_unstated_moov = 64ull << 20;
    std::vector<iso_tail_t> out;
    const uint64_t within = v.cluster_size ? moov_at % v.cluster_size : 0;
    if (!v.cluster_size || (size && moov_at >= size) || within + 8 > v.cluster_size ||
        (size && size - moov_at > UINT32_MAX))
        return out;
    for (uint32_t c = from; c < to && v.is_cluster(c) && out.size() < limit; ++c) {
        if (is_taken(c)) continue;
        if (budget) {
            if (*budget < 512) break;
            *budget -= 512;
        }
        uint8_t h[8];
        if (card.read_at(v.cluster_offset(c) + within, h, sizeof h) != sizeof h || load_be32(h + 4) != fourcc("moov"))
            continue;
        const uint64_t moov_size = load_be32(h);
        if (size ? moov_size == size - moov_at : moov_size >= 16 && moov_size <= max_unstated_moov)
            out.push_back({c, moov_size});
    }
    return out;
}

}  // namespace ember::fs
