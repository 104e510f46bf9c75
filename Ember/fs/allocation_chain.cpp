#include "allocation_chain.h"

#include <algorithm>
#include <bit>

namespace ember::fs {
namespace {

// Other deleted files' cluster spans a chain may skip or take: 2^4 chains at most.
constexpr size_t max_crossed = 4;

bool in_spans(const std::vector<cluster_span_t>& spans, uint32_t c) {
    auto it = std::upper_bound(spans.begin(), spans.end(), c, [](uint32_t v, const cluster_span_t& s) { return v < s.first; });
    return it != spans.begin() && c < (it - 1)->end;
}

// Sorted by first cluster, overlaps merged, the file's own first cluster left out.
std::vector<cluster_span_t> merged(std::vector<cluster_span_t> spans, uint32_t own) {
    std::sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<cluster_span_t> out;
    for (cluster_span_t s : spans) {
        if (s.first <= own && own < s.end) continue;  // it names the file's own start
        if (!out.empty() && s.first <= out.back().end)
            out.back().end = std::max(out.back().end, s.end);
        else
            out.push_back(s);
    }
    return out;
}

}  // namespace

std::vector<extent_t> allocation_chain(const fs_volume_t& v, uint32_t first, uint64_t size,
                                       const std::function<bool(uint32_t)>& is_skipped) {
    std::vector<extent_t> out;
    if (!v.is_cluster(first) || v.cluster_size == 0) return out;
    uint64_t needed = (size + v.cluster_size - 1) / v.cluster_size;
    for (uint32_t c = first; needed; ++c) {
        if (!v.is_cluster(c)) return {};
        if (c != first && is_skipped(c)) continue;
        const uint64_t at = v.cluster_offset(c);
        if (!out.empty() && out.back().offset + out.back().length == at)
            out.back().length += v.cluster_size;
        else
            out.push_back({at, v.cluster_size});
        --needed;
    }
    return out;
}

std::vector<extent_t> reassemble_by_allocation(byte_source_i& card, const allocation_request_t& q,
                                               structure_walk_fn walk) {
    const fs_volume_t& v = *q.volume;
    const std::vector<extent_t> plain = allocation_chain(v, q.first, q.size, q.is_taken);
    if (plain.empty()) return {};
    // The other deleted files whose clusters the plain chain runs through, in card order: each
    // may have been there when this file was written (skipped) or gone (its clusters reused).
    std::vector<cluster_span_t> crossed;
    const uint64_t plain_end = plain.back().offset + plain.back().length;
    for (const cluster_span_t& s : merged(q.others, q.first))
        if (s.first > q.first && v.cluster_offset(s.first) < plain_end && crossed.size() < max_crossed)
            crossed.push_back(s);
    std::vector<cluster_span_t> intact;
    for (const cluster_span_t& s : q.others)
        if (s.is_intact) intact.push_back(s);
    intact = merged(intact, q.first);
    std::vector<uint32_t> masks;
    for (uint32_t m = 0; m < (1u << crossed.size()); ++m) masks.push_back(m);
    std::stable_sort(masks.begin(), masks.end(),
                     [](uint32_t a, uint32_t b) { return std::popcount(a) < std::popcount(b); });
    masks.push_back(~0u);  // the chain that skips the intact ones
    std::vector<extent_t> confirmed;
    std::vector<std::vector<extent_t>> tried;
    int confirmations = 0;
    for (uint32_t m : masks) {
        std::vector<cluster_span_t> skipped;
        if (m == ~0u)
            skipped = intact;
        else
            for (size_t i = 0; i < crossed.size(); ++i)
                if (m >> i & 1) skipped.push_back(crossed[i]);
        std::vector<extent_t> chain =
            m ? allocation_chain(v, q.first, q.size, [&](uint32_t c) { return q.is_taken(c) || in_spans(skipped, c); })
              : plain;
        if (chain.empty()) continue;
        auto same = [&](const std::vector<extent_t>& t) {
            return t.size() == chain.size() && std::equal(t.begin(), t.end(), chain.begin(), [](auto& a, auto& b) {
                       return a.offset == b.offset && a.length == b.length;
                   });
        };
        if (std::any_of(tried.begin(), tried.end(), same)) continue;
        tried.push_back(chain);
        extent_source_c file(card, chain, q.size);
        if (file.size() != q.size) continue;
        std::vector<uint64_t> jumps;
        for (uint64_t at = 0, i = 0; i + 1 < chain.size(); ++i) jumps.push_back(at += chain[i].length);
        if (judge_chain(walk(file), jumps, q.size, v.cluster_size) != chain_verdict_t::confirmed) continue;
        if (++confirmations > 1) return {};  // two readings hold together: neither is sure
        confirmed = std::move(chain);
    }
    return confirmed;
}

}  // namespace ember::fs
