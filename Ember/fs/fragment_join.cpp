#include "fragment_join.h"

#include <algorithm>
#include <cstring>

#include "core/format_registry.h"
#include "formats/image/crc32.h"
#include "jpeg_entropy_check.h"

namespace ember::fs {
namespace {

// Bounds per file: its size (photos, not videos), how far past the head the rest is looked for
// (a camera writes the rest in the next free clusters: tens of MiB on at most) and how many of
// the clusters there are read, how many cluster boundaries before the failure may be the
// fragment's end, and how many joins are tried to the end.
constexpr uint64_t max_join_size = 64ull << 20;
constexpr uint64_t max_search_bytes = 64ull << 20;
constexpr uint64_t max_probes_per_file = 2048;
constexpr int max_split_points = 64;
constexpr uint64_t max_boundaries_looked_at = 4096;
constexpr int max_candidates = 16;
constexpr int max_trials = 48;

const uint8_t eoi[] = {0xFF, 0xD9};
const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

// n bytes at offset, read through the one or two whole sectors that hold them.
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

// True when the sector at offset starts a file of any type, or is unwritten (all zero): where a
// fragment most likely ends, since the clusters after a hole belonged to the next file.
bool starts_something(byte_source_i& card, uint64_t offset) {
    uint8_t head[probe_size];
    size_t got = card.read_at(offset, head, probe_size);
    if (got != probe_size) return false;
    if (std::all_of(head, head + probe_size, [](uint8_t b) { return b == 0; })) return true;
    return starts_a_file(head, got);
}

}  // namespace

bool starts_a_file(const uint8_t* sector, size_t size) {
    static const std::vector<const format_t*> formats = all_formats();
    for (const format_t* f : formats)
        if (f->lead_bytes.find(char(sector[0])) != std::string_view::npos && f->probe(sector, size)) return true;
    return false;
}

bool join_fragments(byte_source_i& card, const join_request_t& q, std::vector<extent_t>& extents) {
    const uint64_t cs = q.cluster_size;
    bool is_jpeg = std::strcmp(q.extension, "jpg") == 0;
    if ((!is_jpeg && std::strcmp(q.extension, "png") != 0) || cs == 0 || q.size <= cs || q.size > max_join_size ||
        !q.format || !q.probes_left || *q.probes_left == 0)
        return false;
    const uint8_t* mark = is_jpeg ? eoi : iend;
    size_t mark_size = is_jpeg ? sizeof eoi : sizeof iend;

    const uint64_t mark_at = q.size - mark_size;  // in the file

    // Where the head stops validating, and (JPEG) the decoder's state at each cluster boundary;
    // worked out when the first candidate end turns up, since most broken files have none.
    uint64_t failed = 0, earliest = 0;
    jpeg_entropy_check_c check;
    std::vector<jpeg_entropy_check_c::state_t> checkpoints;
    std::vector<uint64_t> splits;
    extent_source_c head(card, {{q.start, q.size}}, q.size);
    auto prepare = [&]() -> bool {
        if (is_jpeg) {
            if (!check.start(head)) return false;
            if (check.run(head, check.first_state(), &failed, &checkpoints, cs) == jpeg_entropy_check_c::result_t::complete)
                return false;
        } else {
            failed = png_valid_prefix(head);
            if (failed >= q.size) return false;
        }
        // The fragment ends at a cluster boundary: for a JPEG at or not long before the failure, for
        // a PNG inside the chunk that failed its CRC. Boundaries where another file starts (or
        // unwritten space) come first; then the others, nearest to the failure first.
        uint64_t lo, hi;
        if (is_jpeg) {
            hi = std::min(failed, q.size - 1) / cs * cs;
            lo = hi > uint64_t(max_split_points) * cs ? hi - uint64_t(max_split_points - 1) * cs : cs;
        } else {
            uint8_t length[4];
            uint64_t chunk = q.size;
            if (read_bytes(card, q.start + failed, length, 4))
                chunk = uint64_t(length[0]) << 24 | uint32_t(length[1]) << 16 | uint32_t(length[2]) << 8 | length[3];
            lo = std::max<uint64_t>(cs, failed / cs * cs);
            hi = std::min(chunk < q.size ? failed + 12 + chunk : failed + max_split_points * cs, q.size - 1) / cs * cs;
        }
        std::vector<uint64_t> likely, other;
        for (uint64_t n = 0; n < max_boundaries_looked_at && lo <= hi; ++n) {
            uint64_t b = is_jpeg ? hi - n * cs : lo + n * cs;
            if (b < lo || b > hi) break;
            if (likely.size() < size_t(max_split_points) && starts_something(card, q.start + b)) likely.push_back(b);
            else if (other.size() < size_t(max_split_points)) other.push_back(b);
        }
        splits = likely;
        for (uint64_t b : other)
            if (splits.size() < size_t(max_split_points)) splits.push_back(b);
        if (splits.empty()) return false;
        earliest = *std::min_element(splits.begin(), splits.end());
        return true;
    };

    // A join of the head up to b with the rest ending in the cluster at end_cluster, when it
    // validates to the end.
    int trials = 0;
    auto try_join = [&](uint64_t b, uint64_t end_cluster) {
        uint64_t back = (mark_at - b) / cs * cs;
        if (end_cluster < back) return false;
        uint64_t tail = end_cluster - back;
        if (tail < q.start + b) return false;  // the rest lies after the head
        for (uint64_t c = tail; c <= end_cluster; c += cs)
            if (!q.is_free(c)) return false;
        ++trials;
        std::vector<extent_t> join = {{q.start, b}, {tail, q.size - b}};
        extent_source_c file(card, join, q.size);
        if (is_jpeg) {
            auto at = std::upper_bound(checkpoints.begin(), checkpoints.end(), b,
                                       [](uint64_t v, const auto& s) { return v < s.pos; });
            jpeg_entropy_check_c::state_t resume = at == checkpoints.begin() ? check.first_state() : *(at - 1);
            if (resume.pos > b) resume = check.first_state();
            uint64_t end = 0;
            if (check.run(file, resume, &end) != jpeg_entropy_check_c::result_t::complete || end != q.size)
                return false;
        }
        carve_input_c in(file, 0);
        if (q.format->carve(in).length != q.size) return false;
        extents = std::move(join);
        return true;
    };
    // Clusters where the file's last bytes would stand, nearest first, each tried as it is found.
    const uint64_t in_cluster = mark_at % cs;
    uint64_t to = std::min(q.area_end, q.start + q.size + max_search_bytes);
    bool is_prepared = false;
    int candidates = 0;
    uint64_t probes = 0;
    for (uint64_t c = q.start + cs; c + cs <= to && candidates < max_candidates && *q.probes_left; c += cs) {
        uint8_t got[sizeof iend];
        if (!q.is_free(c) || (is_prepared && c < q.start + earliest)) continue;
        if (++probes > max_probes_per_file) return false;
        --*q.probes_left;
        if (!read_bytes(card, c + in_cluster, got, mark_size) || std::memcmp(got, mark, mark_size) != 0) continue;
        if (!is_prepared && !prepare()) return false;
        is_prepared = true;
        if (c < q.start + earliest) continue;
        ++candidates;
        for (uint64_t b : splits) {
            if (try_join(b, c)) return true;
            if (trials >= max_trials) return false;
        }
    }
    return false;
}

}  // namespace ember::fs
