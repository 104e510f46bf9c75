// The guide's search for videos that no entry names: a file that starts at a cluster, whose carve
// does not hold (its data went on elsewhere), is put together from its own structure alone, an
// MP4 or MOV sample by sample (iso_chain_resume.h), an AVI chunk by chunk
// (structure_chain_resume.h).
#include <algorithm>

#include "core/byte_order.h"
#include "formats/video/iso_brand.h"
#include "chain_check_support.h"
#include "extension_match.h"
#include "extent_source.h"
#include "fragment_join.h"
#include "fs_directory.h"
#include "fs_guide.h"
#include "iso_chain_resume.h"
#include "iso_tail_search.h"
#include "structure_chain_resume.h"

namespace ember::fs {

namespace {

// Movie boxes looked at for one file: more would mean the search cannot tell them apart anyway.
constexpr size_t max_unlisted_tails = 2;

// Where the samples of the MP4 or MOV carved to `length` bytes at offset stop holding
// (holds_to), or length. The walk reads the file once, from the budget.
uint64_t iso_samples_end(byte_source_i& card, uint64_t offset, uint64_t length, uint64_t& budget) {
    if (budget < length) return length;
    budget -= length;
    extent_source_c file(card, {{offset, length}}, length);
    return holds_to(walk_iso_media(file), length);
}

// Clusters looked at for another file's start in a head kept without its movie box.
constexpr uint32_t max_head_clusters = 1u << 16;

// What the ftyp box at the head names the file ("mov", "mp4", "3gp", "3g2"); nullptr when there
// is none or it names a still picture.
const char* iso_head_kind(byte_source_i& card, uint64_t offset) {
    uint8_t h[256];
    if (card.read_at(offset, h, 16) != 16 || load_be32(h + 4) != fourcc("ftyp")) return nullptr;
    const uint32_t box = load_be32(h);
    if (box < 16 || box > sizeof h || card.read_at(offset, h, box) != box) return nullptr;
    return video::iso_kind_of(h, box);
}

// How much of an MP4 or MOV whose movie box follows its media data, and whose chain no walk
// confirmed, is surely its own, from its first cluster on: with a movie box found on the card in
// its place (tails), as far as the walk through the first-fit chain and that box confirms the
// samples within the chain's first stretch (the furthest any such box confirms); with none, up
// to the first cluster that is taken, starts another file (a carver's probe agrees) or holds a
// folder (the camera went round it there, or a file was written over the rest), at most up to
// where the movie box starts. At least the first cluster: a head, never another file's bytes,
// so that a file whose start is on the card is never lost.
uint64_t iso_media_head(byte_source_i& card, const allocation_request_t& q, uint64_t moov_at,
                        const std::vector<iso_tail_t>& tails) {
    const fs_volume_t& v = *q.volume;
    uint64_t best = 0;
    for (const iso_tail_t& t : tails) {
        const uint64_t size = moov_at + t.moov_size;
        std::vector<extent_t> tail = allocation_chain(v, t.cluster, size - q.tail_at, q.is_taken);
        auto in_tail = [&](uint32_t c) {
            const uint64_t at = v.cluster_offset(c);
            return std::any_of(tail.begin(), tail.end(),
                               [at](const extent_t& x) { return at >= x.offset && at - x.offset < x.length; });
        };
        std::vector<extent_t> chain =
            allocation_chain(v, q.first, q.tail_at, [&](uint32_t c) { return q.is_taken(c) || in_tail(c); });
        if (tail.empty() || chain.empty() || !q.budget || *q.budget < size) continue;
        *q.budget -= size;
        const uint64_t first = chain[0].length;
        chain.insert(chain.end(), tail.begin(), tail.end());
        extent_source_c file(card, chain, size);
        const structure_walk_t w = walk_iso_media(file);
        // A walk that stopped without telling where (tables it cannot read) confirms nothing.
        if (!w.is_sound && w.failed_at == UINT64_MAX) continue;
        best = std::max(best, std::min(first, holds_to(w, size)));
    }
    if (best) return best;
    uint32_t c = q.first + 1;
    for (uint64_t end = v.cluster_offset(q.first) + moov_at; c - q.first < max_head_clusters && v.is_cluster(c) &&
                                                            v.cluster_offset(c) < end && !q.is_taken(c);
         ++c) {
        // Any carver's probe counts here too: a file written over the rest (a DV clip, say) may
        // have no common signature.
        uint8_t sector[probe_size];
        if (card.read_at(v.cluster_offset(c), sector, probe_size) != probe_size ||
            is_known_file_start(sector, probe_size) || holds_folder_entries(v, sector) || starts_a_file(sector, probe_size))
            break;
    }
    return std::min<uint64_t>(moov_at, uint64_t(c - q.first) * v.cluster_size);
}

}  // namespace

bool fs_guide_c::carve_unlisted_video(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
                                      guided_find_t& out) {
    if (format.search_name == "riff") return carve_unlisted_avi(offset, format, resident, out);
    if (format.search_name != "mov") return false;
    uint16_t volume = 0;
    while (volume < reader_.volumes().size() && reader_.volumes()[volume].cluster_at(offset) == 0) ++volume;
    if (volume == reader_.volumes().size()) return false;
    const fs_volume_t& v = reader_.volumes()[volume];
    if (v.cluster_offset(v.cluster_at(offset)) != offset) return false;
    // The usual carve, kept as the scan would keep it when it holds and its samples do too. One
    // whose samples break (a movie box first hides that from the carver) is put together below
    // when its structure confirms a chain, else kept up to where they break.
    uint64_t samples_end = 0;
    {
        carve_input_c in(source_, offset, resident);
        carve_result_t found = format.carve(in);
        if (found.length) {
            out = {};  // without a type: the next format is asked
            if (!found.extension) return true;
            const uint64_t length = std::min<uint64_t>(found.length, in.size());
            const uint64_t kept = free_length(offset, length);
            out = {nullptr, kept, found.extension, offset + kept, true, std::move(in.layout()), false, {}};
            out.origin.is_cut = kept < length;
            if (kept != length || length <= v.cluster_size) return true;
            samples_end = iso_samples_end(window_, offset, length, chain_budget_);
            if (samples_end == length) return true;
        }
    }
    const iso_head_t head = read_iso_head(window_, offset, source_.size() - offset);
    allocation_request_t q;
    q.volume = &v;
    q.first = v.cluster_at(offset);
    q.budget = &chain_budget_;
    q.is_taken = [this, &v, volume](uint32_t c) {
        if (reader_.is_owned(volume, c)) return true;
        const uint64_t at = v.cluster_offset(c);
        auto it = claimed_.upper_bound(at);
        return it != claimed_.begin() && at < std::prev(it)->second;
    };
    // Where other deleted files' entries start after it: a break goes round the first of them.
    const uint64_t reach_clusters = 4 * std::max(head.size, head.moov_at) / v.cluster_size + 64;
    for (const fs_entry_t& other : reader_.entries())
        if (other.volume == volume && other.runs_count == 0 && other.first_cluster > q.first &&
            other.first_cluster - q.first <= reach_clusters)
            q.others.push_back({other.first_cluster, other.first_cluster + 1, false});
    std::vector<iso_tail_t> tails;
    // Kept up to where its samples break, when no chain is confirmed; one whose carve broke
    // (its movie box is not where its media data ends) as its media data's head, as far as that
    // is surely the file's.
    auto keep_head = [&] {
        const char* kind = nullptr;
        if (samples_end == 0 && head.moov_at >= v.cluster_size) kind = iso_head_kind(window_, offset);
        if (kind) {
            const uint64_t kept = iso_media_head(window_, q, head.moov_at, tails);
            out = {nullptr, kept, kind, offset + kept, true, {}, false, {}};
        } else if (samples_end) {
            out.length = samples_end;
            out.resume = offset + samples_end;
        } else {
            return false;
        }
        out.origin.is_cut = true;
        return true;
    };
    std::vector<extent_t> chain;
    uint64_t size = 0;
    if (head.size > v.cluster_size) {
        q.size = size = head.size;
        chain = reassemble_iso_by_samples(window_, q);
    } else if (head.moov_at >= v.cluster_size) {
        // The movie box, wherever first fit put it after the media data: each one found is tried,
        // and one alone must give a chain the walk confirms.
        q.tail_at = head.moov_at / v.cluster_size * v.cluster_size;
        const uint64_t reach = 4 * (head.moov_at / v.cluster_size) + 64;
        const uint32_t from = uint32_t(q.first + q.tail_at / v.cluster_size);
        const uint32_t to = uint32_t(std::min<uint64_t>(q.first + reach, uint64_t(v.cluster_count) + 2));
        tails = find_iso_tail(window_, v, from, to, head.moov_at, 0, q.is_taken, max_unlisted_tails, q.budget);
        for (const iso_tail_t& t : tails) {
            q.size = head.moov_at + t.moov_size;
            q.tail = allocation_chain(v, t.cluster, q.size - q.tail_at, q.is_taken);
            std::vector<extent_t> found = q.tail.empty() ? std::vector<extent_t>{} : reassemble_iso_by_samples(window_, q);
            if (found.empty()) continue;
            if (!chain.empty()) return keep_head();  // two confirmed: neither is sure
            chain = std::move(found);
            size = q.size;
        }
    }
    if (chain.empty()) return keep_head();
    // The carver too must take the file whole at that size.
    auto view = std::make_unique<extent_source_c>(window_, chain, size);
    carve_input_c in(*view, 0);
    carve_result_t found = format.carve(in);
    if (found.length != size || !found.extension) return keep_head();
    claim({chain.begin() + 1, chain.end()});
    view_ = std::move(view);
    out = {view_.get(), size, found.extension, offset + std::min(chain[0].length, size), false, {}, false, {}};
    out.origin.assembly = chain.size() > 1 ? find_assembly_t::joined : find_assembly_t::contiguous;
    out.origin.pieces = uint32_t(chain.size());
    return true;
}

// An AVI whose carve stops short of its RIFF size: the chain its chunks confirm, the carver taking
// the file whole at that size. Anything else is left to the usual carve.
bool fs_guide_c::carve_unlisted_avi(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
                                    guided_find_t& out) {
    uint16_t volume = 0;
    while (volume < reader_.volumes().size() && reader_.volumes()[volume].cluster_at(offset) == 0) ++volume;
    if (volume == reader_.volumes().size()) return false;
    const fs_volume_t& v = reader_.volumes()[volume];
    if (v.cluster_offset(v.cluster_at(offset)) != offset) return false;
    uint64_t size = 0;
    {
        carve_input_c in(source_, offset, resident);
        const uint8_t* h = in.at(0, 12);
        if (!h || load_be32(h) != fourcc("RIFF") || load_be32(h + 8) != fourcc("AVI ")) return false;
        size = 8 + uint64_t(load_le32(h + 4));
        if (size <= v.cluster_size || size > v.data_end() - offset) return false;
        const carve_result_t found = format.carve(in);
        if (!found.extension || found.length >= size) return false;
    }
    allocation_request_t q;
    q.volume = &v;
    q.first = v.cluster_at(offset);
    q.size = size;
    q.budget = &chain_budget_;
    q.is_taken = [this, &v, volume](uint32_t c) {
        if (reader_.is_owned(volume, c)) return true;
        const uint64_t at = v.cluster_offset(c);
        auto it = claimed_.upper_bound(at);
        return it != claimed_.begin() && at < std::prev(it)->second;
    };
    const uint64_t reach_clusters = 4 * size / v.cluster_size + 64;
    for (const fs_entry_t& other : reader_.entries())
        if (other.volume == volume && other.runs_count == 0 && other.first_cluster > q.first &&
            other.first_cluster - q.first <= reach_clusters)
            q.others.push_back({other.first_cluster, other.first_cluster + 1, false});
    std::vector<extent_t> chain = reassemble_by_structure(window_, q, walk_riff_avi, avi_continues_at, avi_frame_holds);
    if (chain.empty()) return false;
    auto view = std::make_unique<extent_source_c>(window_, chain, size);
    carve_input_c in(*view, 0);
    const carve_result_t found = format.carve(in);
    if (found.length != size || !found.extension) return false;
    claim({chain.begin() + 1, chain.end()});
    view_ = std::move(view);
    out = {view_.get(), size, found.extension, offset + std::min(chain[0].length, size), false, {}, false, {}};
    out.origin.assembly = chain.size() > 1 ? find_assembly_t::joined : find_assembly_t::contiguous;
    out.origin.pieces = uint32_t(chain.size());
    return true;
}

}  // namespace ember::fs
