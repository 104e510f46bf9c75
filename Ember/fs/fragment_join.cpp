#include "fragment_join.h"

#include <algorithm>
#include <cstring>

#include "core/format_registry.h"
#include "formats/image/crc32.h"

namespace ember::fs {
namespace {

// Bounds per file: its size (photos, not videos), how far past the head the rest is looked for
// (a camera writes the rest in the next free clusters: on a nearly full card, whose free clusters
// lie scattered, hundreds of MiB on; with a size the rest's last cluster is known by the file's
// end in place, so looking is cheap; without one every free cluster is a trial, so that far only
// where an entry names a photo there, and for at most 2048 rests past the usual 64 MiB), how
// many cluster boundaries before the failure may be the fragment's end, how many candidate ends are looked
// at and how many joins are tried to the end (for the start, however many entries name it). Without a size: the splits tried, how far a rest
// is decoded before it counts as promising, and how many promising rests are decoded to the end.
constexpr uint64_t max_join_size = 64ull << 20;
constexpr uint64_t max_search_bytes = 64ull << 20;
constexpr uint64_t max_sized_search_bytes = 1ull << 30;
constexpr uint32_t max_far_trials = 2048;
constexpr int max_split_points = 64;
constexpr uint64_t max_boundaries_looked_at = 4096;
constexpr int max_candidates = 16;
constexpr int max_trials = 48;
constexpr int max_tail_splits = 4;
constexpr uint64_t tail_sniff_bytes = 8 * 1024;
constexpr size_t rest_sniff_size = 2048;  // looked through for bytes no entropy-coded data holds
constexpr int max_full_decodes = 48;
// Pieces of one file, and splits held for it (each a way the file may go on).
constexpr size_t max_pieces = 8;
constexpr size_t max_splits = 32;
// A trial decodes the head again from the decoder's last state before the split, kept every
// this many bytes.
constexpr uint64_t checkpoint_every = 1024;

const uint8_t eoi[] = {0xFF, 0xD9};
const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

// For each of `sizes`, the end of the last chunk whose CRC holds within that many bytes of the
// PNG, walking it once from its signature.
std::vector<std::pair<uint64_t, uint64_t>> png_valid_prefixes(byte_source_i& file, const std::vector<uint64_t>& sizes) {
    std::vector<std::pair<uint64_t, uint64_t>> valid;
    for (uint64_t size : sizes) valid.push_back({size, 8});
    carve_input_c in(file, 0);
    uint64_t pos = 8;
    for (;;) {
        uint32_t length, stored;
        if (!in.be32(pos, length) || length > in.size() || !in.be32(pos + 8 + uint64_t(length), stored)) break;
        uint32_t crc = 0;
        for (uint64_t at = pos + 4, end = pos + 8 + uint64_t(length); at < end;) {
            std::span<const uint8_t> span = in.run(at);
            size_t n = size_t(std::min<uint64_t>(span.size(), end - at));
            crc = crc32_update(crc, span.data(), n);
            at += n;
        }
        if (crc != stored) break;
        pos += 12 + uint64_t(length);
        for (auto& [size, prefix] : valid)
            if (pos <= size) prefix = pos;
    }
    return valid;
}

// True when the sector at offset starts a file of any type, or is unwritten (all zero): where a
// fragment most likely ends, since the clusters after a hole belonged to the next file.
bool starts_something(byte_source_i& card, uint64_t offset) {
    uint8_t head[probe_size];
    if (card.read_at(offset, head, probe_size) != probe_size) return false;
    if (std::all_of(head, head + probe_size, [](uint8_t b) { return b == 0; })) return true;
    return starts_a_file(head, probe_size);
}

// The file as far as a split (its pieces on the card, the last bytes before the split held in
// memory), then the card from a candidate rest on: what the decoder reads when it tries the rest.
class spliced_source_c final : public byte_source_i {
public:
    spliced_source_c(byte_source_i& card, const std::vector<extent_t>& pieces, const std::vector<uint8_t>& head,
                     uint64_t head_at, uint64_t split, uint64_t rest)
        : card_(card), pieces_(card, pieces, split), head_(head), head_at_(head_at), split_(split), rest_(rest) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override {
        size_t done = 0;
        while (done < len) {
            uint64_t at = offset + done;
            size_t got;
            if (at >= split_) {
                got = card_.read_at(rest_ + (at - split_), buf + done, len - done);
                return done + got;
            }
            size_t n = size_t(std::min<uint64_t>(len - done, split_ - at));
            if (at >= head_at_) {
                std::memcpy(buf + done, head_.data() + (at - head_at_), n);
                got = n;
            } else {
                n = size_t(std::min<uint64_t>(n, head_at_ - at));
                got = pieces_.read_at(at, buf + done, n);
            }
            done += got;
            if (got < n) break;
        }
        return done;
    }
    uint64_t size() const override { return ~uint64_t(0) / 2; }

private:
    byte_source_i& card_;
    extent_source_c pieces_;
    const std::vector<uint8_t>& head_;
    uint64_t head_at_, split_, rest_;
};

// True when the bytes look like text: fewer than one in 32 has its high bit set. Entropy-coded
// data is about half such bytes; its codes take text for valid data for kilobytes on end.
bool looks_like_text(const uint8_t* bytes, size_t size) {
    size_t high = 0;
    for (size_t i = 0; i < size; ++i) high += bytes[i] >> 7;
    return high * 32 < size;
}

// True when the bytes could be entropy-coded JPEG data: not text, and every 0xFF is followed by
// a stuffed zero, a restart marker, EOI or another 0xFF.
bool may_be_entropy_data(const uint8_t* bytes, size_t size) {
    if (looks_like_text(bytes, size)) return false;
    for (const uint8_t* p = bytes; (p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, size_t(bytes + size - p))));) {
        if (++p == bytes + size) break;
        if (*p != 0x00 && *p != 0xFF && *p != 0xD9 && (*p < 0xD0 || *p > 0xD7)) return false;
    }
    return true;
}

}  // namespace

