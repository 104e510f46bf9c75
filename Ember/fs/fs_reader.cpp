#include "fs_reader.h"

#include <algorithm>

#include "core/byte_order.h"
#include "fs_directory.h"

namespace ember::fs {
namespace {

// FATs of more entries in all (a 2 TB exFAT volume with 128 KiB clusters) are not held: their
// chains go unread and their files are treated as deleted ones. Volumes of more clusters in all
// than the cluster maps may cover (two bits a cluster) are not read at all.
constexpr uint64_t max_fat_entries = uint64_t(1) << 24;
constexpr uint64_t max_mapped_clusters = uint64_t(1) << 28;
// FAT allows 65536 entries (2 MiB) per folder; exFAT folders are capped here likewise.
constexpr uint64_t max_directory_bytes = 4 * 1024 * 1024;
// Far more files than any card holds; keeps memory bounded whatever the directories say.
constexpr size_t max_entries = 1 << 20;
constexpr size_t max_folders = 1 << 18;
// Folder records (each folder entry read, and each folder cluster found on the card) and name
// bytes kept: far more than a card of a million files needs. Past them names are not kept.
constexpr size_t max_folder_records = 1 << 20;
constexpr size_t max_names_bytes = 64 << 20;
// Components a path is followed up through: a 1024-byte path holds fewer; bounds a crafted loop.
constexpr size_t max_path_depth = 512;
constexpr uint32_t fat_free = 0, fat_end = 0xFFFFFFFF, fat_bad = 0xFFFFFFF7;
constexpr size_t read_piece = 1024 * 1024;
// Clusters of cross-linked chains whose owner is looked up (each look-up goes through every
// chain held); a chain that needs more is refused.
constexpr size_t max_owner_lookups = 256;
constexpr uint64_t max_run_comparisons = uint64_t(1) << 26;
// Entry sets cut by a cluster's end that wait for their rest (at most 19 entries each).
constexpr size_t max_cut_sets = 4096;
// Steps that chains which are then not believed may take, per volume: twice its clusters and
// some. An honest card's broken chains fail within their own files; crafted entries naming
// long chains that fail at their end would otherwise cost entries x clusters. Once it is spent,
// no further chain of the volume is followed: their files are found as deleted ones are.
uint64_t failing_steps_allowed(const fs_volume_t& v) { return 2 * (uint64_t(v.cluster_count) + 2) + 4096; }

uint32_t normalise(fs_type_t type, uint32_t v) {
    switch (type) {
    case fs_type_t::fat12: return v >= 0xFF8 ? fat_end : v == 0xFF7 ? fat_bad : v;
    case fs_type_t::fat16: return v >= 0xFFF8 ? fat_end : v == 0xFFF7 ? fat_bad : v;
    case fs_type_t::fat32:
        v &= 0x0FFFFFFF;
        return v >= 0x0FFFFFF8 ? fat_end : v == 0x0FFFFFF7 ? fat_bad : v;
    case fs_type_t::exfat: return v >= 0xFFFFFFF8 ? fat_end : v == 0xFFFFFFF7 ? fat_bad : v;
    }
    return fat_bad;
}

bool is_fat_family(fs_type_t type) { return type != fs_type_t::exfat; }

}  // namespace

fs_reader_c::fs_reader_c(byte_source_i& source) : source_(source), volumes_(find_volumes(source)) {
    uint64_t mapped = 0;
    for (size_t i = 0; i < volumes_.size(); ++i) {
        mapped += volumes_[i].cluster_count;
        if (mapped > max_mapped_clusters) {
            volumes_.resize(i);
            break;
        }
    }
    state_.resize(volumes_.size());
    std::vector<pending_dir_t> roots;
    for (uint16_t i = 0; i < volumes_.size(); ++i) {
        const fs_volume_t& v = volumes_[i];
        load_fat(i);
        state_[i].owned.assign(uint64_t(v.cluster_count) + 2, false);
        state_[i].dir_seen.assign(uint64_t(v.cluster_count) + 2, false);
        state_[i].failing_steps_left = failing_steps_allowed(v);
        pending_dir_t root;
        root.volume = i;
        root.is_live = true;
        root.is_fixed_root = v.root_cluster == 0;
        root.first = v.root_cluster;
        root.folder = add_folder(fs_folder_t::none, {}, true);
        roots.push_back(root);
    }
    walk(std::move(roots));
}

void fs_reader_c::load_fat(uint16_t index) {
    const fs_volume_t& v = volumes_[index];
    uint64_t entries = uint64_t(v.cluster_count) + 2;
    if (fat_entries_held_ + entries > max_fat_entries) return;
    fat_entries_held_ += entries;
    std::vector<uint32_t>& fat = state_[index].fat;
    fat.assign(entries, fat_bad);
    std::vector<uint8_t> piece(read_piece);
    unsigned bits = v.type == fs_type_t::fat12 ? 12 : v.type == fs_type_t::fat16 ? 16 : 32;
    uint64_t bytes = (entries * bits + 7) / 8;
    // Whole entries per piece: FAT12 pairs share three bytes, so pieces are a multiple of 3 and 4.
    uint64_t step = 1536 * 682;  // whole sectors, whole FAT12 pairs, whole 32-bit entries
    for (uint64_t at = 0; at < bytes; at += step) {
        size_t want = size_t(std::min<uint64_t>(step, bytes - at));
        size_t got = source_.read_at(v.fat_offset + at, piece.data(), want);
        uint64_t first = at * 8 / bits, end = std::min<uint64_t>(entries, (at + got) * 8 / bits);
        for (uint64_t n = first; n < end; ++n) {
            size_t pos = size_t(n * bits / 8 - at);
            uint32_t raw;
            if (bits == 12) {
                if (pos + 1 >= got) break;
                uint16_t pair = load_le16(piece.data() + pos);
                raw = (n & 1) ? pair >> 4 : pair & 0xFFF;
            } else if (bits == 16) {
                raw = load_le16(piece.data() + pos);
            } else {
                raw = load_le32(piece.data() + pos);
            }
            fat[n] = normalise(v.type, raw);
        }
        if (got < want) break;
    }
}

bool fs_reader_c::is_owned(uint16_t volume, uint32_t cluster) const {
    if (volume >= state_.size()) return false;
    const std::vector<bool>& owned = state_[volume].owned;
    return cluster < owned.size() && owned[cluster];
}

// Follows the chain from first for `clusters` clusters, which must stay inside the volume and end
// there (the FAT's end mark right after the last one: a chain that runs on, or ends sooner, is
// not this file's; so it cannot loop either). A chain that meets no cluster another owns is
// claimed. One that meets clusters of other live files is a cross-link: its runs are kept
// unclaimed and both sides are settled later (settle_cross_links). Anything else is refused
// (clusters of a live folder, too many cross-links to look into).
fs_reader_c::chain_t fs_reader_c::claim_chain(uint16_t volume, uint32_t first, uint64_t clusters,
                                              std::vector<cluster_run_t>& runs) {
    const fs_volume_t& v = volumes_[volume];
    volume_state_t& st = state_[volume];
    if (st.fat.empty() || clusters == 0 || clusters > v.cluster_count) return chain_t::refused;
    size_t begin = runs.size();
    auto refuse = [&] {
        runs.resize(begin);
        return chain_t::refused;
    };
    uint32_t c = first;
    // A walk that is refused spends steps from the volume's budget for failing walks.
    auto refuse_walk = [&](uint64_t taken) {
        st.failing_steps_left -= std::min(st.failing_steps_left, taken);
        failed_chain_steps_ += taken;
        return refuse();
    };
    uint64_t taken = 0;
    for (; taken < clusters; ++taken) {
        if (!v.is_cluster(c) || taken >= st.failing_steps_left) return refuse_walk(taken);
        if (runs.size() > begin && runs.back().first + runs.back().count == c) ++runs.back().count;
        else runs.push_back({c, 1});
        c = st.fat[c];
    }
    if (c != fat_end) return refuse_walk(taken);
    chain_t claimed = claim_runs(volume, begin, runs);
    if (claimed == chain_t::refused) refuse_walk(taken);
    return claimed;
}

// Claims the runs from begin on, or finds them a cross-link (see claim_chain).
fs_reader_c::chain_t fs_reader_c::claim_runs(uint16_t volume, size_t begin, std::vector<cluster_run_t>& runs) {
    volume_state_t& st = state_[volume];
    auto refuse = [&] {
        runs.resize(begin);
        return chain_t::refused;
    };
    bool meets_owned = false;
    for (size_t i = begin; i < runs.size(); ++i)
        for (uint32_t k = 0; k < runs[i].count; ++k) meets_owned = meets_owned || st.owned[runs[i].first + k];
    if (!meets_owned) {
        for (size_t i = begin; i < runs.size(); ++i)
            for (uint32_t k = 0; k < runs[i].count; ++k) st.owned[runs[i].first + k] = true;
        return chain_t::claimed;
    }
    // Whose clusters are these? Every owner must be a live file; each becomes part of the
    // cross-link. The look-ups are linear in the chains held, so only a few are made.
    std::vector<uint32_t> owners;
    for (size_t i = begin; i < runs.size(); ++i) {
        for (uint32_t k = 0; k < runs[i].count; ++k) {
            uint32_t x = runs[i].first + k;
            if (!st.owned[x]) continue;
            bool known = false;
            for (uint32_t o : owners) {
                std::span<const cluster_run_t> own = this->runs(entries_[o]);
                if ((run_comparisons_ += own.size()) > max_run_comparisons) return refuse();
                for (const cluster_run_t& r : own) known = known || x - r.first < r.count;
            }
            if (known) continue;
            if (owner_lookups_ >= max_owner_lookups) return refuse();
            ++owner_lookups_;
            size_t found = owners.size();
            for (size_t e = 0; e < entries_.size(); ++e) {
                if (entries_[e].volume != volume || entries_[e].is_deleted) continue;
                for (const cluster_run_t& r : this->runs(entries_[e])) {
                    if (x - r.first >= r.count) continue;
                    owners.push_back(uint32_t(e));  // the chain that claimed it, or another cross-linked one
                    break;
                }
            }
            if (owners.size() == found) return refuse();  // a folder's cluster
        }
    }
    for (uint32_t o : owners) {
        if (!entries_[o].is_cross_linked) cross_linked_.push_back(o);
        entries_[o].is_cross_linked = true;
    }
    return chain_t::cross_linked;
}

void fs_reader_c::set_owned(const fs_entry_t& e, bool owned) {
    std::vector<bool>& map = state_[e.volume].owned;
    for (const cluster_run_t& r : runs(e))
        for (uint32_t k = 0; k < r.count; ++k) map[r.first + k] = owned;
}

void fs_reader_c::settle_cross_links(const std::function<bool(const fs_entry_t&)>& is_sound) {
    std::vector<bool> sound(cross_linked_.size());
    for (size_t i = 0; i < cross_linked_.size(); ++i) sound[i] = is_sound(entries_[cross_linked_[i]]);
    auto overlap = [&](const fs_entry_t& a, const fs_entry_t& b) {
        if (a.volume != b.volume) return false;
        for (const cluster_run_t& x : runs(a))
            for (const cluster_run_t& y : runs(b))
                if (x.first < y.first + y.count && y.first < x.first + x.count) return true;
        return false;
    };
    std::vector<bool> keep(sound);
    for (size_t i = 0; i < cross_linked_.size(); ++i)
        for (size_t j = 0; j < cross_linked_.size() && keep[i]; ++j)
            if (j != i && sound[j] && overlap(entries_[cross_linked_[i]], entries_[cross_linked_[j]])) keep[i] = false;
    // The first of each cross-link claimed its clusters when it was read: nothing stays owned
    // but the chains kept.
    for (uint32_t e : cross_linked_) set_owned(entries_[e], false);
    for (size_t i = 0; i < cross_linked_.size(); ++i) {
        fs_entry_t& e = entries_[cross_linked_[i]];
        if (keep[i]) set_owned(e, true);
        else e.runs_count = 0;
        e.is_cross_linked = false;
    }
    cross_linked_.clear();
}

void fs_reader_c::drop_chain(const fs_entry_t& e) {
    if (e.runs_count == 0 || &e < entries_.data() || &e >= entries_.data() + entries_.size()) return;
    set_owned(e, false);
    entries_[size_t(&e - entries_.data())].runs_count = 0;
}

void fs_reader_c::read_directory(pending_dir_t& dir, std::vector<uint8_t>& bytes) {
    const fs_volume_t& v = volumes_[dir.volume];
    volume_state_t& st = state_[dir.volume];
    bytes.clear();
    if (dir.is_fixed_root) {
        bytes.resize(v.root_bytes);
        bytes.resize(source_.read_at(v.root_offset, bytes.data(), bytes.size()));
        return;
    }
    auto append = [&](uint32_t c) {
        size_t at = bytes.size();
        bytes.resize(at + v.cluster_size);
        bytes.resize(at + source_.read_at(v.cluster_offset(c), bytes.data() + at, v.cluster_size));
    };
    uint64_t clusters = dir.bytes ? (dir.bytes + v.cluster_size - 1) / v.cluster_size : 1;
    uint64_t max_clusters = std::max<uint64_t>(1, max_directory_bytes / v.cluster_size);
    // Reads cluster c as the folder's i-th: false (nothing taken) when it is no part of it. A
    // folder ends at its end mark: clusters after the one that holds it are not read, so a chain
    // sent on into another folder does not swallow that folder. A later cluster must read as a
    // folder's continuation (sound entries, not another folder's "." entry).
    bool is_ended = false;
    auto take = [&](uint32_t c, uint64_t i) {
        if (!v.is_cluster(c) || st.dir_seen[c] || (dir.is_live && st.owned[c])) return false;
        size_t at = bytes.size();
        append(c);
        if (i > 0 && !continues_directory(dir.volume, bytes, at)) {
            bytes.resize(at);
            return false;
        }
        st.dir_seen[c] = true;
        if (dir.is_live) st.owned[c] = true;
        for (size_t slot = at; slot + 32 <= bytes.size() && !is_ended; slot += 32) is_ended = bytes[slot] == 0;
        return true;
    };
    if (dir.bytes) {
        // Contiguous (exFAT NoFatChain): clusters in a row, as long as no chain owns them.
        for (uint64_t i = 0; i < std::min(clusters, max_clusters) && !is_ended; ++i)
            if (!take(dir.first + uint32_t(i), i)) break;
        return;
    }
    // A live folder follows its chain; a dead one is read at its first cluster only, its later
    // clusters are found on the card by observe().
    uint32_t c = dir.first;
    for (uint64_t i = 0; i < max_clusters && take(c, i) && !is_ended; ++i) {
        if (!dir.is_live || st.fat.empty()) break;
        c = st.fat[c];
    }
    if (!dir.is_live && !is_fat_family(v.type)) join_cut_sets(dir, bytes);
}

// An exFAT folder cluster read on its own may end inside an entry set (a long name takes 19
// entries), whose rest starts the folder's next cluster, wherever that lies. The set's head is
// kept until a cluster that starts with the rest is read: the two are read as one, and that
// cluster, the folder's next one, lies in the head's folder. With 512-byte clusters a set may
// span three: a cluster of nothing but the set's secondaries joins the head, which waits on.
void fs_reader_c::join_cut_sets(pending_dir_t& dir, std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;
    bool is_middle = bytes.size() % 32 == 0;
    for (size_t at = 0; at < bytes.size() && is_middle; at += 32) is_middle = (bytes[at] & 0x40) != 0;
    if ((bytes[0] & 0x7F) != 0x05) {  // not a set's start: perhaps the rest of one cut before
        for (size_t i = 0; i < cut_sets_.size(); ++i) {
            cut_set_t& cut = cut_sets_[i];
            if (cut.volume != dir.volume) continue;
            std::vector<uint8_t> joined = cut.head;
            joined.insert(joined.end(), bytes.begin(), bytes.end());
            bool is_set = starts_exfat_set(joined.data(), joined.size());
            if (!is_set && !(is_middle && joined.size() < (size_t(joined[1]) + 1) * 32)) continue;
            if (cut.folder != fs_folder_t::none) {
                orphan_folders_.erase(uint64_t(dir.volume) << 32 | dir.first);
                dir.folder = cut.folder;
            }
            if (!is_set) {
                cut.head = std::move(joined);
                bytes.clear();
                return;
            }
            bytes = std::move(joined);
            cut_sets_.erase(cut_sets_.begin() + std::ptrdiff_t(i));
            break;
        }
    }
    size_t cut = exfat_set_cut_at(bytes.data(), bytes.size());
    if (cut < bytes.size() && cut_sets_.size() < max_cut_sets) {
        cut_sets_.push_back({dir.volume, dir.folder, std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(cut), bytes.end())});
        bytes.resize(cut);
    }
}

