#include "fs_guide.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/format_registry.h"
#include "extension_match.h"
#include "jpeg_entropy_check.h"

namespace ember::fs {
namespace {

constexpr uint64_t max_padding = 1 << 20;
// Cross-linked files larger than this are not read to settle the cross-link: they lose their chains.
constexpr uint64_t max_cross_link_check = 64ull << 20;

// True when the carve of `length` bytes ended where its type's structure ends (a JPEG's EOI,
// PNG's IEND, a RIFF or FORM container's stated size, the furthest byte a TIFF-based file's
// IFDs refer to), not where its data stopped validating.
bool ends_at_structure_end(carve_input_c& in, const char* extension, uint64_t length) {
    std::string_view ext(extension);
    if (ext == "jpg") {
        // EOI, or EOI and the camera's padding (a run of 0xFF or zero bytes) the carver took in.
        uint64_t end = length;
        const uint8_t* last = length ? in.at(length - 1, 1) : nullptr;
        if (last && (*last == 0xFF || *last == 0x00)) {
            const uint8_t fill = *last;
            for (uint64_t limit = length > max_padding ? length - max_padding : 0; end > limit;) {
                const uint8_t* p = in.at(end - 1, 1);
                if (!p || *p != fill) break;
                --end;
            }
        }
        const uint8_t* p = end >= 2 ? in.at(end - 2, 2) : nullptr;
        return p && p[0] == 0xFF && p[1] == 0xD9;
    }
    if (ext == "png") {
        const uint8_t* p = length >= 12 ? in.at(length - 12, 12) : nullptr;
        return p && std::memcmp(p, "\0\0\0\0IEND\xAE\x42\x60\x82", 12) == 0;
    }
    uint32_t stated;
    if (ext == "wav" || ext == "avi") return in.le32(4, stated) && length >= 8 + uint64_t(stated);
    if (ext == "aif") return in.be32(4, stated) && length >= 8 + uint64_t(stated);
    for (std::string_view tiff : {"tif", "nef", "cr2", "dng", "arw", "sr2", "pef", "dcr", "orf", "rw2"})
        if (ext == tiff) return true;  // the carver's end is the structure's: nothing cuts it short
    return false;
}

// How much of the JPEG of `length` bytes at offset its own data accounts for: up to the first
// EOI when the picture decodes to it, 0 when it fails before (its data runs into another
// file's); a JPEG the checker does not read keeps the carver's word (length).
uint64_t jpeg_decoded_end(byte_source_i& source, uint64_t offset, uint64_t length) {
    extent_source_c file(source, {{offset, length}}, length);
    jpeg_entropy_check_c check;
    if (!check.start(file)) return length;
    uint64_t end = 0;
    switch (check.run(file, check.first_state(), &end)) {
    case jpeg_entropy_check_c::result_t::complete: return end;
    case jpeg_entropy_check_c::result_t::error: return 0;
    default: return length;
    }
}

// Where the JPEG of `length` bytes at the start of file stops decoding; ~0 when it decodes to its
// EOI or the checker does not read it.
uint64_t jpeg_failure(byte_source_i& file, uint64_t length) {
    extent_source_c jpeg(file, {{0, length}}, length);
    jpeg_entropy_check_c check;
    uint64_t end = 0;
    if (!check.start(jpeg) || check.run(jpeg, check.first_state(), &end) != jpeg_entropy_check_c::result_t::error)
        return ~uint64_t(0);
    return end;
}

// True when an aligned 4 KiB of the carve of `length` bytes past its first `from` holds no 0xFF
// byte. Entropy-coded data holds one every few hundred bytes (its stuffing), so such a stretch is
// most likely another file's that no marker stopped: text, or other data without 0xFF. Only
// then is a JPEG no entry names decoded to tell (decoding every photo would cost more than the
// pass itself).
bool has_stretch_without_ff(carve_input_c& in, uint64_t from, uint64_t length) {
    constexpr uint64_t stretch = 4096;
    for (uint64_t at = (from + stretch - 1) / stretch * stretch; at + stretch <= length;) {
        uint64_t end = at + stretch, ff = end;
        for (uint64_t p = at; p < end;) {
            std::span<const uint8_t> span = in.run(p);
            if (span.empty()) return false;
            size_t n = size_t(std::min<uint64_t>(span.size(), end - p));
            if (const void* hit = std::memchr(span.data(), 0xFF, n)) {
                ff = p + uint64_t(static_cast<const uint8_t*>(hit) - span.data());
                break;
            }
            p += n;
        }
        if (ff == end) return true;
        at = (ff / stretch + 1) * stretch;
    }
    return false;
}

// The first cluster boundary inside a carve of `length` bytes where a file of a known type
// starts, or length.
uint64_t next_file_start(carve_input_c& in, uint64_t cluster, uint64_t length) {
    for (uint64_t b = cluster; b < length; b += cluster) {
        const uint8_t* sector = in.at(b, probe_size);
        if (sector && starts_a_file(sector, probe_size)) return b;
    }
    return length;
}

// True when a file of a known type starts at offset: a probe agrees and its carver takes it.
bool carves_a_file(byte_source_i& source, uint64_t offset) {
    static const std::vector<const format_t*> formats = all_formats();
    uint8_t head[probe_size];
    if (source.read_at(offset, head, probe_size) != probe_size || !starts_a_file(head, probe_size)) return false;
    for (const format_t* f : formats) {
        if (f->lead_bytes.find(char(head[0])) == std::string_view::npos || !f->probe(head, probe_size)) continue;
        carve_input_c in(source, offset);
        if (f->carve(in).length) return true;
    }
    return false;
}

// True when the chain's bytes read as the file its entry names: a carver whose probe agrees with
// the first sector ends exactly at the entry's size, or where its type's structure ends before
// it, and a JPEG decodes right up to that end.
bool chain_holds_together(byte_source_i& source, const std::vector<extent_t>& extents, const char* entry_extension,
                          uint64_t size) {
    static const std::vector<const format_t*> formats = all_formats();
    extent_source_c file(source, extents, size);
    uint8_t head[probe_size];
    size_t got = file.read_at(0, head, probe_size);
    if (got == 0) return false;
    for (const format_t* f : formats) {
        if (f->lead_bytes.find(char(head[0])) == std::string_view::npos || !f->probe(head, got)) continue;
        carve_input_c in(file, 0);
        carve_result_t found = f->carve(in);
        if (found.length == 0 || !found.extension || !extension_matches(entry_extension, found.extension)) continue;
        if (found.length != size && !ends_at_structure_end(in, found.extension, found.length)) return false;
        return std::strcmp(found.extension, "jpg") != 0 || jpeg_decoded_end(file, 0, found.length) != 0;
    }
    return false;
}

// The types whose fragments are joined, by the search name of their carver.
const char* joinable_extension(const format_t& format) {
    if (format.search_name == "jpg") return "jpg";
    if (format.search_name == "png") return "png";
    return nullptr;
}

}  // namespace

fs_guide_c::fs_guide_c(byte_source_i& source)
    : source_(source), reader_(source), window_(source), search_(window_), chain_budget_(8 * source.size()) {
    // Chains that share clusters: each side is read by its chain before the scan (a few files at
    // most), and only one whose bytes hold together where the other's do not keeps its chain.
    reader_.settle_cross_links([this](const fs_entry_t& e) {
        return e.size <= max_cross_link_check && chain_holds_together(source_, extents_of(e), e.extension, e.size);
    });
    index(0);
}

void fs_guide_c::index(size_t first_entry) {
    const std::vector<fs_entry_t>& entries = reader_.entries();
    for (size_t i = first_entry; i < entries.size(); ++i) {
        const fs_entry_t& e = entries[i];
        starts_.emplace(reader_.volumes()[e.volume].cluster_offset(e.first_cluster), uint32_t(i));
    }
}

void fs_guide_c::observe(uint64_t offset, std::span<const uint8_t> bytes) {
    size_t before = reader_.entries().size();
    if (reader_.observe(offset, bytes.data(), bytes.size())) index(before);
    pass_window_c::scope_c shown(window_, offset, bytes);
    search_.observe(offset, bytes.size());
}

uint64_t fs_guide_c::skip_from(uint64_t offset) {
    auto it = claimed_.upper_bound(offset);
    if (it == claimed_.begin()) return offset;
    --it;
    return offset < it->second ? it->second : offset;
}

std::vector<extent_t> fs_guide_c::extents_of(const fs_entry_t& e) const {
    const fs_volume_t& v = reader_.volumes()[e.volume];
    std::vector<extent_t> extents;
    for (const cluster_run_t& r : reader_.runs(e))
        extents.push_back({v.cluster_offset(r.first), uint64_t(r.count) * v.cluster_size});
    return extents;
}

void fs_guide_c::claim(const std::vector<extent_t>& later) {
    for (const extent_t& x : later) claimed_[x.offset] = std::max(claimed_[x.offset], x.offset + x.length);
}

bool fs_guide_c::carve_live(const fs_entry_t& e, const format_t& format, uint64_t offset, guided_find_t& out) {
    std::vector<extent_t> extents = extents_of(e);
    if (extents.empty() || extents[0].offset != offset) return false;
    // The carver sees the clusters in order and then what follows the last one on the card,
    // as it would see a contiguous file: some carvers tell a file's end by what comes after it.
    std::vector<extent_t> seen = extents;
    uint64_t after = extents.back().offset + extents.back().length;
    if (after < source_.size()) seen.push_back({after, source_.size() - after});
    auto view = std::make_unique<extent_source_c>(window_, seen, ~uint64_t(0));
    if (view->size() < e.size) return false;  // the card ends inside the file
    carve_input_c in(*view, 0);
    carve_result_t found = format.carve(in);
    if (found.length == 0 || !extension_matches(e.extension, found.extension)) return false;
    if (extents.size() > 1 && !is_believable_chain(e, extents, *view, in, found, offset, format)) {
        // Its clusters are not the file's: they are free again for what the card's content says.
        reader_.drop_chain(e);
        return false;
    }
    claim({extents.begin() + 1, extents.end()});
    view_ = std::move(view);
    out = {view_.get(), e.size, found.extension, offset + std::min(extents[0].length, e.size), false, {}, false, {}};
    out.origin.entry = index_of(e);
    out.origin.assembly = find_assembly_t::chain;
    return true;
}

// Whether a fragmented live file's chain is believed: its later stretches start no other file
// (a chain sent through other files' headers; the file's own embedded pictures and frames aside),
// a JPEG does not stop decoding past its first stretch, and where the chain's bytes stop
// validating before the file's end, the card's own bytes from the first cluster do not validate
// further (a damaged file keeps its chain, a damaged chain does not).
bool fs_guide_c::is_believable_chain(const fs_entry_t& e, const std::vector<extent_t>& extents, byte_source_i& file,
                                     carve_input_c& in, const carve_result_t& found, uint64_t offset,
                                     const format_t& format) {
    uint64_t at = extents[0].length;
    for (size_t i = 1; i < extents.size() && at < e.size; at += extents[i].length, ++i)
        if (in.layout().place_of(at) != nested_place_t::embedded && carves_a_file(window_, extents[i].offset))
            return false;  // not where the file's own structure places a picture or frame
    // A JPEG that stops decoding in its first stretch is damaged itself; past a jump, its chain is.
    if (std::strcmp(found.extension, "jpg") == 0) {
        uint64_t failure = jpeg_failure(file, found.length);
        if (failure != ~uint64_t(0) && failure >= extents[0].length) return false;
    }
    if (found.length < e.size && !ends_at_structure_end(in, found.extension, found.length)) {
        carve_input_c straight(window_, offset);
        if (format.carve(straight).length > found.length) return false;
    }
    return true;
}

uint64_t fs_guide_c::live_data_after(const fs_entry_t& e, uint64_t offset, uint64_t length) const {
    const fs_volume_t& v = reader_.volumes()[e.volume];
    std::span<const cluster_run_t> own = reader_.runs(e);  // a live file whose chain was refused
    for (uint64_t at = offset + v.cluster_size; at < offset + length; at += v.cluster_size) {
        uint32_t c = v.cluster_at(at);
        if (c == 0) break;
        bool is_own = std::any_of(own.begin(), own.end(), [&](const cluster_run_t& r) { return c - r.first < r.count; });
        if (reader_.is_owned(e.volume, c) && !is_own) return at - offset;
    }
    return length;
}

// True when the carve of `length` bytes from offset runs over another file's start at one of its
// cluster boundaries (a live file's cluster anywhere in it, or, before `own_end`, a sector where a
// file of a known type begins): its end is then that file's, and what the entry states past it is
// not padding. Past own_end lies what the file's own structure accounts for (a JPEG's further
// pictures after the first one's EOI).
bool fs_guide_c::runs_into_other_file(const fs_entry_t& e, carve_input_c& in, uint64_t offset, uint64_t length,
                                      uint64_t own_end) const {
    if (live_data_after(e, offset, length) < length) return true;
    return next_file_start(in, reader_.volumes()[e.volume].cluster_size, own_end) < own_end;
}

// Where the head of a JPEG carve of `length` bytes ends when the carve looks cut short: at the
// first cluster boundary where a live file's clusters (kept: the length without them) or another
// file begins, or at kept when it does not end at an EOI, or after where its picture stops
// decoding when data without 0xFF lies inside (see has_stretch_without_ff); 0 when it looks whole.
uint64_t fs_guide_c::cut_head_end(carve_input_c& in, uint64_t offset, uint16_t volume, uint64_t length,
                                  uint64_t kept) {
    const uint64_t cs = reader_.volumes()[volume].cluster_size;
    uint64_t end = next_file_start(in, cs, kept);
    // A carve cut inside a cluster (a marker of the data after the photo's piece) ends its head
    // with that cluster.
    if (end < length || !ends_at_structure_end(in, "jpg", length)) return (end + cs - 1) / cs * cs;
    // It runs to an EOI through data no marker stopped: when the picture does not decode up to
    // there, the head ends at the cluster boundary after the failure.
    if (!has_stretch_without_ff(in, cs, kept)) return 0;
    extent_source_c file(window_, {{offset, kept}}, kept);
    uint64_t failure = jpeg_failure(file, kept);
    if (failure == ~uint64_t(0)) return 0;
    return std::min(kept / cs * cs, (failure + cs) / cs * cs);
}

uint64_t fs_guide_c::free_length(uint64_t offset, uint64_t length) {
    for (uint16_t i = 0; i < reader_.volumes().size(); ++i) {
        const fs_volume_t& v = reader_.volumes()[i];
        if (offset < v.data_offset || offset >= v.data_end()) continue;
        uint64_t first = (offset - v.data_offset) / v.cluster_size;
        if (reader_.is_owned(i, uint32_t(first + 2))) return length;  // inside a live file: its own
        for (uint64_t c = first + 1; v.cluster_offset(uint32_t(c + 2)) < offset + length && c < v.cluster_count; ++c)
            if (reader_.is_owned(i, uint32_t(c + 2))) return v.cluster_offset(uint32_t(c + 2)) - offset;
        return length;
    }
    return length;
}

// A deleted file whose carve ends where its type's structure ends, followed up to its entry's
// size by bytes that belong to no other file: kept at that size. What this depends on besides the
// entry's size is worked out once per start (memo), however many entries name it.
bool fs_guide_c::settle_deleted(const fs_entry_t& e, carve_input_c& in, uint64_t offset, guided_find_t& out,
                                settle_memo_t& memo) {
    if (e.size <= out.length || e.size > in.size() || !extension_matches(e.extension, out.extension)) return false;
    if (!memo.is_own_end_known) {
        memo.is_own_end_known = true;
        if (out.length && ends_at_structure_end(in, out.extension, out.length))
            memo.own_end = std::strcmp(out.extension, "jpg") == 0 ? jpeg_decoded_end(window_, offset, out.length)
                                                                  : out.length;
    }
    if (memo.own_end == 0) return false;
    // Whether the carve runs into another file depends on the entry only through its volume and
    // its own clusters (a live file whose chain was refused).
    const bool has_own_runs = !reader_.runs(e).empty();
    bool runs_into;
    if (!has_own_runs && memo.volume == int(e.volume)) {
        runs_into = memo.runs_into;
    } else {
        runs_into = runs_into_other_file(e, in, offset, out.length, memo.own_end);
        if (!has_own_runs) {
            memo.volume = int(e.volume);
            memo.runs_into = runs_into;
        }
    }
    if (runs_into) return false;
    out.length = e.size;
    out.resume = offset + e.size;
    return true;
}

// Holds the head at offset while the pass looks for its rest: with the size of entry e, or
// (no entry) a JPEG whose head ends at head_end (see cut_head_end).
bool fs_guide_c::hold(const fs_entry_t* e, uint16_t volume, const format_t& format, uint64_t offset,
                      uint64_t head_end, const char* extension, bool is_cut, bool is_named) {
    if (!extension || (e && !extension_matches(e->extension, extension))) return false;
    const fs_volume_t& v = reader_.volumes()[volume];
    join_request_t request;
    request.start = offset;
    request.size = e ? e->size : 0;
    request.head_end = head_end;
    request.is_named = is_named;
    request.cluster_size = v.cluster_size;
    request.area_end = v.data_end();
    request.format = &format;
    request.extension = extension;
    request.is_free = [this, volume](uint64_t at) {
        uint32_t c = reader_.volumes()[volume].cluster_at(at);
        return c != 0 && !reader_.is_owned(volume, c);
    };
    auto it = held_.find(offset);
    request.tag = it == held_.end() ? 0 : it->second.heads;
    if (!search_.hold(std::move(request))) return false;
    held_find_t& h = held_[offset];
    h.extension = extension;
    ++h.heads;
    h.entries.push_back(e ? index_of(*e) : find_origin_t::no_entry);
    h.is_cut = h.is_cut || is_cut;
    return true;
}

// Whether the held JPEG's carve of `length` bytes ends in bytes that are not its own: not at an
// EOI (a marker of the data after its first piece stopped it), or past data no entropy-coded
// data holds (see has_stretch_without_ff). Given up, it then comes back as its head only; a
// carve that decodes wrong but ends at its EOI is more likely a damaged photo, kept whole.
void fs_guide_c::note_foreign_end(carve_input_c& in, uint64_t offset, uint16_t volume, uint64_t length) {
    auto it = held_.find(offset);
    if (it == held_.end() || std::strcmp(it->second.extension, "jpg") != 0) return;
    it->second.is_end_foreign = !ends_at_structure_end(in, "jpg", length) ||
                                has_stretch_without_ff(in, reader_.volumes()[volume].cluster_size, length);
}

void fs_guide_c::held(uint64_t start, uint64_t length) {
    auto it = held_.find(start);
    if (it != held_.end()) it->second.length = length;
}

bool fs_guide_c::take_ready(uint64_t& start, guided_find_t& out) {
    settled_head_t s;
    while (search_.take(s)) {
        auto it = held_.find(s.start);
        if (it == held_.end()) continue;
        held_find_t& h = it->second;
        ++h.settled;
        h.head_size = std::max(h.head_size, s.head_size);
        if (!s.extents.empty() && s.tag < h.joined_by) {
            h.joined_by = s.tag;
            h.extents = std::move(s.extents);
            h.size = s.size;
        }
        if (h.settled < h.heads) continue;
        start = s.start;
        if (!h.extents.empty()) {
            uint64_t head_end = h.extents[0].offset + h.extents[0].length;
            uint32_t pieces = uint32_t(h.extents.size());
            view_ = std::make_unique<extent_source_c>(source_, std::move(h.extents), h.size);
            out = {view_.get(), h.size, h.extension, head_end, false, {}, false, {}};
            out.origin.assembly = find_assembly_t::joined;
            out.origin.pieces = pieces;
            out.origin.entry = h.joined_by < h.entries.size() ? h.entries[h.joined_by] : find_origin_t::no_entry;
            // Joined as a photo no entry names: named by the first entry held at its start.
            for (uint32_t entry : h.entries)
                if (out.origin.entry == find_origin_t::no_entry) out.origin.entry = entry;
        } else {
            // Not joined: a JPEG comes back as far as its data is its own, without the bytes of
            // whatever followed its first piece; named by the first entry it was held for, its
            // end not its own.
            uint64_t length = h.head_size && h.is_end_foreign ? std::min(h.length, h.head_size) : h.length;
            out = {nullptr, length, h.extension, 0, false, {}, false, {}};
            out.origin.is_cut = h.is_cut || length < h.length;
            for (uint32_t entry : h.entries)
                if (out.origin.entry == find_origin_t::no_entry) out.origin.entry = entry;
        }
        held_.erase(it);
        return true;
    }
    return false;
}

void fs_guide_c::finish() { search_.finish(); }

// A JPEG at a cluster start that no entry names: a usual carve, except that one which looks cut
// short (cut_head_end) is held while the pass looks for its rest after it.
bool fs_guide_c::carve_unlisted(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
                                guided_find_t& out) {
    if (format.search_name != "jpg") return false;
    uint16_t volume = 0;
    while (volume < reader_.volumes().size() && reader_.volumes()[volume].cluster_at(offset) == 0) ++volume;
    if (volume == reader_.volumes().size()) return false;
    carve_input_c in(source_, offset, resident);
    carve_result_t found = format.carve(in);
    uint64_t length = std::min<uint64_t>(found.length, in.size());
    if (length == 0 || !found.extension) {
        out = {};  // not a JPEG: the next format is asked
        return true;
    }
    uint64_t kept = free_length(offset, length);
    uint64_t head_end = cut_head_end(in, offset, volume, length, kept);
    out = {nullptr, kept, found.extension, offset + kept, true, std::move(in.layout()), false, {}};
    out.origin.is_cut = kept < length;
    out.is_held = head_end && hold(nullptr, volume, format, offset, head_end, found.extension, true);
    if (out.is_held) note_foreign_end(in, offset, volume, kept);
    // The pass has read the rest of its chunk already: that is looked through at once.
    if (out.is_held) search_.observe(offset, shown_);
    return true;
}

bool fs_guide_c::carve(uint64_t offset, const format_t& format, std::span<const uint8_t> resident, guided_find_t& out) {
    pass_window_c::scope_c shown(window_, offset, resident);
    shown_ = resident.size();
    auto [first, last] = starts_.equal_range(offset);
    if (first == last)
        return carve_unlisted_video(offset, format, resident, out) || carve_unlisted(offset, format, resident, out);
    const std::vector<fs_entry_t>& entries = reader_.entries();
    for (auto it = first; it != last; ++it) {
        const fs_entry_t& e = entries[it->second];
        if (e.runs_count && carve_live(e, format, offset, out)) return true;
    }
    carve_input_c in(source_, offset, resident);
    carve_result_t found = format.carve(in);
    whole_holds_to_ = ~uint64_t(0);
    for (auto it = first; it != last; ++it) {
        const fs_entry_t& e = entries[it->second];
        if (carve_allocated(e, format, offset, found.length, out)) return true;
    }
    // A video whose carve breaks here though no entry here is its own (the entries name other
    // files that started here once).
    if (found.length == 0 && carve_unlisted_video(offset, format, resident, out)) return true;
    out = {nullptr, std::min<uint64_t>(found.length, in.size()), found.extension, offset, true, {}, false, {}};
    bool is_broken = out.length == 0 || !out.extension;
    if (is_broken) out = {nullptr, 0, joinable_extension(format), offset, true, {}, false, {}};
    out.resume = offset + out.length;
    // Among the deleted entries here, the one whose size the carve confirms wins; then the first
    // that settles the find at its size; otherwise a JPEG or PNG that stops short of an entry's
    // size is held while the pass looks for its rest (a head too short or too broken for the
    // carver too). Live files whose chains were refused above count as deleted ones.
    bool is_settled = false;
    uint32_t named_by = find_origin_t::no_entry;
    for (auto it = first; it != last && !is_settled && !is_broken; ++it) {
        is_settled = entries[it->second].size == out.length &&
                     extension_matches(entries[it->second].extension, out.extension);
        if (is_settled) named_by = it->second;
    }
    settle_memo_t memo;
    for (auto it = first; it != last && !is_settled && !is_broken; ++it) {
        is_settled = settle_deleted(entries[it->second], in, offset, out, memo);
        if (is_settled) named_by = it->second;
    }
    // Unsettled, the find is named by the first entry here of its type, its extent the carve's.
    for (auto it = first; it != last && named_by == find_origin_t::no_entry && out.extension; ++it)
        if (extension_matches(entries[it->second].extension, out.extension)) named_by = it->second;
    // A carve at an entry's size whose contents broke, with no chain confirmed, is kept only as
    // far as they hold: a head, never another file's bytes inside.
    const bool is_broken_inside = !is_broken && whole_holds_to_ < out.length;
    if (is_broken_inside) out.length = whole_holds_to_;
    const uint64_t carved = out.length;
    // A deleted file ends where a live file's clusters begin: those were written since.
    const fs_entry_t& any = entries[first->second];
    uint64_t length = live_data_after(any, offset, out.length);
    const char* joinable = is_settled ? nullptr : joinable_extension(format);
    // A JPEG carve that runs on past an entry's size to an EOI while its data does not decode up
    // to there took in clusters of another file no marker stopped (a text file in the photo's
    // gap): that entry's photo is looked for as two fragments too.
    bool is_foreign_inside = false;
    if (joinable && out.extension && std::strcmp(out.extension, "jpg") == 0) {
        bool is_shorter = false;
        for (auto it = first; it != last && !is_shorter; ++it)
            is_shorter = entries[it->second].size < out.length && extension_matches(entries[it->second].extension, "jpg");
        is_foreign_inside = is_shorter && jpeg_decoded_end(window_, offset, out.length) == 0;
    }
    // Whether the find as kept ends where its structure does (not where a live file begins);
    // asked only of a find its entries did not settle.
    const bool ends_own = !is_settled && out.extension && out.length && length == out.length &&
                          ends_at_structure_end(in, out.extension, out.length);
    for (auto it = first; it != last && joinable && out.extension; ++it) {
        const fs_entry_t& e = entries[it->second];
        if ((e.size > out.length || is_foreign_inside) &&
            hold(&e, e.volume, format, offset, 0, out.extension, !ends_own || is_foreign_inside))
            out.is_held = true;
    }
    // The entries here may all be older files' (a photo shot into a deleted one's clusters):
    // a JPEG cut short is also looked for as one no entry names.
    uint64_t head_end = joinable && out.extension && std::strcmp(out.extension, "jpg") == 0 && length
                            ? cut_head_end(in, offset, any.volume, out.length, length)
                            : 0;
    // Its rest is looked for far on when an entry here names a larger photo.
    bool is_named = false;
    for (auto it = first; it != last && head_end; ++it)
        is_named = is_named || (entries[it->second].size > head_end && extension_matches(entries[it->second].extension, "jpg"));
    if (head_end && hold(nullptr, any.volume, format, offset, head_end, out.extension, true, is_named)) out.is_held = true;
    if (out.is_held && !is_broken) note_foreign_end(in, offset, any.volume, length);
    // Every head at this start is held before any is looked for: they share one decode. The pass
    // has read the rest of its chunk already: that is looked through at once.
    if (out.is_held) search_.observe(offset, shown_);
    if (is_broken && !out.is_held) {
        out = {};
        return true;
    }
    out.length = length;
    out.resume = offset + out.length;
    out.layout = std::move(in.layout());
    out.origin.entry = named_by;
    if (is_settled) {
        // A deleted contiguous exFAT file at its entry's size is its chain.
        const fs_entry_t& e = entries[named_by];
        out.origin.assembly = e.is_contiguous && length == e.size ? find_assembly_t::chain : find_assembly_t::contiguous;
    }
    // A carve cut where a live file begins, or one shorter than its entry that its structure does
    // not end, is not whole.
    out.origin.is_cut = is_broken_inside || length < carved ||
                        (!is_settled && named_by != find_origin_t::no_entry && entries[named_by].size > length &&
                         !ends_own);
    return true;
}

void fs_guide_c::describe(const find_origin_t& origin, find_record_t& record) const {
    if (origin.entry >= reader_.entries().size()) return;
    const fs_entry_t& e = reader_.entries()[origin.entry];
    record.path = reader_.path_of(e);
    if (record.path.empty()) return;
    record.entry = e.is_deleted ? find_entry_t::deleted : find_entry_t::live;
    record.modified = {e.modified, e.modified_utc, e.modified_10ms};
    record.created = {e.created, e.created_utc, e.created_10ms};
}

}  // namespace ember::fs