bool starts_a_file(const uint8_t* sector, size_t size) {
    static const std::vector<const format_t*> formats = all_formats();
    for (const format_t* f : formats)
        if (f->lead_bytes.find(char(sector[0])) != std::string_view::npos && f->probe(sector, size)) return true;
    return false;
}

head_join_c::head_join_c(byte_source_i& card, join_request_t request, uint64_t* trials_left)
    : head_join_c(card, std::move(request), trials_left, nullptr) {}

head_join_c::head_join_c(byte_source_i& card, join_request_t request, uint64_t* trials_left,
                         std::shared_ptr<shared_head_t> shared)
    : card_(card), q_(std::move(request)), trials_left_(trials_left), shared_(std::move(shared)) {
    if (!shared_ && q_.size) {
        shared_ = std::make_shared<shared_head_t>();
        shared_->sizes.push_back(q_.size);
    }
    is_jpeg_ = q_.extension && std::strcmp(q_.extension, "jpg") == 0;
    if (q_.size) key_offset_ = (q_.size - (is_jpeg_ ? sizeof eoi : sizeof iend)) % std::max<uint32_t>(q_.cluster_size, 1);
}

bool head_join_c::is_searchable() {
    const uint64_t cs = q_.cluster_size;
    if (!q_.extension || !q_.format || !q_.is_free || cs == 0) return false;
    if (q_.size == 0)  // without a size: a JPEG cut at a cluster boundary, decoded up to it now
        return is_jpeg_ && q_.head_end >= cs && q_.head_end % cs == 0 && q_.head_end <= max_join_size &&
               trials_left_ && *trials_left_ && prepare_without_size();
    return (is_jpeg_ || std::strcmp(q_.extension, "png") == 0) && q_.size > cs && q_.size <= max_join_size;
}

uint64_t head_join_c::search_from() const {
    return q_.start + (q_.size ? q_.cluster_size + key_offset_ : q_.head_end);
}

uint64_t head_join_c::search_to() const {
    uint64_t to = q_.start + (q_.size ? q_.size + max_sized_search_bytes
                                      : q_.head_end + (q_.is_named ? max_sized_search_bytes : max_search_bytes));
    return std::min(q_.area_end, to) - q_.cluster_size + key_offset_ + 1;
}

head_join_c::outcome_t head_join_c::offer(uint64_t cluster) {
    if (!q_.is_free(cluster)) return outcome_t::none;
    return q_.size ? offer_last_cluster(cluster) : offer_first_cluster(cluster);
}

// Decodes the head once for every head held at its start: up to the largest size they state.
void head_join_c::decode_shared() {
    shared_head_t& h = *shared_;
    h.is_decoded = true;
    uint64_t longest = *std::max_element(h.sizes.begin(), h.sizes.end());
    extent_source_c head(card_, {{q_.start, longest}}, longest);
    if (!is_jpeg_) {
        h.png_valid = png_valid_prefixes(head, h.sizes);
        return;
    }
    h.is_readable = h.check.start(head);
    if (h.is_readable) h.result = h.check.run(head, h.check.first_state(), &h.end, &h.checkpoints, checkpoint_every);
}