bool fs_reader_c::continues_directory(uint16_t volume, const std::vector<uint8_t>& bytes, size_t at) const {
    const fs_volume_t& v = volumes_[volume];
    if (bytes.size() < at + 512) return false;
    return is_fat_family(v.type) ? continues_fat_directory(v, bytes.data() + at)
                                 : continues_exfat_directory(bytes.data() + at);
}

bool fs_reader_c::keep_name(std::string_view name, uint32_t& at, uint16_t& size) {
    if (name.empty() || name.size() > max_names_bytes - std::min(max_names_bytes, names_.size())) return false;
    at = uint32_t(names_.size());
    size = uint16_t(name.size());
    names_.append(name);
    return true;
}

uint32_t fs_reader_c::add_folder(uint32_t parent, std::string_view name, bool is_root) {
    if (folders_.size() >= max_folder_records) return fs_folder_t::none;
    fs_folder_t folder;
    folder.parent = parent;
    folder.is_root = is_root;
    keep_name(name, folder.name_at, folder.name_size);
    folders_.push_back(folder);
    return uint32_t(folders_.size() - 1);
}

// A folder entry names the cluster of a folder found on the card with no known parent: that
// folder takes the entry's name and parent, unless the parent lies inside it (a crafted loop).
void fs_reader_c::name_orphan(uint16_t volume, uint32_t cluster, uint32_t named) {
    auto it = orphan_folders_.find(uint64_t(volume) << 32 | cluster);
    if (it == orphan_folders_.end() || named >= folders_.size() || it->second == named) return;
    uint32_t orphan = it->second;
    const fs_folder_t& from = folders_[named];
    uint32_t f = from.parent;
    for (size_t depth = 0; f != fs_folder_t::none && depth < max_path_depth; ++depth, f = folders_[f].parent)
        if (f == orphan || folders_[f].is_root) break;
    if (f == orphan) return;
    folders_[orphan].parent = from.parent;
    folders_[orphan].name_at = from.name_at;
    folders_[orphan].name_size = from.name_size;
    orphan_folders_.erase(it);
}

