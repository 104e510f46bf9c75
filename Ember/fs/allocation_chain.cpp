#include "allocation_chain.h"

#include <algorithm>
#include <bit>

namespace ember::fs {
namespace {

// Other deleted files' cluster spans a chain may skip or take: 2^4 chains at most.
constexpr size_t max_crossed = 4;
// Other files skipped one at a time where the structure breaks.
constexpr int max_grow_steps = 32;
// Clusters looked at for the file skipped next, from the last place the walk confirmed on.
constexpr size_t max_suspects = 4096;

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

void cut_to_first_holes(std::vector<cluster_span_t>& spans, std::vector<uint32_t> firsts) {
    std::sort(firsts.begin(), firsts.end());
    for (cluster_span_t& s : spans) {
        auto next = std::upper_bound(firsts.begin(), firsts.end(), s.first);
        if (next != firsts.end()) s.end = std::min(s.end, *next);
    }
}

void add_tail_stretches(std::vector<uint64_t>& jumps, const allocation_request_t& q) {
    const uint32_t cs = q.volume ? q.volume->cluster_size : 0;
    if (q.tail.empty() || !cs || q.tail_at < cs) return;
    // A head that runs on into the tail needs nothing more: from its last confirmed place to the
    // tail it takes every free cluster, as many as the file has there, so they are the file's.
    if (!std::binary_search(jumps.begin(), jumps.end(), q.tail_at)) return;
    jumps.push_back(q.tail_at - cs);
    std::sort(jumps.begin(), jumps.end());
    jumps.erase(std::unique(jumps.begin(), jumps.end()), jumps.end());
}

bool fill_first_fit(const fs_volume_t& v, std::vector<uint32_t>& clusters, size_t k, uint32_t c,
                    const std::function<bool(uint32_t)>& is_free) {
    for (; k < clusters.size(); ++k) {
        while (k && !is_free(c))
            if (!v.is_cluster(++c)) return false;
        if (!v.is_cluster(c)) return false;
        clusters[k] = c++;
    }
    return true;
}

std::vector<extent_t> cluster_extents(const fs_volume_t& v, const std::vector<uint32_t>& clusters) {
    std::vector<extent_t> out;
    for (uint32_t c : clusters) {
        const uint64_t at = v.cluster_offset(c);
        if (!out.empty() && out.back().offset + out.back().length == at)
            out.back().length += v.cluster_size;
        else
            out.push_back({at, v.cluster_size});
    }
    return out;
}

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
    // With a tail found apart, the chains run up to it and the tail follows; no chain takes the
    // tail's clusters.
    const uint64_t head_size = q.tail.empty() ? q.size : q.tail_at;
    auto in_tail = [&](uint32_t c) {
        const uint64_t at = v.cluster_offset(c);
        for (const extent_t& t : q.tail)
            if (at >= t.offset && at < t.offset + t.length) return true;
        return false;
    };
    auto build = [&](const std::function<bool(uint32_t)>& is_skipped) {
        std::vector<extent_t> chain =
            allocation_chain(v, q.first, head_size, [&](uint32_t c) { return is_skipped(c) || in_tail(c); });
        if (chain.empty()) return chain;
        for (const extent_t& t : q.tail)
            if (chain.back().offset + chain.back().length == t.offset)
                chain.back().length += t.length;
            else
                chain.push_back(t);
        return chain;
    };
    const std::vector<extent_t> plain = build(q.is_taken);
    if (plain.empty()) return {};
    // The other deleted files whose clusters the plain chain runs through, in card order: each
    // may have been there when this file was written (skipped) or gone (its clusters reused).
    std::vector<cluster_span_t> crossed;
    const uint64_t plain_end = q.tail.empty() ? plain.back().offset + plain.back().length
                                              : v.cluster_offset(q.first) + head_size;
    const std::vector<cluster_span_t> all = merged(q.others, q.first);
    for (const cluster_span_t& s : all)
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
    // Walks the chain that skips `skipped`; false when two chains are confirmed (neither is
    // sure) or the budget ran out. `broken` gets the walk of a chain that was not confirmed.
    auto try_chain = [&](const std::vector<cluster_span_t>& skipped, std::vector<extent_t>& chain,
                         structure_walk_t* broken) {
        chain = build([&](uint32_t c) { return q.is_taken(c) || in_spans(skipped, c); });
        if (chain.empty()) return true;
        auto same = [&](const std::vector<extent_t>& t) {
            return t.size() == chain.size() && std::equal(t.begin(), t.end(), chain.begin(), [](auto& a, auto& b) {
                       return a.offset == b.offset && a.length == b.length;
                   });
        };
        // A chain walked before is walked again only for where it breaks.
        const bool seen = std::any_of(tried.begin(), tried.end(), same);
        if (seen && !broken) return true;
        if (q.budget) {
            if (*q.budget < q.size) return false;
            *q.budget -= q.size;
        }
        if (!seen) tried.push_back(chain);
        extent_source_c file(card, chain, q.size);
        if (file.size() != q.size) return true;
        std::vector<uint64_t> jumps;
        for (uint64_t at = 0, i = 0; i + 1 < chain.size(); ++i) jumps.push_back(at += chain[i].length);
        add_tail_stretches(jumps, q);
        structure_walk_t w = walk(file);
        if (judge_chain(w, jumps, q.size, v.cluster_size) != chain_verdict_t::confirmed) {
            if (broken) *broken = std::move(w);
            return true;
        }
        if (++confirmations > 1) return false;
        confirmed = chain;
        return true;
    };
    auto stopped = [&q]() {
        if (q.is_stopped) *q.is_stopped = true;
        return std::vector<extent_t>{};
    };
    std::vector<extent_t> chain;
    for (uint32_t m : masks) {
        std::vector<cluster_span_t> skipped;
        if (m == ~0u)
            skipped = intact;
        else
            for (size_t i = 0; i < crossed.size(); ++i)
                if (m >> i & 1) skipped.push_back(crossed[i]);
        if (!try_chain(skipped, chain, nullptr)) return stopped();
    }
    // Grown by the structure: where the walk of the chain that skips the intact files breaks,
    // the stretch that went wrong starts at a cluster boundary after the last place the walk
    // confirmed; the first cluster from there on that another file's entry names was that
    // file's when this one was written, so that file is skipped too.
    std::vector<cluster_span_t> skipped = intact;
    for (int step = 0; step < max_grow_steps && confirmed.empty(); ++step) {
        structure_walk_t w;
        if (!try_chain(skipped, chain, &w)) return stopped();
        if (chain.empty() || w.failed_at == UINT64_MAX) break;
        uint64_t good = 0;
        for (uint64_t at : w.places)
            if (at < w.failed_at) good = std::max(good, at);
        // The clusters of the chain from just after that place to the break; a file the camera
        // went round starts at one of them (the first such), else one of them is a later part
        // of a file that starts before (the one that starts nearest before it).
        std::vector<uint32_t> suspects;
        for (uint64_t at = 0, i = 0; i < chain.size() && at <= w.failed_at; at += chain[i++].length)
            for (uint64_t o = 0; o < chain[i].length; o += v.cluster_size)
                if (at + o > good && at + o <= w.failed_at && suspects.size() < max_suspects) {
                    const uint32_t c = uint32_t((chain[i].offset + o - v.data_offset) / v.cluster_size + 2);
                    if (!in_spans(skipped, c)) suspects.push_back(c);
                }
        const cluster_span_t* next = nullptr;
        for (uint32_t c : suspects) {
            for (const cluster_span_t& s : q.others)
                if (s.first == c && (!next || s.end > next->end)) next = &s;
            if (next) break;
        }
        for (uint32_t c : suspects) {
            if (next) break;
            for (const cluster_span_t& s : q.others)
                if (s.first < c && c < s.end && s.first != q.first && (!next || s.first > next->first)) next = &s;
            if (next) break;
        }
        if (!next) break;
        skipped.push_back(*next);
        skipped = merged(skipped, q.first);
    }
    return confirmed;
}

}  // namespace ember::fs