bool head_join_c::prepare() {
    const uint64_t cs = q_.cluster_size;
    uint64_t failed = 0;
    if (!shared_->is_decoded) decode_shared();
    const shared_head_t& h = *shared_;
    if (is_jpeg_) {
        if (!h.is_readable) return false;
        // A picture that decodes whole within this size needs no join; one whose data runs on
        // past it fails here at the size, as it would have read only that far.
        if (h.result == jpeg_entropy_check_c::result_t::complete && h.end <= q_.size) return false;
        failed = std::min(h.end, q_.size);
        head_size_ = failed / cs * cs;
        for (const auto& c : h.checkpoints)
            if (c.pos <= failed) checkpoints_.push_back(c);
    } else {
        for (const auto& [size, prefix] : h.png_valid)
            if (size == q_.size) failed = prefix;
        if (failed >= q_.size) return false;
    }
    // The fragment ends at a cluster boundary: for a JPEG at or not long before the failure, for
    // a PNG inside the chunk that failed its CRC. Boundaries where another file starts (or
    // unwritten space) come first; then the others, nearest to the failure first.
    uint64_t lo, hi;
    if (is_jpeg_) {
        hi = std::min(failed, q_.size - 1) / cs * cs;
        lo = hi > uint64_t(max_split_points) * cs ? hi - uint64_t(max_split_points - 1) * cs : cs;
    } else {
        uint8_t length[4];
        uint64_t chunk = q_.size;
        if (card_.read_at(q_.start + failed, length, 4) == 4)
            chunk = uint64_t(length[0]) << 24 | uint32_t(length[1]) << 16 | uint32_t(length[2]) << 8 | length[3];
        lo = std::max<uint64_t>(cs, failed / cs * cs);
        hi = std::min(chunk < q_.size ? failed + 12 + chunk : failed + max_split_points * cs, q_.size - 1) / cs * cs;
    }
    std::vector<uint64_t> likely, other;
    for (uint64_t n = 0; n < max_boundaries_looked_at && lo <= hi; ++n) {
        uint64_t b = is_jpeg_ ? hi - n * cs : lo + n * cs;
        if (b < lo || b > hi) break;
        if (likely.size() < size_t(max_split_points) && starts_something(card_, q_.start + b)) likely.push_back(b);
        else if (other.size() < size_t(max_split_points)) other.push_back(b);
    }
    splits_ = likely;
    for (uint64_t b : other)
        if (splits_.size() < size_t(max_split_points)) splits_.push_back(b);
    if (splits_.empty()) return false;
    earliest_ = *std::min_element(splits_.begin(), splits_.end());
    // Only the decoder's state just before each split is needed again.
    std::vector<jpeg_entropy_check_c::state_t> kept;
    for (uint64_t b : splits_) {
        auto at = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), b,
                                   [](uint64_t v, const auto& s) { return v < s.pos; });
        if (at != checkpoints_.begin()) kept.push_back(*(at - 1));
    }
    std::sort(kept.begin(), kept.end(), [](const auto& x, const auto& y) { return x.pos < y.pos; });
    kept.erase(std::unique(kept.begin(), kept.end(), [](const auto& x, const auto& y) { return x.pos == y.pos; }),
               kept.end());
    checkpoints_ = std::move(kept);
    return true;
}

bool head_join_c::prepare_without_size() {
    extent_source_c head(card_, {{q_.start, q_.head_end}}, q_.head_end);
    uint64_t failed = 0;
    std::vector<jpeg_entropy_check_c::state_t> checkpoints;
    // A progressive picture is decoded from its start only: its rests are not looked for here.
    if (!check_.start(head) || check_.is_progressive() ||
        check_.run(head, check_.first_state(), &failed, &checkpoints, checkpoint_every) ==
            jpeg_entropy_check_c::result_t::complete)
        return false;
    // Splits hold views of one another's bytes while rests are tried: they never move.
    tail_splits_.reserve(max_splits);
    head_size_ = std::min(failed, q_.head_end) / q_.cluster_size * q_.cluster_size;
    // When the head validated to its very end, only that end and the boundary before are likely.
    const bool is_whole = failed + 64 >= q_.head_end;
    add_splits(head, {{q_.start, q_.head_end}}, check_.first_state(), &checkpoints, std::min(failed, q_.head_end),
               0, is_whole ? 2 : max_tail_splits);
    return !tail_splits_.empty();
}