std::string fs_reader_c::path_of(const fs_entry_t& e) const {
    if (e.name_size == 0) return {};
    static constexpr std::string_view unknown = "?", dropped = "...";
    std::vector<std::string_view> parts{name(e)};  // leaf first
    uint32_t f = e.folder;
    bool is_cut = false;
    for (;;) {
        if (parts.size() > max_path_depth) {
            is_cut = true;
            break;
        }
        if (f == fs_folder_t::none || f >= folders_.size()) {
            parts.push_back(unknown);
            break;
        }
        const fs_folder_t& d = folders_[f];
        if (d.is_root) break;
        parts.push_back(d.name_size ? std::string_view(names_.data() + d.name_at, d.name_size) : unknown);
        if (d.parent == fs_folder_t::none) break;  // a folder found on the card
        f = d.parent;
    }
    // Components from the root's side are dropped while the path is too long.
    size_t bytes = parts.size() - 1;
    for (std::string_view p : parts) bytes += p.size();
    while (parts.size() > 1 && bytes + (dropped.size() + 1) * is_cut > max_path_bytes) {
        bytes -= parts.back().size() + 1;
        parts.pop_back();
        is_cut = true;
    }
    std::string path;
    path.reserve(bytes + dropped.size() + 1);
    if (is_cut) {
        path += dropped;
        path += '\\';
    }
    for (size_t i = parts.size(); i-- > 0;) {
        path += parts[i];
        if (i) path += '\\';
    }
    return path;
}

