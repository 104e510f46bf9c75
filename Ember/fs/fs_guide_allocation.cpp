// The guide's use of first-fit reassembly (allocation_chain.h) for deleted videos, sound,
// pictures and photos.
#include <algorithm>
#include <cstring>

#include "allocation_chain.h"
#include "chain_check_support.h"
#include "extension_match.h"
#include "fragment_join.h"
#include "fs_guide.h"
#include "iso_chain_resume.h"
#include "iso_tail_search.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

// The structure walk for the entry's type, when the carver whose probe agreed finds that type.
structure_walk_fn walk_for(const fs_entry_t& e, const format_t& format) {
    std::string_view search_name;
    structure_walk_fn walk = structure_walk_for(e.extension, &search_name);
    return walk && format.search_name == search_name ? walk : nullptr;
}

// Tails looked at for one file: more would mean the search cannot tell them apart anyway.
constexpr size_t max_iso_tails = 2;

}  // namespace

// An MP4 or MOV whose movie box follows its media data: the chains through the media data, each
// ending in a movie box found on the card where the file's size says it starts. One chain alone
// must be confirmed over all tails.
std::vector<extent_t> fs_guide_c::reassemble_iso_tail(allocation_request_t& q, structure_walk_fn walk, uint64_t reach,
                                                      uint64_t moov_at, bool is_by_samples) {
    const fs_volume_t& v = *q.volume;
    if (moov_at < v.cluster_size) return {};
    q.tail_at = moov_at / v.cluster_size * v.cluster_size;
    const uint32_t from = uint32_t(q.first + q.tail_at / v.cluster_size);
    const uint32_t to = uint32_t(std::min<uint64_t>(q.first + reach, uint64_t(v.cluster_count) + 2));
    std::vector<extent_t> confirmed;
    for (const iso_tail_t& t : find_iso_tail(window_, v, from, to, moov_at, q.size, q.is_taken, max_iso_tails, q.budget)) {
        q.tail = allocation_chain(v, t.cluster, q.size - q.tail_at, q.is_taken);
        // Sample by sample first: it walks the file once a break, where the chains that skip
        // other entries' files take up to 49 walks, and those entries are many after a quick
        // format (every file counts as deleted). All the walks of a scan share one budget.
        std::vector<extent_t> chain;
        if (!q.tail.empty() && is_by_samples) chain = reassemble_iso_by_samples(window_, q);
        if (!q.tail.empty() && chain.empty()) chain = reassemble_by_allocation(window_, q, walk);
        if (chain.empty()) continue;
        if (!confirmed.empty()) return {};  // two tails confirmed: neither is sure
        confirmed = std::move(chain);
    }
    q.tail_at = 0;
    q.tail.clear();
    return confirmed;
}

// The chain a deleted file's structure confirms among those first-fit allocation may have given
// it, the clusters of live files and of files kept already counting as taken. The other entries'
// files that it may have gone round span their stated sizes, or (is_by_holes) only their first
// holes: up to the next cluster another entry names, where a file written since may lie.
std::vector<extent_t> fs_guide_c::allocated_chain(const fs_entry_t& e, structure_walk_fn walk, uint64_t moov_at,
                                                  bool is_by_holes, bool& is_stopped) {
    const fs_volume_t& v = reader_.volumes()[e.volume];
    allocation_request_t q;
    q.volume = &v;
    q.first = e.first_cluster;
    q.size = e.size;
    q.budget = &chain_budget_;
    q.is_stopped = &is_stopped;
    q.is_taken = [this, &v, volume = e.volume](uint32_t c) {
        if (reader_.is_owned(volume, c)) return true;
        const uint64_t at = v.cluster_offset(c);
        auto it = claimed_.upper_bound(at);
        return it != claimed_.begin() && at < std::prev(it)->second;
    };
    // Other files the chain may cross: those that start after this one, not further on than four
    // times its length (beyond that the chain has ended, or it is not a camera's).
    const uint64_t reach = 4 * (e.size / v.cluster_size) + 64;
    std::vector<uint32_t> firsts;
    for (const fs_entry_t& other : reader_.entries()) {
        if (other.volume != e.volume) continue;
        if (is_by_holes) firsts.push_back(other.first_cluster);
        if (other.runs_count == 0 && other.first_cluster > e.first_cluster &&
            other.first_cluster - e.first_cluster <= reach && v.is_cluster(other.first_cluster) && other.size)
        {
            // A file whose first cluster still starts one was not written over since.
            uint8_t head[probe_size];
            const bool is_intact = window_.read_at(v.cluster_offset(other.first_cluster), head, probe_size) ==
                                       probe_size &&
                                   starts_a_file(head, probe_size);
            q.others.push_back({other.first_cluster,
                                uint32_t(std::min<uint64_t>(other.first_cluster + (other.size - 1) / v.cluster_size + 1,
                                                            uint64_t(v.cluster_count) + 2)),
                                is_intact, other.size});
        }
    }
    if (is_by_holes) {
        // Nothing to look for again when no file the chain may cross ends sooner so.
        uint64_t stated = 0, cut = 0;
        for (const cluster_span_t& s : q.others) stated += s.end - s.first;
        cut_to_first_holes(q.others, std::move(firsts));
        for (const cluster_span_t& s : q.others) cut += s.end - s.first;
        if (cut == stated) return {};
    }
    // The search sample by sample needs no other entry, so it is not made again by holes.
    std::vector<extent_t> chain = reassemble_iso_tail(q, walk, reach, moov_at, !is_by_holes);
    // Movie box first: the samples place every break (tried first, as with a tail above).
    if (chain.empty() && walk == walk_iso_media && moov_at == 0 && !is_by_holes)
        chain = reassemble_iso_by_samples(window_, q);
    if (chain.empty()) chain = reassemble_by_allocation(window_, q, walk);
    // An AVI: its chunks and motion-JPEG frames place every break.
    if (chain.empty() && walk == walk_riff_avi)
        chain = reassemble_by_structure(window_, q, walk, avi_continues_at, avi_frame_holds);
    // Raw DV: every block says where it stands in its frame.
    if (chain.empty() && walk == walk_dv) chain = reassemble_by_structure(window_, q, walk, dv_continues_at);
    // Matroska: its elements and blocks place every break.
    if (chain.empty() && walk == walk_matroska) chain = reassemble_by_structure(window_, q, walk, mkv_continues_at);
    // PNG and Ogg: their chunks and pages place every break.
    if (chain.empty() && walk == walk_png)
        chain = reassemble_by_structure(window_, q, walk, png_continues_at, png_chunk_holds, exact_check_reach);
    if (chain.empty() && walk == walk_ogg)
        chain = reassemble_by_structure(window_, q, walk, ogg_continues_at, ogg_page_holds, exact_check_reach);
    // ASF (WMV, WMA): every data packet starts as the first one does, at the stated interval.
    if (chain.empty() && walk == walk_asf) chain = reassemble_by_structure(window_, q, walk, asf_continues_at);
    if (chain.empty() && walk == walk_flv) chain = reassemble_by_structure(window_, q, walk, flv_continues_at);
    return chain;
}

