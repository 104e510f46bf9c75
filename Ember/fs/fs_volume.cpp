// Boot sectors (FAT BPB, exFAT main and backup boot sector) and partition tables (MBR with its
// extended chain, GPT). Sizes are checked against each other and clipped to the source, so a
// volume larger than the card (a cut image) keeps the clusters that are there.
#include "fs_volume.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/byte_reader.h"

namespace ember::fs {
namespace {

constexpr size_t sector = 512;
// Limits of the formats: FAT32 cluster numbers are 28 bits, exFAT's just under 2^32; a FAT
// cluster is at most 64 KiB (32 KiB by the book, 64 KiB in practice), an exFAT one 32 MiB.
constexpr uint32_t max_fat_cluster_size = 64 * 1024;
constexpr uint32_t max_exfat_cluster_size = 32 * 1024 * 1024;
constexpr uint32_t max_fat32_clusters = 0x0FFFFFF5;
constexpr uint32_t max_exfat_clusters = 0xFFFFFFF5;
// Primary entries plus a long extended chain; GPTs usually have 128 entries. Of the volumes
// found, a few are kept: each costs memory for its FAT and cluster maps.
constexpr int max_partitions = 128;
constexpr size_t max_volumes = 16;
constexpr uint32_t max_gpt_entries = 1024;
// FAT12 and FAT16 by cluster count, as the format defines them.
constexpr uint32_t fat12_limit = 4085, fat16_limit = 65525;

bool read_sector(byte_source_i& source, uint64_t offset, uint8_t* buf) {
    return source.read_at(offset, buf, sector) == sector;
}

bool is_power_of_two(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// Clusters of a volume that lie inside the source.
uint32_t clusters_in_source(uint64_t data_offset, uint32_t cluster_size, uint32_t stated, uint64_t source_size) {
    if (data_offset >= source_size) return 0;
    uint64_t fit = (source_size - data_offset) / cluster_size;
    return fit < stated ? uint32_t(fit) : stated;
}

bool read_fat_boot(const uint8_t* bs, uint64_t offset, uint64_t source_size, fs_volume_t& v) {
    if (load_le16(bs + 510) != 0xAA55 || (bs[0] != 0xEB && bs[0] != 0xE9)) return false;
    byte_reader_c r(bs + 11, sector - 11);
    uint32_t bytes_per_sector = r.le16();
    uint32_t sectors_per_cluster = r.u8();
    uint32_t reserved = r.le16();
    uint32_t fats = r.u8();
    uint32_t root_entries = r.le16();
    uint32_t total16 = r.le16();
    uint8_t media = r.u8();
    uint32_t fat16_size = r.le16();
    r.skip(8);
    uint32_t total32 = r.le32();
    uint32_t fat32_size = r.le32();
    r.skip(4);
    uint32_t root_cluster = r.le32();
    if (!r.ok()) return false;
    if (bytes_per_sector < 512 || bytes_per_sector > 4096 || !is_power_of_two(bytes_per_sector)) return false;
    if (!is_power_of_two(sectors_per_cluster) || bytes_per_sector * sectors_per_cluster > max_fat_cluster_size)
        return false;
    if (reserved == 0 || fats == 0 || fats > 4 || (media != 0xF0 && media < 0xF8)) return false;
    uint64_t total = total16 ? total16 : total32;
    uint64_t fat_sectors = fat16_size ? fat16_size : fat32_size;
    if (total == 0 || fat_sectors == 0) return false;
    uint64_t root_sectors = (uint64_t(root_entries) * 32 + bytes_per_sector - 1) / bytes_per_sector;
    uint64_t meta = reserved + fats * fat_sectors + root_sectors;
    if (meta >= total) return false;
    uint64_t clusters = (total - meta) / sectors_per_cluster;
    v.type = clusters < fat12_limit ? fs_type_t::fat12 : clusters < fat16_limit ? fs_type_t::fat16 : fs_type_t::fat32;
    // FAT32 has no fixed root and keeps its FAT size in the 32-bit field; FAT12/16 the reverse.
    if ((v.type == fs_type_t::fat32) != (fat16_size == 0 && root_entries == 0)) return false;
    if (clusters > max_fat32_clusters) return false;
    uint64_t fat_entries_bits = (clusters + 2) * (v.type == fs_type_t::fat12 ? 12 : v.type == fs_type_t::fat16 ? 16 : 32);
    if (fat_sectors * bytes_per_sector * 8 < fat_entries_bits) return false;
    v.start = offset;
    v.cluster_size = bytes_per_sector * sectors_per_cluster;
    v.fat_offset = offset + uint64_t(reserved) * bytes_per_sector;
    v.fat_bytes = (fat_entries_bits + 7) / 8;
    v.root_offset = offset + (reserved + fats * fat_sectors) * bytes_per_sector;
    v.root_bytes = v.type == fs_type_t::fat32 ? 0 : root_entries * 32;
    v.data_offset = offset + meta * bytes_per_sector;
    v.root_cluster = v.type == fs_type_t::fat32 ? root_cluster : 0;
    v.cluster_count = clusters_in_source(v.data_offset, v.cluster_size, uint32_t(clusters), source_size);
    if (v.type == fs_type_t::fat32 && !v.is_cluster(v.root_cluster)) return false;
    return true;
}

bool read_exfat_boot(const uint8_t* bs, uint64_t offset, uint64_t source_size, fs_volume_t& v) {
    if (load_le16(bs + 510) != 0xAA55 || std::memcmp(bs + 3, "EXFAT   ", 8) != 0) return false;
    for (int i = 11; i < 64; ++i)
        if (bs[i] != 0) return false;  // where a FAT boot sector keeps its BPB, exFAT must be zero
    byte_reader_c r(bs + 72, sector - 72);
    uint64_t volume_sectors = r.le64();
    uint32_t fat_offset = r.le32();
    uint32_t fat_length = r.le32();
    uint32_t heap_offset = r.le32();
    uint32_t cluster_count = r.le32();
    uint32_t root_cluster = r.le32();
    r.skip(4 + 2);
    uint16_t flags = r.le16();
    uint8_t sector_shift = r.u8();
    uint8_t cluster_shift = r.u8();
    uint8_t fats = r.u8();
    if (!r.ok() || sector_shift < 9 || sector_shift > 12 || cluster_shift > 25 - sector_shift) return false;
    if (fats < 1 || fats > 2 || cluster_count == 0 || cluster_count > max_exfat_clusters) return false;
    uint64_t bytes_per_sector = uint64_t(1) << sector_shift;
    uint32_t cluster_size = uint32_t(bytes_per_sector << cluster_shift);
    if (cluster_size > max_exfat_cluster_size || fat_offset < 24 || fat_length == 0) return false;
    if (uint64_t(fat_length) * bytes_per_sector < (uint64_t(cluster_count) + 2) * 4) return false;
    if (heap_offset < uint64_t(fat_offset) + uint64_t(fat_length) * fats) return false;
    if (heap_offset + (uint64_t(cluster_count) << cluster_shift) > volume_sectors) return false;
    bool second_fat = fats == 2 && (flags & 1);  // ActiveFat
    v.type = fs_type_t::exfat;
    v.start = offset;
    v.cluster_size = cluster_size;
    v.fat_offset = offset + (uint64_t(fat_offset) + (second_fat ? fat_length : 0)) * bytes_per_sector;
    v.fat_bytes = (uint64_t(cluster_count) + 2) * 4;
    v.data_offset = offset + uint64_t(heap_offset) * bytes_per_sector;
    v.root_cluster = root_cluster;
    v.cluster_count = clusters_in_source(v.data_offset, cluster_size, cluster_count, source_size);
    return v.is_cluster(root_cluster);
}

bool add_partition(byte_source_i& source, uint64_t lba, std::vector<fs_volume_t>& out) {
    fs_volume_t v;
    if (out.size() >= max_volumes || lba == 0 || lba > source.size() / sector) return false;
    for (const fs_volume_t& known : out)
        if (known.start == lba * sector) return false;  // listed twice
    if (!read_volume(source, lba * sector, v)) return false;
    out.push_back(v);
    return true;
}

// GPT at LBA 1: the header, then its entry array; each used entry's first LBA.
bool read_gpt(byte_source_i& source, std::vector<fs_volume_t>& out) {
    uint8_t h[sector];
    if (!read_sector(source, sector, h) || std::memcmp(h, "EFI PART", 8) != 0) return false;
    uint64_t entries_lba = load_le64(h + 72);
    uint32_t count = load_le32(h + 80), entry_size = load_le32(h + 84);
    if (entry_size < 128 || entry_size > sector || sector % entry_size != 0 || count > max_gpt_entries) return false;
    uint8_t s[sector];
    int added = 0;
    for (uint32_t i = 0; i < count && added < max_partitions; ++i) {
        uint64_t at = entries_lba * sector + uint64_t(i) * entry_size;
        if (entries_lba > source.size() / sector || (at % sector == 0 && !read_sector(source, at, s))) break;
        const uint8_t* e = s + at % sector;
        static const uint8_t unused[16] = {};
        if (std::memcmp(e, unused, 16) == 0) continue;
        added += add_partition(source, load_le64(e + 32), out);
    }
    return true;
}

bool is_extended(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

// The four primary entries, and the chain of logical partitions behind an extended one.
void read_mbr(byte_source_i& source, const uint8_t* mbr, std::vector<fs_volume_t>& out) {
    if (load_le16(mbr + 510) != 0xAA55) return;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* e = mbr + 446 + 16 * i;
        if (e[0] != 0x00 && e[0] != 0x80) return;  // not a partition table
    }
    for (int i = 0; i < 4; ++i) {
        const uint8_t* e = mbr + 446 + 16 * i;
        uint8_t type = e[4];
        uint32_t first = load_le32(e + 8);
        if (type == 0xEE && read_gpt(source, out)) return;
        if (type == 0 || first == 0) continue;
        if (!is_extended(type)) {
            add_partition(source, first, out);
            continue;
        }
        uint64_t ebr = first;
        uint8_t s[sector];
        for (int n = 0; n < max_partitions && ebr < source.size() / sector; ++n) {
            if (!read_sector(source, ebr * sector, s) || load_le16(s + 510) != 0xAA55) break;
            uint32_t logical = load_le32(s + 446 + 8), next = load_le32(s + 462 + 8);
            if (s[446 + 4] != 0 && logical != 0) add_partition(source, ebr + logical, out);
            if (next == 0 || !is_extended(s[462 + 4])) break;
            ebr = first + uint64_t(next);
        }
    }
}

}  // namespace

uint32_t fs_volume_t::cluster_at(uint64_t offset) const {
    if (offset < data_offset || offset >= data_end()) return 0;
    uint64_t rel = offset - data_offset;
    return rel % cluster_size == 0 ? uint32_t(rel / cluster_size + 2) : 0;
}

bool read_volume(byte_source_i& source, uint64_t offset, fs_volume_t& volume) {
    uint8_t bs[sector];
    if (!read_sector(source, offset, bs)) return false;
    if (read_exfat_boot(bs, offset, source.size(), volume) || read_fat_boot(bs, offset, source.size(), volume))
        return true;
    // exFAT keeps a backup of its boot region 12 sectors on.
    return read_sector(source, offset + 12 * sector, bs) && read_exfat_boot(bs, offset, source.size(), volume);
}

std::vector<fs_volume_t> find_volumes(byte_source_i& source) {
    std::vector<fs_volume_t> out;
    fs_volume_t v;
    if (read_volume(source, 0, v)) {
        out.push_back(v);
        return out;
    }
    uint8_t mbr[sector];
    if (read_sector(source, 0, mbr)) read_mbr(source, mbr, out);
    return out;
}

}  // namespace ember::fs
