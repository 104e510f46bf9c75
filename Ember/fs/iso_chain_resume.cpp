#include "iso_chain_resume.h"

#include <algorithm>

#include "chain_check_support.h"
#include "extent_source.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

constexpr int max_breaks = 64;
constexpr uint32_t max_looked_at = 8192;  // free clusters tried for one break
constexpr uint64_t look_cost = 512;  // bytes read (and taken from the budget) a cluster looked at
// A cluster whose first sector holds the sample's start has the whole sample's units checked, up
// to this many bytes (read once, taken from the budget too).
constexpr uint64_t max_sample_check = 1 << 20;
// Bytes after the last confirmed place that the file's end may run on through unchecked samples
// (a movie box first: its last cluster holds sound or the rest of the last frame).
constexpr uint64_t max_unplaced_end = 1 << 20;
// A motion-JPEG frame decoded to place a break among several cluster boundaries.
constexpr uint64_t max_frame_check = 8 << 20;

class sample_chain_c {
public:
    sample_chain_c(byte_source_i& card, const allocation_request_t& q)
        : card_(card), q_(q), v_(*q.volume), head_size_(q.tail.empty() ? q.size : q.tail_at) {}

    std::vector<extent_t> run() {
        const uint32_t cs = v_.cluster_size;
        if (!cs || head_size_ == 0 || (!q_.tail.empty() && head_size_ % cs)) return {};
        const uint64_t count = (head_size_ + cs - 1) / cs;
        if (count > (uint64_t(1) << 22)) return {};
        clusters_.assign(size_t(count), 0);
        if (!fill_from(0, q_.first)) return {};
        for (int step = 0; step <= max_breaks; ++step) {
            if (q_.budget) {
                if (*q_.budget < q_.size) return {};
                *q_.budget -= q_.size;
            }
            const std::vector<extent_t> chain = extents();
            extent_source_c file(card_, chain, q_.size);
            if (file.size() != q_.size) return {};
            iso_break_t broke;
            const structure_walk_t w = walk_iso_media_broken(file, &broke);
            std::vector<uint64_t> jumps;
            for (uint64_t at = 0, i = 0; i + 1 < chain.size(); ++i) jumps.push_back(at += chain[i].length);
            add_tail_stretches(jumps, q_);
            if (judge_chain(w, jumps, q_.size, cs) == chain_verdict_t::confirmed || ends_on(w, jumps)) return chain;
            if (step == max_breaks || w.failed_at == UINT64_MAX || broke.at != w.failed_at || !resume(w, broke))
                return {};
        }
        return {};
    }

private:
    bool is_free(uint32_t c) const {
        if (!v_.is_cluster(c) || q_.is_taken(c)) return false;
        const uint64_t at = v_.cluster_offset(c);
        for (const extent_t& t : q_.tail)
            if (at >= t.offset && at < t.offset + t.length) return false;
        return true;
    }

    // The file's clusters from index k on, first fit from cluster c (which is taken as it is).
    bool fill_from(size_t k, uint32_t c) {
        return fill_first_fit(v_, clusters_, k, c, [this](uint32_t x) { return is_free(x); });
    }

    std::vector<extent_t> extents() const {
        std::vector<extent_t> out = cluster_extents(v_, clusters_);
        for (const extent_t& t : q_.tail)
            if (!out.empty() && out.back().offset + out.back().length == t.offset)
                out.back().length += t.length;
            else
                out.push_back(t);
        return out;
    }

    // Another file started at cluster c (its header is there, or another deleted entry names
    // it), or a folder's entries lie there: the camera went round a folder's cluster as round a
    // file's, and after a quick format no entry names a folder's later clusters.
    bool starts_a_file_at(uint32_t c) {
        for (const cluster_span_t& s : q_.others)
            if (s.first == c) return true;
        return starts_file_or_folder(card_, v_, c);
    }

    // A file whose movie box comes first ends in media data, where the last cluster often holds
    // only sound, whose samples have no units to check. Its chain is taken when it is confirmed
    // up to the cluster of its last place and runs on from there without a jump, through a
    // short stretch whose clusters start no other file: first fit took those free clusters,
    // as many as the file has there.
    bool ends_on(const structure_walk_t& w, const std::vector<uint64_t>& jumps) {
        const uint32_t cs = v_.cluster_size;
        if (!q_.tail.empty() || w.places.empty()) return false;
        const uint64_t last = *std::max_element(w.places.begin(), w.places.end());
        if (last >= q_.size) return false;
        const uint64_t placed_end = std::min(q_.size, (last / cs + 1) * cs);
        if (q_.size - placed_end > max_unplaced_end) return false;
        // Every stretch after a jump holds a place, the last place's cluster too, and no jump
        // lies after it.
        if (judge_chain(w, jumps, placed_end, cs) != chain_verdict_t::confirmed) return false;
        if (!jumps.empty() && jumps.back() >= placed_end) return false;
        for (size_t k = size_t(placed_end / cs); k < clusters_.size(); ++k) {
            uint8_t head[64];
            if (card_.read_at(v_.cluster_offset(clusters_[k]), head, sizeof head) == sizeof head &&
                is_known_file_start(head, sizeof head))
                return false;
        }
        return true;
    }