// Splits of `file` (the file as far as it is known, from `pieces`) at the cluster boundaries at or
// just before `failed`, where its data stopped validating, and after `after`, nearest first; each
// keeps the decoder's state at the last MCU boundary before it (decoding from `from` on), so that
// a trial decodes little of the file again.
void head_join_c::add_splits(byte_source_i& file, const std::vector<extent_t>& pieces,
                             const jpeg_entropy_check_c::state_t& from,
                             const std::vector<jpeg_entropy_check_c::state_t>* known, uint64_t failed,
                             uint64_t after, size_t count) {
    const uint64_t cs = q_.cluster_size;
    std::vector<jpeg_entropy_check_c::state_t> checkpoints;
    uint64_t stop = 0;
    if (known) checkpoints = *known;
    else check_.run(file, from, &stop, &checkpoints, checkpoint_every, failed);
    size_t added = 0;
    for (uint64_t b = failed / cs * cs; b >= cs && b > after && added < count && tail_splits_.size() < max_splits;
         b -= cs) {
        split_t s;
        s.at = b;
        s.from = from;
        for (const auto& c : checkpoints)
            if (c.pos <= b) s.from = c;
        if (s.from.pos > b) break;  // the split lies in the headers, or before `from`
        std::vector<jpeg_entropy_check_c::state_t> near;
        check_.run(file, s.from, &stop, &near, 64, b);
        for (const auto& c : near)
            if (c.pos <= b && c.pos > s.from.pos) s.from = c;
        s.bytes_at = s.from.pos / 512 * 512;
        s.bytes.resize(size_t(b - s.bytes_at));
        if (file.read_at(s.bytes_at, s.bytes.data(), s.bytes.size()) != s.bytes.size()) break;
        // The file's pieces up to the split.
        uint64_t left = b;
        for (const extent_t& x : pieces) {
            if (left == 0) break;
            s.pieces.push_back({x.offset, std::min(x.length, left)});
            left -= s.pieces.back().length;
        }
        s.next = s.pieces.back().offset + s.pieces.back().length;
        tail_splits_.push_back(std::move(s));
        ++added;
    }
}

head_join_c::outcome_t head_join_c::offer_last_cluster(uint64_t c) {
    const uint8_t* mark = is_jpeg_ ? eoi : iend;
    const size_t mark_size = is_jpeg_ ? sizeof eoi : sizeof iend;
    if (is_prepared_ && c < q_.start + earliest_) return outcome_t::none;
    uint8_t got[sizeof iend];
    if (card_.read_at(c + key_offset_, got, mark_size) != mark_size || std::memcmp(got, mark, mark_size) != 0)
        return outcome_t::none;
    if (!is_prepared_ && !prepare()) return outcome_t::given_up;
    is_prepared_ = true;
    if (c < q_.start + earliest_) return outcome_t::none;
    if (++shared_->candidates > max_candidates) return outcome_t::given_up;
    for (uint64_t b : splits_) {
        if (shared_->trials >= max_trials) return outcome_t::given_up;
        if (try_join(b, c)) return outcome_t::joined;
        if (shared_->trials >= max_trials) return outcome_t::given_up;
    }
    return outcome_t::none;
}

// A join of the head up to `split` with the rest ending in the cluster at end_cluster, when it
// validates to the end.
bool head_join_c::try_join(uint64_t split, uint64_t end_cluster) {
    const uint64_t cs = q_.cluster_size;
    const uint64_t mark_at = q_.size - (is_jpeg_ ? sizeof eoi : sizeof iend);
    uint64_t back = (mark_at - split) / cs * cs;
    if (end_cluster < back) return false;
    uint64_t tail = end_cluster - back;
    if (tail < q_.start + split) return false;  // the rest lies after the head
    for (uint64_t c = tail; c <= end_cluster; c += cs)
        if (!q_.is_free(c)) return false;
    ++shared_->trials;
    std::vector<extent_t> join = {{q_.start, split}, {tail, q_.size - split}};
    if (is_jpeg_) {
        extent_source_c file(card_, join, q_.size);
        auto at = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), split,
                                   [](uint64_t v, const auto& s) { return v < s.pos; });
        const jpeg_entropy_check_c& check = shared_->check;
        jpeg_entropy_check_c::state_t resume = at == checkpoints_.begin() ? check.first_state() : *(at - 1);
        if (resume.pos > split) resume = check.first_state();
        uint64_t end = 0;
        if (check.run(file, resume, &end) != jpeg_entropy_check_c::result_t::complete || end != q_.size)
            return false;
    }
    return keep_join(std::move(join), q_.size);
}

