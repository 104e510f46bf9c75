// The carving loop: every 512-byte boundary of the source is a candidate, offered to the
// enabled formats whose lead bytes match its first byte; the first carver that accepts wins,
// its file is copied to the output in pieces, and the scan goes on at the first boundary after
// it, or at the start of a file found written over it, which cuts it (overlap_rule.h). A refused
// candidate costs one table lookup (most sectors) or a probe.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "byte_source.h"
#include "format.h"
#include "scan_guide.h"
#include "scan_output.h"

namespace ember {

struct scan_config_t {
    size_t chunk_size = 8 * 1024 * 1024;  // a multiple of 512
    size_t read_ahead_depth = 3;
    unsigned wait_ms = 50;                // progress while waiting for a slow device
    scan_guide_i* guide = nullptr;        // what the card's file system tells, when read
};

struct scan_summary_t {
    uint64_t files = 0;
    uint64_t bytes_found = 0;
    uint64_t bytes_scanned = 0;
    // The output refused a find (the work folder is full or gone): the scan ended there.
    bool is_output_failed = false;
    // The source went away (pulled out, gone, or shrank): the scan ended at bytes_scanned.
    bool is_source_lost = false;
    // Sectors that could not be read and read as zeros, and the finds written with some of them
    // inside, or cut short where the source was lost: they are not what the card held.
    uint64_t unreadable_sectors = 0;
    uint64_t damaged_files = 0;
};

// For each value of a sector's first byte, the formats to probe, in registry order.
class dispatch_table_c {
public:
    explicit dispatch_table_c(const std::vector<const format_t*>& formats);
    bool is_empty(uint8_t lead) const { return ranges_[lead].count == 0; }
    const format_t* const* begin(uint8_t lead) const { return flat_.data() + ranges_[lead].first; }
    const format_t* const* end(uint8_t lead) const { return begin(lead) + ranges_[lead].count; }

private:
    struct range_t {
        uint32_t first = 0;
        uint32_t count = 0;
    };
    std::array<range_t, 256> ranges_{};
    std::vector<const format_t*> flat_;
};

scan_summary_t scan_source(byte_source_i& source, const std::vector<const format_t*>& formats,
                           scan_output_i& output, const scan_config_t& config = {});

}  // namespace ember