void fs_reader_c::add_items(const pending_dir_t& dir, const std::vector<uint8_t>& bytes, std::vector<pending_dir_t>& todo) {
    const fs_volume_t& v = volumes_[dir.volume];
    std::vector<dir_item_t> items;
    parsed_names_.clear();
    if (is_fat_family(v.type)) parse_fat_directory(v, bytes.data(), bytes.size(), items, parsed_names_);
    else parse_exfat_directory(v, bytes.data(), bytes.size(), items, parsed_names_);
    uint64_t volume_bytes = uint64_t(v.cluster_count) * v.cluster_size;
    for (const dir_item_t& item : items) {
        bool is_live = dir.is_live && !item.is_deleted;
        std::string_view item_name(parsed_names_.data() + item.name_at, item.name_size);
        if (item.is_directory) {
            if (state_[dir.volume].dir_seen[item.first_cluster]) {
                if (orphan_folders_.count(uint64_t(dir.volume) << 32 | item.first_cluster))
                    name_orphan(dir.volume, item.first_cluster, add_folder(dir.folder, item_name, false));
                continue;
            }
            pending_dir_t sub;
            sub.folder = add_folder(dir.folder, item_name, false);
            sub.volume = dir.volume;
            sub.first = item.first_cluster;
            sub.is_live = is_live;
            sub.is_orphan = dir.is_orphan;
            // Contiguous exFAT folders state their size; chained ones follow their chain.
            sub.bytes = item.is_contiguous ? std::min(item.size, max_directory_bytes) : 0;
            todo.push_back(sub);
            continue;
        }
        if (entries_.size() >= max_entries) return;
        if (item.size == 0 || item.size > volume_bytes) continue;
        fs_entry_t e;
        std::copy(std::begin(item.extension), std::end(item.extension), e.extension);
        e.size = item.size;
        e.first_cluster = item.first_cluster;
        e.volume = dir.volume;
        e.is_deleted = !is_live;
        e.is_contiguous = item.is_contiguous;
        e.is_orphan = dir.is_orphan;
        e.folder = dir.folder;
        e.modified = item.modified;
        e.created = item.created;
        e.modified_utc = item.modified_utc;
        e.created_utc = item.created_utc;
        e.modified_10ms = item.modified_10ms;
        e.created_10ms = item.created_10ms;
        keep_name(item_name, e.name_at, e.name_size);
        if (is_live) {
            uint64_t clusters = (item.size + v.cluster_size - 1) / v.cluster_size;
            e.runs_begin = uint32_t(runs_.size());
            chain_t chain = chain_t::refused;
            if (!item.is_contiguous) {
                chain = claim_chain(dir.volume, item.first_cluster, clusters, runs_);
            } else if (item.first_cluster - 2 + clusters <= v.cluster_count) {
                runs_.push_back({item.first_cluster, uint32_t(clusters)});
                chain = claim_runs(dir.volume, e.runs_begin, runs_);
            }
            if (chain == chain_t::cross_linked) {
                e.is_cross_linked = true;
                cross_linked_.push_back(uint32_t(entries_.size()));
            }
            e.runs_count = chain != chain_t::refused ? uint32_t(runs_.size() - e.runs_begin) : 0;
        }
        entries_.push_back(e);
    }
}

