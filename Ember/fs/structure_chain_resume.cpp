#include "structure_chain_resume.h"

#include <algorithm>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "extent_source.h"
#include "jpeg_entropy_check.h"

namespace ember::fs {
namespace {

constexpr int max_walks = 64;
constexpr int max_breaks = 32;          // followed along one chain
constexpr size_t max_followed = 4;      // clusters where the structure continues, at one break
constexpr uint32_t max_looked_at = 8192;  // free clusters looked at for one break
constexpr uint64_t look_cost = 512;     // taken from the budget a cluster looked at
constexpr uint64_t max_frame = 8 << 20;   // a motion-JPEG frame decoded to place a break
constexpr size_t max_whole_walks = 8;     // other files walked whole in their clusters, a file

bool is_hex_digit(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_letter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

bool same_extents(const std::vector<extent_t>& a, const std::vector<extent_t>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const extent_t& x, const extent_t& y) {
               return x.offset == y.offset && x.length == y.length;
           });
}

class structure_chain_c {
public:
    structure_chain_c(byte_source_i& card, const allocation_request_t& q, structure_walk_fn walk,
                      continues_fn continues, stretch_fn stretch, uint32_t min_reach)
        : card_(card), q_(q), v_(*q.volume), walk_(walk), continues_(continues), stretch_(stretch),
          min_reach_(min_reach) {}

    std::vector<extent_t> run() {
        const uint32_t cs = v_.cluster_size;
        if (!cs || q_.size == 0) return {};
        const uint64_t count = (q_.size + cs - 1) / cs;
        if (count > (uint64_t(1) << 22)) return {};
        clusters_.assign(size_t(count), 0);
        if (!fill_from(0, q_.first) || !follow(0)) return {};
        return confirmed_;
    }

private:
    bool is_free(uint32_t c) const { return v_.is_cluster(c) && !q_.is_taken(c); }

    // The file's clusters from index k on, first fit from cluster c (which is taken as it is).
    bool fill_from(size_t k, uint32_t c) {
        return fill_first_fit(v_, clusters_, k, c, [this](uint32_t x) { return is_free(x); });
    }

    std::vector<extent_t> extents() const { return cluster_extents(v_, clusters_); }

    // Another file started at cluster c (another deleted entry names it, or its header is
    // there), or a folder's entries lie there.
    bool starts_a_file_at(uint32_t c) {
        for (const cluster_span_t& s : q_.others)
            if (s.first == c) return true;
        return starts_file_or_folder(card_, v_, c);
    }

    // Walks the chain as it stands and follows each place it may go on at its break. False when
    // the search must stop with no answer: a second confirmed chain, the walks or the budget used up.
    bool follow(int breaks, uint64_t broke_at = 0) {
        if (++walks_ > max_walks) return false;
        if (q_.budget) {
            if (*q_.budget < q_.size) return false;
            *q_.budget -= q_.size;
        }
        const std::vector<extent_t> chain = extents();
        extent_source_c file(card_, chain, q_.size);
        if (file.size() != q_.size) return true;
        const structure_walk_t w = walk_(file);
        std::vector<uint64_t> jumps;
        for (uint64_t at = 0, i = 0; i + 1 < chain.size(); ++i) jumps.push_back(at += chain[i].length);
        if (judge_chain(w, jumps, q_.size, v_.cluster_size) == chain_verdict_t::confirmed) {
            // Two ways to one chain are one answer; two chains confirmed: neither is sure.
            if (same_extents(confirmed_, chain)) return true;
            if (!confirmed_.empty()) return false;
            confirmed_ = chain;
            return true;
        }
        // A way that breaks no further on than the break it was taken at is not the file's.
        if (breaks == max_breaks || w.failed_at == UINT64_MAX || (breaks && w.failed_at <= broke_at)) return true;
        std::vector<std::pair<size_t, uint32_t>> ways;  // index b of the chain goes on at cluster
        if (!places_after(w, ways)) return false;
        const std::vector<uint32_t> before = clusters_;
        for (auto [b, to] : ways) {
            clusters_ = before;
            if (fill_from(b, to) && !follow(breaks + 1, w.failed_at)) return false;
        }
        clusters_ = before;
        return true;
    }