    // Where the sample at the break goes on: the break lies at a cluster boundary after the last
    // place the walk confirmed; the one free cluster after that where the sample starts as it
    // must is where the file went on.
    bool resume(const structure_walk_t& w, const iso_break_t& broke) {
        const uint32_t cs = v_.cluster_size;
        uint64_t good = 0;
        for (uint64_t at : w.places)
            if (at < broke.at) good = std::max(good, at);
        const size_t j = size_t(broke.at / cs);
        const size_t first_boundary = size_t(good / cs) + 1;
        if (j >= clusters_.size() || first_boundary > j || first_boundary == 0) return false;
        const uint64_t within = broke.at % cs;
        uint32_t found = 0, matches = 0, looked = 0;
        const uint64_t reach = uint64_t(clusters_.size()) * 4 + 64;
        for (uint32_t c = clusters_[first_boundary - 1] + 1;
             v_.is_cluster(c) && c - q_.first <= reach && looked < max_looked_at && matches < 2; ++c) {
            if (!is_free(c) || c == clusters_[j]) continue;
            // Each look reads a window of the card: it comes out of the scan's budget too.
            if (q_.budget) {
                if (*q_.budget < look_cost) return false;
                *q_.budget -= look_cost;
            }
            ++looked;
            const uint64_t at = v_.cluster_offset(c) + within;
            if (!iso_sample_holds(card_, at, look_cost, broke)) continue;
            const uint64_t check = std::min(broke.size, max_sample_check);
            if (q_.budget) {
                if (*q_.budget < check) return false;
                *q_.budget -= check;
            }
            if (iso_sample_holds(card_, at, check, broke)) {
                found = c;
                ++matches;
            }
        }
        if (matches != 1) return false;
        // Which boundary the break lies at: the only one; the one at which the motion-JPEG frame
        // at the last place decodes whole through it; or the first at whose cluster, as the
        // chain had it, another file started (that cluster was the other file's, as the camera
        // went round it).
        size_t b = j;
        if (first_boundary < j) {
            b = frame_boundary(good, first_boundary, j, found);
            if (b > j) {
                b = first_boundary;
                while (b <= j && !starts_a_file_at(clusters_[b])) ++b;
            }
            if (b > j) return false;
        }
        if (!is_open(b, j, found)) return false;
        return fill_from(b, uint32_t(found - (j - b)));
    }

    // Index b may go to the cluster j - b before `found`, the clusters between all free.
    bool is_open(size_t b, size_t j, uint32_t found) const {
        if (found < j - b) return false;
        const uint32_t to = uint32_t(found - (j - b));
        if (to <= clusters_[b - 1]) return false;
        for (uint32_t c = to; c <= found; ++c)
            if (!is_free(c)) return false;
        return true;
    }

    // The one boundary from `first` to j at which the motion-JPEG frame starting at the place
    // `good` decodes whole through it when the file goes on there, every other boundary breaking
    // it; j + 1 when there is not exactly one (no frame there, or it cannot tell).
    size_t frame_boundary(uint64_t good, size_t first, size_t j, uint32_t found) {
        const uint32_t cs = v_.cluster_size;
        const uint64_t cost = std::min<uint64_t>(q_.size - good, max_frame_check);
        size_t picked = j + 1;
        const std::vector<uint32_t> before = clusters_;
        for (size_t b = first; b <= j; ++b) {
            clusters_ = before;
            if (!is_open(b, j, found) || !fill_from(b, uint32_t(found - (j - b)))) continue;
            if (q_.budget) {
                if (*q_.budget < cost) {
                    picked = j + 1;
                    break;
                }
                *q_.budget -= cost;
            }
            extent_source_c file(card_, extents(), q_.size);
            const stretch_verdict_t v = jpeg_frame_holds(file, good, cost, uint64_t(b) * cs);
            if (v == stretch_verdict_t::unknown || (v == stretch_verdict_t::holds && picked <= j)) {
                picked = j + 1;
                break;
            }
            if (v == stretch_verdict_t::holds) picked = b;
        }
        clusters_ = before;
        return picked;
    }

    byte_source_i& card_;
    const allocation_request_t& q_;
    const fs_volume_t& v_;
    const uint64_t head_size_;
    std::vector<uint32_t> clusters_;
};

}  // namespace

std::vector<extent_t> reassemble_iso_by_samples(byte_source_i& card, const allocation_request_t& q) {
    if (!q.volume || !q.is_taken) return {};
    return sample_chain_c(card, q).run();
}

}  // namespace ember::fs
