// The FAT12, FAT16, FAT32 and exFAT volumes of a source: at its sector 0, or in the partitions
// of an MBR (with its extended partitions) or a GPT. Boot sectors are card data like any other:
// every field is checked before it is used, and a volume that does not hold together is not one.
#pragma once

#include <cstdint>
#include <vector>

#include "core/byte_source.h"

namespace ember::fs {

enum class fs_type_t : uint8_t { fat12, fat16, fat32, exfat };

struct fs_volume_t {
    fs_type_t type = fs_type_t::fat32;
    uint64_t start = 0;         // byte offset of the boot sector in the source
    uint64_t fat_offset = 0;    // the FAT in use
    uint64_t fat_bytes = 0;
    uint64_t data_offset = 0;   // cluster 2
    uint64_t root_offset = 0;   // FAT12/16: the fixed root directory
    uint32_t root_bytes = 0;
    uint32_t root_cluster = 0;  // FAT32, exFAT
    uint32_t cluster_size = 0;
    uint32_t cluster_count = 0; // clusters 2 .. cluster_count + 1, only those inside the source

    bool is_cluster(uint32_t c) const { return c >= 2 && c - 2 < cluster_count; }
    uint64_t cluster_offset(uint32_t c) const { return data_offset + uint64_t(c - 2) * cluster_size; }
    uint64_t data_end() const { return data_offset + uint64_t(cluster_count) * cluster_size; }
    // The cluster whose first byte is at offset, or 0 when offset starts none.
    uint32_t cluster_at(uint64_t offset) const;
};

// Every volume found, in partition-table order; empty when the source holds none.
std::vector<fs_volume_t> find_volumes(byte_source_i& source);

// The volume whose boot sector is at offset, when there is a sound one; false otherwise.
bool read_volume(byte_source_i& source, uint64_t offset, fs_volume_t& volume);

}  // namespace ember::fs