    // Where the chain may go on after the break at w.failed_at: the free clusters after the last
    // place the walk confirmed where the structure continues at the break's place in its cluster,
    // each with the index of the chain it takes there. The break lies at one of the cluster
    // boundaries between that place and the failure: the only one, the one at which the stretch
    // from the place reads right through the chain (stretch_, a motion-JPEG frame decoded), or
    // the first at whose cluster another file started. False when the budget ran out or there
    // are more ways than can be followed.
    bool places_after(const structure_walk_t& w, std::vector<std::pair<size_t, uint32_t>>& ways) {
        const uint32_t cs = v_.cluster_size;
        uint64_t good = 0;
        for (uint64_t at : w.places)
            if (at < w.failed_at) good = std::max(good, at);
        const size_t j = size_t(w.failed_at / cs);
        const size_t first_boundary = size_t(good / cs) + 1;
        if (j >= clusters_.size() || first_boundary > j) return true;
        size_t by_start = j;
        if (first_boundary < j) {
            by_start = first_boundary;
            while (by_start <= j && !starts_a_file_at(clusters_[by_start])) ++by_start;
        }
        const uint64_t within = w.failed_at % cs, left = q_.size - w.failed_at;
        // Within eight times the file's clusters, or further where the caller's check is strict
        // enough (on a nearly full card the next free cluster may lie far on).
        const uint64_t reach = std::max<uint64_t>(uint64_t(clusters_.size()) * 8 + 64, min_reach_);
        uint32_t looked = 0;
        for (uint32_t c = clusters_[first_boundary - 1] + 1;
             v_.is_cluster(c) && c - q_.first <= reach && looked < max_looked_at; ++c) {
            if (!is_free(c) || c == clusters_[j]) continue;
            if (q_.budget) {
                if (*q_.budget < look_cost) return false;
                *q_.budget -= look_cost;
            }
            ++looked;
            if (!continues_(card_, v_.cluster_offset(c) + within, left)) continue;
            size_t b = first_boundary == j ? j : pick_boundary(good, first_boundary, j, c);
            if (b > j) b = by_start;
            if (b > j || c < j - b) continue;
            // Index b goes to the cluster j - b before the one found, the clusters between all free.
            const uint32_t to = uint32_t(c - (j - b));
            if (!is_open(b, to, c) || went_round(b, to, c)) continue;
            // More places than can be followed: the structure cannot tell them apart.
            if (ways.size() == max_followed) return false;
            ways.push_back({b, to});
        }
        return true;
    }

    bool is_open(size_t b, uint32_t to, uint32_t c) const {
        bool open = to > clusters_[b - 1];
        for (uint32_t k = to; open && k <= c; ++k) open = is_free(k);
        return open;
    }

    // Going on at `to`, the chain goes round the first cluster of another file of this kind whose
    // stated clusters, read in a row from there, its structure confirms whole, and `to` to c lie
    // among them: they are that file's (held when this one was written, or written over it
    // since), though another clip of the same kind reads just as well at the same place.
    bool went_round(size_t b, uint32_t to, uint32_t c) {
        const uint32_t cs = v_.cluster_size;
        for (const cluster_span_t& s : q_.others)
            if (s.first > clusters_[b - 1] && s.first < to && c < s.end && s.size &&
                (s.size + cs - 1) / cs == s.end - s.first && holds_whole(s))
                return true;
        return false;
    }

    bool holds_whole(const cluster_span_t& s) {
        for (auto [first, holds] : whole_)
            if (first == s.first) return holds;
        bool holds = false;
        if (whole_.size() < max_whole_walks && (!q_.budget || *q_.budget >= s.size)) {
            if (q_.budget) *q_.budget -= s.size;
            extent_source_c file(card_, {{v_.cluster_offset(s.first), s.size}}, s.size);
            holds = file.size() == s.size &&
                    judge_chain(walk_(file), {}, s.size, v_.cluster_size) == chain_verdict_t::confirmed;
        }
        whole_.push_back({s.first, holds});
        return holds;
    }

