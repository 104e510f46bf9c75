// The file system's word to the scan: a live file comes back whole by its chain; a deleted one
// whose first cluster holds the start of its type gets the size its entry states when the
// carver agrees, or when what lies past the carver's end is bytes the type does not describe
// (padding after a JPEG's end, bytes past a RIFF's end); a deleted JPEG or PNG that stops
// validating before its size, or a JPEG with no entry whose carve runs into a live file, is held
// back while the pass looks for its rest (fragment_search.h), and handed back joined or as it
// was; a deleted video (or sound, picture, photo) whose carve does not reach its size comes back
// by the chain first-fit allocation gave it, when the file's own structure confirms that chain. Anything else is
// carved as usual.
#pragma once

#include <map>
#include <memory>
#include <unordered_map>

#include "allocation_chain.h"
#include "core/scan_guide.h"
#include "extent_source.h"
#include "fragment_search.h"
#include "fs_reader.h"
#include "media_chain_check.h"
#include "pass_window.h"

namespace ember::fs {

class fs_guide_c final : public scan_guide_i {
public:
    // Reads the file systems of the source (boot sectors, FATs, directory trees).
    explicit fs_guide_c(byte_source_i& source);

    const fs_reader_c& reader() const { return reader_; }

    void observe(uint64_t offset, std::span<const uint8_t> bytes) override;
    uint64_t skip_from(uint64_t offset) override;
    bool carve(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
               guided_find_t& out) override;
    uint64_t free_length(uint64_t offset, uint64_t length) override;
    void held(uint64_t start, uint64_t length) override;
    bool take_ready(uint64_t& start, guided_find_t& out) override;
    void finish() override;
    void describe(const find_origin_t& origin, find_record_t& record) const override;

private:
    void index(size_t first_entry);
    bool carve_live(const fs_entry_t& e, const format_t& format, uint64_t offset, guided_find_t& out);
    // A deleted video, sound, picture or photo whose clusters are gone from the FAT: the chain a
    // camera's first-fit allocation gave it, when its structure confirms one (allocation_chain.h).
    // carved: the length of the carve from the first cluster.
    bool carve_allocated(const fs_entry_t& e, const format_t& format, uint64_t offset, uint64_t carved,
                         guided_find_t& out);
    std::vector<extent_t> allocated_chain(const fs_entry_t& e, structure_walk_fn walk, uint64_t moov_at, bool is_by_holes,
                                          bool& is_stopped);
    std::vector<extent_t> reassemble_iso_tail(allocation_request_t& q, structure_walk_fn walk, uint64_t reach,
                                              uint64_t moov_at, bool is_by_samples);
    bool is_believable_chain(const fs_entry_t& e, const std::vector<extent_t>& extents, byte_source_i& file,
                             carve_input_c& in, const carve_result_t& found, uint64_t offset, const format_t& format);
    struct settle_memo_t {
        bool is_own_end_known = false;
        uint64_t own_end = 0;  // 0: not settled at any size
        int volume = -1;       // of the entries without clusters of their own, and for it:
        bool runs_into = false;
    };
    bool settle_deleted(const fs_entry_t& e, carve_input_c& in, uint64_t offset, guided_find_t& out,
                        settle_memo_t& memo);
    bool hold(const fs_entry_t* e, uint16_t volume, const format_t& format, uint64_t offset, uint64_t head_end,
              const char* extension, bool is_cut, bool is_named = false);
    uint32_t index_of(const fs_entry_t& e) const { return uint32_t(&e - reader_.entries().data()); }
    bool carve_unlisted(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
                        guided_find_t& out);
    // An MP4 or MOV at a cluster that no entry names, whose carve does not hold: put together
    // sample by sample (iso_chain_resume.h).
    bool carve_unlisted_video(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
                              guided_find_t& out);
    // An AVI at a cluster that no entry names, whose carve stops short of its RIFF size: put
    // together chunk by chunk (structure_chain_resume.h).
    bool carve_unlisted_avi(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
                            guided_find_t& out);
    std::vector<extent_t> extents_of(const fs_entry_t& e) const;
    uint64_t live_data_after(const fs_entry_t& e, uint64_t offset, uint64_t length) const;
    bool runs_into_other_file(const fs_entry_t& e, carve_input_c& in, uint64_t offset, uint64_t length,
                              uint64_t own_end) const;
    uint64_t cut_head_end(carve_input_c& in, uint64_t offset, uint16_t volume, uint64_t length, uint64_t kept);
    void claim(const std::vector<extent_t>& later);
    void note_foreign_end(carve_input_c& in, uint64_t offset, uint16_t volume, uint64_t length);

    byte_source_i& source_;
    fs_reader_c reader_;
    std::unordered_multimap<uint64_t, uint32_t> starts_;  // first byte on the card -> entry
    std::map<uint64_t, uint64_t> claimed_;                 // later fragments of kept files
    std::unique_ptr<extent_source_c> view_;                // the bytes of the file being kept
    pass_window_c window_;
    uint64_t shown_ = 0;  // the bytes from the candidate on that the pass holds
    fragment_search_c search_;
    // The heads held at one start (one per entry that may be the file, and one for a JPEG no
    // entry names): the file is handed back when all have settled, joined by the first of them
    // in that order that joined, so that the result does not depend on which settled first.
    struct held_find_t {
        const char* extension = nullptr;
        uint64_t length = 0;  // as the scan measured it
        uint32_t heads = 0;   // held
        uint32_t settled = 0;
        uint32_t joined_by = ~0u;
        std::vector<extent_t> extents;
        uint64_t size = 0;
        std::vector<uint32_t> entries;  // by tag: the entry each head was held for, or none
        bool is_cut = false;            // the head as measured does not end at its own end
        uint64_t head_size = 0;  // the largest a given-up head reported
        bool is_end_foreign = false;  // see note_foreign_end
    };
    std::map<uint64_t, held_find_t> held_;  // by start
    // Bytes the chain walks of deleted videos may read in all: eight times the card.
    uint64_t chain_budget_ = 0;
    // At the candidate being carved: how far a carve at an entry's size holds by its walk, when
    // its contents broke there and no chain was confirmed (~0: they held, or were not walked).
    uint64_t whole_holds_to_ = ~uint64_t(0);
};

}  // namespace ember::fs
