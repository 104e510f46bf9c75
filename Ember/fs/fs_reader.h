// The file systems of a source, as far as they can be read: every file entry (live or deleted)
// that a walk from each root reaches, and those of directory clusters found anywhere on the card
// while the scan reads it (folders whose parents were deleted or wiped by a quick format).
// Live files come with their cluster chains. Everything read is bounded: FAT size, directory
// size, entry count, chain lengths, and each cluster is owned by one chain at most.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/byte_source.h"
#include "fs_volume.h"

namespace ember::fs {

struct cluster_run_t {
    uint32_t first = 0;
    uint32_t count = 0;
};

// A folder as far as its entry told: its name and the folder it lies in. Roots have no name;
// folders found on the card whose parent is unknown (after a quick format) have neither.
struct fs_folder_t {
    static constexpr uint32_t none = ~0u;
    uint32_t parent = none;
    uint32_t name_at = 0;
    uint16_t name_size = 0;
    bool is_root = false;
};

struct fs_entry_t {
    char extension[8] = {};  // lower case; "" when the name has none
    uint64_t size = 0;
    uint32_t first_cluster = 0;
    uint32_t runs_begin = 0;  // a live file's chain, in runs(); none when deleted or broken
    uint32_t runs_count = 0;
    uint16_t volume = 0;
    bool is_deleted = false;     // deleted, or in a deleted or unreachable folder
    bool is_contiguous = false;  // exFAT NoFatChain: the clusters follow one another
    bool is_orphan = false;      // from a directory cluster no live folder reaches
    bool is_cross_linked = false;  // its chain shares clusters with another live file's
    uint8_t modified_utc = 0;    // exFAT's UTC offsets (find_record.h)
    uint8_t created_utc = 0;
    uint8_t modified_10ms = 0;   // the 10 ms counts beside the two-second times
    uint8_t created_10ms = 0;
    uint32_t modified = 0;       // as the entry packs them; 0 when none
    uint32_t created = 0;
    uint32_t folder = fs_folder_t::none;  // in folders()
    uint32_t name_at = 0;                 // in names(); name_size 0 when not kept
    uint16_t name_size = 0;
};

class fs_reader_c {
public:
    // Finds the volumes, reads their FATs and walks their trees.
    explicit fs_reader_c(byte_source_i& source);

    const std::vector<fs_volume_t>& volumes() const { return volumes_; }
    const std::vector<fs_entry_t>& entries() const { return entries_; }
    std::span<const cluster_run_t> runs(const fs_entry_t& e) const {
        return std::span(runs_).subspan(e.runs_begin, e.runs_count);
    }
    const std::vector<fs_folder_t>& folders() const { return folders_; }
    std::string_view name(const fs_entry_t& e) const { return {names_.data() + e.name_at, e.name_size}; }
    // The entry's path from its volume's root, components separated by '\': "?" for a folder
    // whose name is unknown, the front dropped for "..." beyond max_path_bytes or a depth no
    // card has (a crafted cycle); empty when the entry's name was not kept.
    std::string path_of(const fs_entry_t& e) const;
    static constexpr size_t max_path_bytes = 1024;

    // True when the chain of a live file or folder holds the cluster.
    bool is_owned(uint16_t volume, uint32_t cluster) const;

    // Live files whose chains share clusters (a cross-link): each keeps its chain only when
    // is_sound says its bytes by that chain hold together and no other file of the cross-link
    // that does shares a cluster with it; the others lose their chains and own nothing, so that
    // they are carved from the card's content as deleted files are.
    void settle_cross_links(const std::function<bool(const fs_entry_t&)>& is_sound);
    // Drops the chain of a live file whose bytes by that chain turned out not to be the file:
    // its clusters are free again for what the card's content says.
    void drop_chain(const fs_entry_t& e);

    // Looks through bytes the scan has read (at offset in the source) for directory clusters
    // that no walk has reached, and adds their entries and those of their subfolders. Returns
    // how many entries were added.
    size_t observe(uint64_t offset, const uint8_t* data, size_t size);

    // FAT entries followed by chains that were then not believed (loops, cross-links, chains
    // that end early or leave the volume), over all volumes: what such chains cost.
    uint64_t failed_chain_steps() const { return failed_chain_steps_; }

private:
    struct volume_state_t {
        std::vector<uint32_t> fat;  // next cluster, or free/end/bad; empty when too large to hold
        std::vector<bool> owned;
        std::vector<bool> dir_seen;
        uint64_t failing_steps_left = 0;  // chain steps still allowed to walks that fail
    };
    struct pending_dir_t {
        uint16_t volume = 0;
        uint32_t first = 0;
        uint64_t bytes = 0;      // contiguous folders: their size; 0: follow the chain, or one cluster
        bool is_live = false;    // reached through live folders: the chain is current
        bool is_fixed_root = false;
        bool is_orphan = false;  // found by observe(), not by a walk from a root
        uint32_t folder = fs_folder_t::none;
    };

    void load_fat(uint16_t volume);
    enum class chain_t { refused, claimed, cross_linked };
    chain_t claim_chain(uint16_t volume, uint32_t first, uint64_t clusters, std::vector<cluster_run_t>& runs);
    chain_t claim_runs(uint16_t volume, size_t begin, std::vector<cluster_run_t>& runs);
    void set_owned(const fs_entry_t& e, bool owned);
    bool continues_directory(uint16_t volume, const std::vector<uint8_t>& bytes, size_t at) const;
    void walk(std::vector<pending_dir_t> todo);
    void read_directory(pending_dir_t& dir, std::vector<uint8_t>& bytes);
    void join_cut_sets(pending_dir_t& dir, std::vector<uint8_t>& bytes);
    void add_items(const pending_dir_t& dir, const std::vector<uint8_t>& bytes, std::vector<pending_dir_t>& todo);
    bool keep_name(std::string_view name, uint32_t& at, uint16_t& size);
    uint32_t add_folder(uint32_t parent, std::string_view name, bool is_root);
    void name_orphan(uint16_t volume, uint32_t cluster, uint32_t named);

    byte_source_i& source_;
    std::vector<fs_volume_t> volumes_;
    std::vector<volume_state_t> state_;
    std::vector<fs_entry_t> entries_;
    std::vector<cluster_run_t> runs_;
    // Every kept name, one after another, so that a card of 100,000 files costs no allocation
    // per name; bounded (max_names_bytes in fs_reader.cpp), later names are not kept.
    std::string names_;
    std::vector<fs_folder_t> folders_;
    std::unordered_map<uint64_t, uint32_t> orphan_folders_;  // (volume << 32 | first cluster) -> folder
    std::string parsed_names_;                                // a directory's names as parsed
    uint64_t fat_entries_held_ = 0;
    std::vector<uint32_t> cross_linked_;  // entries
    // The first entries of exFAT sets cut by the end of a folder cluster read on its own (a dead
    // folder's, or one found on the card), waiting for the cluster that holds the rest.
    struct cut_set_t {
        uint16_t volume = 0;
        uint32_t folder = fs_folder_t::none;  // the head's
        std::vector<uint8_t> head;
    };
    std::vector<cut_set_t> cut_sets_;
    size_t owner_lookups_ = 0;
    uint64_t run_comparisons_ = 0;
    uint64_t failed_chain_steps_ = 0;
};

}  // namespace ember::fs
