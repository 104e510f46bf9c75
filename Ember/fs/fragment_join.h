// Two-fragment reassembly of a deleted JPEG or PNG whose chain is gone and whose data stops
// validating before the size its directory entry states: the head is the file's first clusters
// up to some cluster boundary before the failure, the rest lies in clusters no live file owns
// further on. Candidates are the clusters where the file's last bytes (EOI, IEND) would land at
// the offset the size fixes; a join is made only when the whole file then validates to its end
// (JPEG: every MCU Huffman-decoded with restart markers in sequence and EOI right after; PNG:
// every chunk's CRC up to IEND). The work per file is bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/format.h"
#include "extent_source.h"

namespace ember::fs {

struct join_request_t {
    uint64_t start = 0;         // the file's first byte on the card
    uint64_t size = 0;          // from its directory entry
    uint32_t cluster_size = 0;
    uint64_t area_end = 0;      // the end of the volume's clusters
    const format_t* format = nullptr;  // the carver that recognised the head
    const char* extension = nullptr;   // "jpg" or "png"; nothing else is joined
    std::function<bool(uint64_t)> is_free;  // a cluster (by its first byte) no file owns
    uint64_t* probes_left = nullptr;        // clusters the whole scan may still read for joins
};

// True when the sector's first bytes start a file of any type the carvers know.
bool starts_a_file(const uint8_t* sector, size_t size);

// The file as two extents on the card, when one join validates; false otherwise.
bool join_fragments(byte_source_i& card, const join_request_t& request, std::vector<extent_t>& extents);

}  // namespace ember::fs