bool fs_guide_c::carve_allocated(const fs_entry_t& e, const format_t& format, uint64_t offset, uint64_t carved,
                                 guided_find_t& out) {
    const bool is_carved_whole = carved == e.size;
    if (e.runs_count || e.is_contiguous || e.volume >= reader_.volumes().size()) return false;
    structure_walk_fn walk = walk_for(e, format);
    const fs_volume_t& v = reader_.volumes()[e.volume];
    if (!walk || e.size <= v.cluster_size || v.cluster_offset(e.first_cluster) != offset) return false;
    // A carve at the entry's size is the file unless its contents are checked and break; when
    // they break and no chain is confirmed, it is kept only as far as they hold (carve()).
    uint64_t holds = e.size;
    if (is_carved_whole && !breaks_when_whole(walk, window_, offset, e.size, &holds)) return false;
    if (is_carved_whole) whole_holds_to_ = std::min(whole_holds_to_, holds);
    // A photo is looked for in pieces here only when its carve stops short of its size before an
    // EOI (one that ends at an EOI is settled, or joined, as before).
    if (walk == walk_jpeg) {
        uint8_t end[2] = {};
        if (carved < 2 || carved >= e.size || window_.read_at(offset + carved - 2, end, 2) != 2 ||
            (end[0] == 0xFF && end[1] == 0xD9))
            return false;
    }
    // An MP4 or MOV: where its movie box lies when it follows the media data.
    const uint64_t moov_at =
        walk == walk_iso_media ? iso_tail_offset(window_, offset, v.cluster_size, e.size) : 0;
    // First with the files the entries state at their full sizes; where no chain is confirmed
    // so, with each only in its first hole (after a quick format, the files written since the
    // others were deleted lie in those others' later clusters).
    bool is_stopped = false;
    std::vector<extent_t> chain = allocated_chain(e, walk, moov_at, false, is_stopped);
    if (chain.empty() && !is_stopped) chain = allocated_chain(e, walk, moov_at, true, is_stopped);
    if (chain.empty()) return false;
    // The carver too must take the file whole at its entry's size (a photo's walk took in its
    // padding: its carver ends at its EOI, within the size).
    auto view = std::make_unique<extent_source_c>(window_, chain, e.size);
    carve_input_c in(*view, 0);
    carve_result_t found = format.carve(in);
    const bool is_length_right = found.length == e.size || (walk == walk_jpeg && found.length && found.length < e.size);
    if (!is_length_right || !found.extension || !extension_matches(e.extension, found.extension)) return false;
    claim({chain.begin() + 1, chain.end()});
    view_ = std::move(view);
    out = {view_.get(), e.size, found.extension, offset + std::min(chain[0].length, e.size), false, {}, false, {}};
    out.origin.entry = index_of(e);
    out.origin.assembly = chain.size() > 1 ? find_assembly_t::joined : find_assembly_t::contiguous;
    out.origin.pieces = uint32_t(chain.size());
    return true;
}

}  // namespace ember::fs