void fs_reader_c::walk(std::vector<pending_dir_t> todo) {
    std::vector<uint8_t> bytes;
    std::vector<pending_dir_t> found, dead;
    // Live folders first, so that every live chain is claimed before dead folders are read. A
    // dead folder's subfolders are read right after it, before the next folder found on the
    // card: a subfolder's cluster may end inside an entry set whose rest that next cluster holds.
    for (size_t folders = 0; folders < max_folders && (!todo.empty() || !dead.empty()); ++folders) {
        std::vector<pending_dir_t>& from = todo.empty() ? dead : todo;
        pending_dir_t dir = from.back();
        from.pop_back();
        // A folder an entry names, already read as one found on the card: it takes the name.
        if (!dir.is_fixed_root && dir.first < state_[dir.volume].dir_seen.size() &&
            state_[dir.volume].dir_seen[dir.first] && orphan_folders_.count(uint64_t(dir.volume) << 32 | dir.first))
            name_orphan(dir.volume, dir.first, dir.folder);
        read_directory(dir, bytes);
        found.clear();
        add_items(dir, bytes, found);
        for (const pending_dir_t& sub : found) (sub.is_live || !dir.is_live ? todo : dead).push_back(sub);
    }
}

size_t fs_reader_c::observe(uint64_t offset, const uint8_t* data, size_t size) {
    size_t before = entries_.size();
    std::vector<pending_dir_t> found;
    std::vector<uint8_t> sector(512);
    for (uint16_t i = 0; i < volumes_.size(); ++i) {
        const fs_volume_t& v = volumes_[i];
        uint64_t from = std::max(offset, v.data_offset), to = std::min(offset + size, v.data_end());
        if (from >= to) continue;
        uint64_t first = (from - v.data_offset + v.cluster_size - 1) / v.cluster_size;
        for (uint64_t c = first + 2; v.cluster_offset(uint32_t(c)) < to; ++c) {
            if (state_[i].dir_seen[c] || state_[i].owned[c]) continue;
            uint64_t at = v.cluster_offset(uint32_t(c));
            size_t in_hand = size_t(std::min<uint64_t>(offset + size - at, v.cluster_size));
            const uint8_t* head = data + (at - offset);
            if (in_hand < 512) {
                if (source_.read_at(at, sector.data(), 512) != 512) continue;
                head = sector.data();
                in_hand = 512;
            }
            // An exFAT cluster may also start with the rest of a set cut at a folder cluster's end
            // (a deleted set's too).
            bool is_dir = is_fat_family(v.type)
                              ? looks_like_fat_directory(v, head)
                              : looks_like_exfat_directory(head, in_hand) ||
                                    ((head[0] & 0x40) != 0 && continues_exfat_directory(head));
            if (!is_dir) continue;
            pending_dir_t dir;
            dir.volume = i;
            dir.first = uint32_t(c);
            dir.is_orphan = true;
            dir.folder = add_folder(fs_folder_t::none, {}, false);
            if (dir.folder != fs_folder_t::none) orphan_folders_[uint64_t(i) << 32 | uint32_t(c)] = dir.folder;
            found.push_back(dir);
        }
    }
    // In card order (walk() takes the last first): a folder cluster is read before the next one,
    // into which its last entry set may run.
    std::reverse(found.begin(), found.end());
    if (!found.empty()) walk(std::move(found));
    return entries_.size() - before;
}

}  // namespace ember::fs
