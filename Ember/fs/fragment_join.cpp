#include "fragment_join.h"

#include <algorithm>
#include <cstring>

#include "formats/image/crc32.h"
#include "jpeg_entropy_check.h"

namespace ember::fs {
namespace {

// Bounds per file: how far past the head the rest is looked for, how many cluster boundaries
// before the failure may be the fragment's end, and how many joins are tried to the end.
constexpr uint64_t max_search_bytes = 256ull << 20;
constexpr int max_split_points = 64;
constexpr int max_candidates = 16;
constexpr int max_trials = 48;

const uint8_t eoi[] = {0xFF, 0xD9};
const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

// n bytes at offset, read through whole sectors.
bool read_bytes(byte_source_i& card, uint64_t offset, uint8_t* out, size_t n) {
    uint8_t sectors[1024];
    uint64_t base = offset / 512 * 512;
    size_t want = size_t(std::min<uint64_t>(sizeof sectors, (offset + n + 511) / 512 * 512 - base));
    if (offset + n > base + want || card.read_at(base, sectors, want) < offset + n - base) return false;
    std::memcpy(out, sectors + (offset - base), n);
    return true;
}

// The end of the last chunk whose CRC holds, walking the PNG from its signature.
uint64_t png_valid_prefix(byte_source_i& file) {
    carve_input_c in(file, 0);
    uint64_t pos = 8;
    for (;;) {
        uint32_t length, stored;
        if (!in.be32(pos, length) || length > in.size() || !in.be32(pos + 8 + uint64_t(length), stored)) return pos;
        uint32_t crc = 0;
        for (uint64_t at = pos + 4, end = pos + 8 + uint64_t(length); at < end;) {
            std::span<const uint8_t> span = in.run(at);
            size_t n = size_t(std::min<uint64_t>(span.size(), end - at));
            crc = crc32_update(crc, span.data(), n);
            at += n;
        }
        if (crc != stored) return pos;
        pos += 12 + uint64_t(length);
    }
}

}  // namespace

bool jpeg_decodes_to(byte_source_i& card, uint64_t start, uint64_t length) {
    extent_source_c file(card, {{start, length}}, length);
    jpeg_entropy_check_c check;
    if (!check.start(file)) {
        uint8_t tail[2];
        return length >= 2 && read_bytes(card, start + length - 2, tail, 2) && std::memcmp(tail, eoi, 2) == 0;
    }
    uint64_t end = 0;
    return check.run(file, check.first_state(), &end) == jpeg_entropy_check_c::result_t::complete && end == length;
}

bool join_fragments(byte_source_i& card, const join_request_t& q, std::vector<extent_t>& extents) {
    const uint64_t cs = q.cluster_size;
    bool is_jpeg = std::strcmp(q.extension, "jpg") == 0;
    if ((!is_jpeg && std::strcmp(q.extension, "png") != 0) || cs == 0 || q.size <= cs || !q.format) return false;
    const uint8_t* mark = is_jpeg ? eoi : iend;
    size_t mark_size = is_jpeg ? sizeof eoi : sizeof iend;

    // Where the head stops validating, and (JPEG) the decoder's state at each cluster boundary.
    uint64_t failed = 0;
    jpeg_entropy_check_c check;
    std::vector<jpeg_entropy_check_c::state_t> checkpoints;
    extent_source_c head(card, {{q.start, q.size}}, q.size);
    if (is_jpeg) {
        if (!check.start(head)) return false;
        if (check.run(head, check.first_state(), &failed, &checkpoints, cs) == jpeg_entropy_check_c::result_t::complete)
            return false;
    } else {
        failed = png_valid_prefix(head);
        if (failed >= q.size) return false;
    }
    // The fragment ends at a cluster boundary at or before the failure; a PNG chunk that failed
    // its CRC began at `carved`, so its boundary lies inside that chunk.
    uint64_t last = failed;
    if (!is_jpeg) {
        uint8_t length[4];
        uint64_t chunk = 0;
        if (read_bytes(card, q.start + failed, length, 4))
            chunk = uint64_t(length[0]) << 24 | uint32_t(length[1]) << 16 | uint32_t(length[2]) << 8 | length[3];
        last = chunk < q.size ? failed + 12 + chunk : failed + max_split_points * cs;
    }
    last = std::min(last, q.size - 1) / cs * cs;
    std::vector<uint64_t> splits;
    for (uint64_t b = last; b >= cs && splits.size() < size_t(max_split_points); b -= cs) {
        if (!is_jpeg && b + cs <= failed / cs * cs) break;
        splits.push_back(b);
    }
    if (splits.empty()) return false;

    // Clusters where the file's last bytes would stand, nearest first.
    const uint64_t mark_at = q.size - mark_size;     // in the file
    const uint64_t in_cluster = mark_at % cs;
    std::vector<uint64_t> ends;
    uint64_t from = q.start + splits.back();
    uint64_t to = std::min(q.area_end, q.start + q.size + max_search_bytes);
    for (uint64_t c = from; c + cs <= to && ends.size() < size_t(max_candidates); c += cs) {
        uint8_t got[sizeof iend];
        if (!q.is_free(c) || !read_bytes(card, c + in_cluster, got, mark_size)) continue;
        if (std::memcmp(got, mark, mark_size) == 0) ends.push_back(c);
    }

    int trials = 0;
    for (uint64_t end_cluster : ends) {
        for (uint64_t b : splits) {
            uint64_t back = (mark_at - b) / cs * cs;
            if (end_cluster < back) continue;
            uint64_t tail = end_cluster - back;
            if (tail < q.start + b) continue;  // the rest lies after the head
            bool is_clear = true;
            for (uint64_t c = tail; c <= end_cluster && is_clear; c += cs) is_clear = q.is_free(c);
            if (!is_clear || ++trials > max_trials) {
                if (trials > max_trials) return false;
                continue;
            }
            std::vector<extent_t> join = {{q.start, b}, {tail, q.size - b}};
            extent_source_c file(card, join, q.size);
            if (is_jpeg) {
                auto at = std::upper_bound(checkpoints.begin(), checkpoints.end(), b,
                                           [](uint64_t v, const auto& s) { return v < s.pos; });
                jpeg_entropy_check_c::state_t resume = at == checkpoints.begin() ? check.first_state() : *(at - 1);
                if (resume.pos > b) resume = check.first_state();
                uint64_t end = 0;
                if (check.run(file, resume, &end) != jpeg_entropy_check_c::result_t::complete || end != q.size)
                    continue;
            }
            carve_input_c in(file, 0);
            if (q.format->carve(in).length != q.size) continue;
            extents = std::move(join);
            return true;
        }
    }
    return false;
}

}  // namespace ember::fs
