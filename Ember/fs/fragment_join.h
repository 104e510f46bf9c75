// One broken head of a deleted JPEG or PNG whose chain is gone, and the search for its rest:
// the head is the file's first clusters up to a cluster boundary at or before where its data
// stops validating, the rest lies in clusters no live file owns further on. The scan offers the
// clusters it passes; a join is made only when the whole file then validates to its end (JPEG:
// every MCU Huffman-decoded with restart markers in sequence and EOI right after; PNG: every
// chunk's CRC up to IEND).
// - With the size from a directory entry, the offered cluster is tried as the rest's last one
//   when the file's last bytes (EOI, IEND) stand in it at the offset the size fixes.
// - Without one (a JPEG whose entry is gone, cut where a live file's clusters begin), the
//   offered cluster is tried as the rest's first one when it starts no file, is written and is
//   no text; the decoder, which knows how many MCUs the picture has, must run through to EOI.
//   A rest that decodes far and then fails is a middle piece: the file goes on in a further one.
// The work per file is bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/format.h"
#include "extent_source.h"
#include "jpeg_entropy_check.h"

namespace ember::fs {

struct join_request_t {
    uint64_t start = 0;         // the file's first byte on the card
    uint64_t size = 0;          // from its directory entry; 0 when none states it
    uint64_t head_end = 0;      // without a size: where the head's clusters end, from its start
    // Without a size: a deleted entry names a photo larger than the head here, so its rest is
    // looked for as far on as with a size (a camera's next free clusters on a full card).
    bool is_named = false;
    uint32_t cluster_size = 0;
    uint64_t area_end = 0;      // the end of the volume's clusters
    const format_t* format = nullptr;  // the carver that recognised the head
    const char* extension = nullptr;   // "jpg" or "png" (only "jpg" without a size)
    std::function<bool(uint64_t)> is_free;  // a cluster (by its first byte) no live file owns
    uint32_t tag = 0;                       // the caller's
};

// True when the sector's first bytes start a file of any type the carvers know.
bool starts_a_file(const uint8_t* sector, size_t size);

// What the heads held at one start with a size share, however many entries name that start and
// whatever sizes they state: the head is decoded (or its chunks checked) once, up to the largest
// of the sizes, and the candidate ends and trials are counted for the start, not per entry.
struct shared_head_t {
    std::vector<uint64_t> sizes;  // of the heads held, distinct
    bool is_decoded = false;
    bool is_readable = false;     // a JPEG the checker reads
    jpeg_entropy_check_c check;
    jpeg_entropy_check_c::result_t result = jpeg_entropy_check_c::result_t::error;
    uint64_t end = 0;             // JPEG: where decoding stopped (failed, or after EOI)
    std::vector<jpeg_entropy_check_c::state_t> checkpoints;
    std::vector<std::pair<uint64_t, uint64_t>> png_valid;  // PNG: size -> its valid prefix
    int candidates = 0, trials = 0;
};

class head_join_c {
public:
    enum class outcome_t { none, joined, given_up };

    // card: the card as the scan's pass sees it. trials_left: rests the whole scan may still
    // decode for heads without a size.
    head_join_c(byte_source_i& card, join_request_t request, uint64_t* trials_left);
    // As above, for a head with a size that shares its decode and budget with the other heads
    // held at its start (see shared_head_t); the caller adds its size to `shared` once it is
    // searchable.
    head_join_c(byte_source_i& card, join_request_t request, uint64_t* trials_left,
                std::shared_ptr<shared_head_t> shared);

    // False when nothing is looked for (the type, the sizes, a head that decodes whole).
    bool is_searchable();
    const join_request_t& request() const { return q_; }
    // The offered clusters are those whose byte at `key_offset()` from their start lies in
    // [search_from(), search_to()) on the card.
    uint64_t key_offset() const { return key_offset_; }
    uint64_t search_from() const;
    uint64_t search_to() const;
    // Tries the cluster whose first byte is at `cluster` on the card.
    outcome_t offer(uint64_t cluster);

    // After a join: the file as extents on the card, and its size.
    const std::vector<extent_t>& extents() const { return extents_; }
    uint64_t joined_size() const { return joined_size_; }
    const std::shared_ptr<shared_head_t>& shared() const { return shared_; }
    // A JPEG's head as far as it is its own: up to the cluster boundary at or before where its
    // data stopped decoding; 0 when not known (a PNG, or no end was ever looked at).
    uint64_t head_size() const { return head_size_; }

private:
    bool prepare();
    void decode_shared();
    bool prepare_without_size();
    outcome_t offer_last_cluster(uint64_t cluster);
    outcome_t offer_first_cluster(uint64_t cluster);
    bool try_join(uint64_t split, uint64_t end_cluster);
    bool keep_join(std::vector<extent_t> join, uint64_t size);

    struct split_t {
        uint64_t at = 0;                    // in the file
        jpeg_entropy_check_c::state_t from; // the decoder's state not long before it
        std::vector<uint8_t> bytes;         // the file's bytes from `from` (sector-aligned) to it
        uint64_t bytes_at = 0;
        std::vector<extent_t> pieces;       // the file on the card up to it
        uint64_t next = 0;                  // rests are looked for from here on the card
        uint64_t decoded_to = 0;            // and past the end of a rest decoded far from it
    };
    uint64_t text_from(uint64_t from, uint64_t to);
    void add_splits(byte_source_i& file, const std::vector<extent_t>& pieces,
                    const jpeg_entropy_check_c::state_t& from,
                    const std::vector<jpeg_entropy_check_c::state_t>* known, uint64_t failed, uint64_t after,
                    size_t count);

    byte_source_i& card_;
    join_request_t q_;
    uint64_t* trials_left_;
    bool is_jpeg_ = false;
    uint64_t key_offset_ = 0;
    bool is_prepared_ = false;
    uint64_t earliest_ = 0;  // the earliest split
    jpeg_entropy_check_c check_;  // without a size
    std::shared_ptr<shared_head_t> shared_;
    std::vector<jpeg_entropy_check_c::state_t> checkpoints_;
    std::vector<uint64_t> splits_;
    std::vector<split_t> tail_splits_;  // without a size
    int full_decodes_ = 0;
    uint32_t far_trials_ = 0;  // rests tried past the usual reach (a named head's)
    uint64_t head_size_ = 0;
    std::vector<extent_t> extents_;
    uint64_t joined_size_ = 0;
};

}  // namespace ember::fs