    // The one boundary from `first` to j at which the stretch from `good` reads right when the
    // file goes on there in the clusters up to c; j + 1 when there is not exactly one, or the
    // stretch cannot tell.
    size_t pick_boundary(uint64_t good, size_t first, size_t j, uint32_t c) {
        if (!stretch_) return j + 1;
        size_t picked = j + 1;
        const std::vector<uint32_t> before = clusters_;
        for (size_t b = first; b <= j; ++b) {
            if (c < j - b || !is_open(b, uint32_t(c - (j - b)), c)) continue;
            clusters_ = before;
            if (!fill_from(b, uint32_t(c - (j - b)))) continue;
            extent_source_c file(card_, extents(), q_.size);
            const stretch_verdict_t v = stretch_(file, good, uint64_t(b) * v_.cluster_size);
            if (v == stretch_verdict_t::unknown) {
                picked = j + 1;
                break;
            }
            if (v == stretch_verdict_t::holds) {
                if (picked <= j) {
                    picked = j + 1;
                    break;
                }
                picked = b;
            }
        }
        clusters_ = before;
        return picked;
    }

    byte_source_i& card_;
    const allocation_request_t& q_;
    const fs_volume_t& v_;
    const structure_walk_fn walk_;
    const continues_fn continues_;
    const stretch_fn stretch_;
    const uint32_t min_reach_;
    std::vector<uint32_t> clusters_;
    std::vector<extent_t> confirmed_;
    std::vector<std::pair<uint32_t, bool>> whole_;  // other files walked whole in their own clusters
    int walks_ = 0;
};

}  // namespace

bool avi_continues_at(byte_source_i& card, uint64_t at, uint64_t left) {
    uint8_t h[8];
    if (left < 3 || card.read_at(at, h, std::min<uint64_t>(left, 8)) < std::min<uint64_t>(left, 8)) return false;
    if (h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) return true;
    if (left < 8) return false;
    const bool is_stream = is_hex_digit(h[0]) && is_hex_digit(h[1]) && is_letter(h[2]) && is_letter(h[3]);
    const bool is_index = (h[0] == 'i' && h[1] == 'x' && is_hex_digit(h[2]) && is_hex_digit(h[3])) ||
                          load_be32(h) == fourcc("idx1");
    return (is_stream || is_index || load_be32(h) == fourcc("LIST") || load_be32(h) == fourcc("JUNK")) &&
           load_le32(h + 4) <= left - 8;
}

stretch_verdict_t avi_frame_holds(byte_source_i& file, uint64_t place, uint64_t boundary) {
    // The place is a frame's first byte, its chunk's header just before it.
    uint8_t h[8];
    if (place < 8 || file.read_at(place - 8, h, sizeof h) != sizeof h) return stretch_verdict_t::unknown;
    if (!is_hex_digit(h[0]) || !is_hex_digit(h[1]) || h[2] != 'd' || (h[3] != 'c' && h[3] != 'b'))
        return stretch_verdict_t::unknown;
    const uint64_t size = load_le32(h + 4);
    if (size > file.size() - place || size > max_frame) return stretch_verdict_t::unknown;
    return jpeg_frame_holds(file, place, size, boundary);
}

stretch_verdict_t jpeg_frame_holds(byte_source_i& file, uint64_t place, uint64_t size, uint64_t boundary) {
    uint8_t h[3];
    if (place >= file.size() || file.read_at(place, h, sizeof h) != sizeof h || h[0] != 0xFF || h[1] != 0xD8 ||
        h[2] != 0xFF)
        return stretch_verdict_t::unknown;
    size = std::min({size, file.size() - place, max_frame});
    extent_source_c frame(file, {{place, size}}, size);
    jpeg_entropy_check_c check;
    // Headers that do not read (through this chain, or at all) place no break here.
    if (!check.start(frame)) return stretch_verdict_t::broken;
    uint64_t end = 0;
    const auto result = check.run(frame, check.first_state(), &end);
    if (result == jpeg_entropy_check_c::result_t::error) return stretch_verdict_t::broken;
    // Whole, and its data reaching past the boundary: the frame's bytes there are its own.
    if (result == jpeg_entropy_check_c::result_t::complete && place + end > boundary) return stretch_verdict_t::holds;
    return stretch_verdict_t::unknown;
}

std::vector<extent_t> reassemble_by_structure(byte_source_i& card, const allocation_request_t& q,
                                              structure_walk_fn walk, continues_fn continues, stretch_fn stretch,
                                              uint32_t min_reach) {
    if (!q.volume || !q.is_taken || !walk || !continues) return {};
    return structure_chain_c(card, q, walk, continues, stretch, min_reach).run();
}

}  // namespace ember::fs