head_join_c::outcome_t head_join_c::offer_first_cluster(uint64_t t) {
    uint8_t first[rest_sniff_size];
    if (card_.read_at(t, first, sizeof first) != sizeof first) return outcome_t::none;
    if (std::all_of(first, first + probe_size, [](uint8_t b) { return b == 0; }) ||
        starts_a_file(first, probe_size) || !may_be_entropy_data(first, sizeof first))
        return outcome_t::none;
    // Splits added while this cluster is tried (a rest that runs on into a further piece) are
    // tried from the next cluster on.
    for (size_t i = 0, n = tail_splits_.size(); i < n; ++i) {
        if (t < tail_splits_[i].next || t < tail_splits_[i].decoded_to) continue;
        if (*trials_left_ == 0) return outcome_t::given_up;
        --*trials_left_;
        // Past the usual reach a head may try only so many rests: a card full of photos offers
        // entropy-coded data in most of its clusters.
        if (t > q_.start + q_.head_end + max_search_bytes && ++far_trials_ > max_far_trials) return outcome_t::given_up;
        // Decoded a little way first: a wrong rest almost always fails within it.
        const split_t& s = tail_splits_[i];
        spliced_source_c file(card_, s.pieces, s.bytes, s.bytes_at, s.at, t);
        uint64_t end = 0;
        auto result = check_.run(file, s.from, &end, nullptr, 0, s.at + tail_sniff_bytes);
        if (result == jpeg_entropy_check_c::result_t::error) continue;
        if (result == jpeg_entropy_check_c::result_t::unfinished) {
            if (++full_decodes_ > max_full_decodes) return outcome_t::given_up;
            result = check_.run(file, s.from, &end);
        }
        if (end <= s.at || end > max_join_size) continue;
        const uint64_t rest = end - s.at;
        uint64_t free_to = t;  // the rest's clusters no live file owns, from its first on
        while (free_to < t + rest && q_.is_free(free_to)) free_to += q_.cluster_size;
        std::vector<extent_t> join = s.pieces;
        join.push_back({t, rest});
        if (result == jpeg_entropy_check_c::result_t::complete) {
            if (free_to >= t + rest && keep_join(std::move(join), end)) return outcome_t::joined;
            continue;
        }
        // The rest decoded well past the sniff and then failed: it is likely the next piece, and
        // the file goes on in a further one. Looked for from each split (which one was right
        // shows only at the end: the entropy codes fall back into step after a wrong one) at the
        // boundary at or just before the failure; the clusters it decoded through are no rest's
        // first.
        uint64_t failed = std::min(end, s.at + (text_from(t, free_to) - t));
        if (failed < s.at + tail_sniff_bytes) continue;
        tail_splits_[i].decoded_to = t + (failed - s.at) / q_.cluster_size * q_.cluster_size;
        if (join.size() < max_pieces) {
            const jpeg_entropy_check_c::state_t from = s.from;
            const uint64_t at = s.at;
            add_splits(file, join, from, nullptr, failed, at, 2);
        }
    }
    return outcome_t::none;
}

// The first sector in [from, to) on the card that looks like text (see looks_like_text), or to:
// where a rest that decoded on into a text file in the next gap really ended.
uint64_t head_join_c::text_from(uint64_t from, uint64_t to) {
    std::vector<uint8_t> block(64 * 1024);
    for (uint64_t at = from; at < to; at += block.size()) {
        size_t n = size_t(std::min<uint64_t>(block.size(), to - at));
        n = card_.read_at(at, block.data(), n) / 512 * 512;
        for (size_t k = 0; k < n; k += 512)
            if (looks_like_text(block.data() + k, 512)) return at + k;
        if (n == 0) break;
    }
    return to;
}

// Keeps the join when the carver, reading the joined file, ends exactly at its size.
bool head_join_c::keep_join(std::vector<extent_t> join, uint64_t size) {
    extent_source_c file(card_, join, size);
    carve_input_c in(file, 0);
    if (q_.format->carve(in).length != size) return false;
    extents_ = std::move(join);
    joined_size_ = size;
    return true;
}

}  // namespace ember::fs
