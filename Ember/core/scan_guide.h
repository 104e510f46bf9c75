// What the scan asks a layer that knows where files lie on the card (its file system). The scan
// stays a content carver: it offers the guide what it reads, and at a candidate whose format
// probe agreed it lets the guide carve, so that a file known by its directory entry can come back
// whole (its clusters in order) or at the size its entry states.
#pragma once

#include <cstdint>
#include <span>

#include "byte_source.h"
#include "find_layout.h"
#include "find_record.h"
#include "format.h"

namespace ember {

// Where a guided find came from: the guide's own reference to the directory entry that names it
// (none: no entry), and how its bytes were gathered. is_cut: the guide knows its end is not its
// own (a head handed back without its rest, a carve stopped where a live file begins).
struct find_origin_t {
    static constexpr uint32_t no_entry = ~0u;
    uint32_t entry = no_entry;
    find_assembly_t assembly = find_assembly_t::carved;
    uint32_t pieces = 1;
    bool is_cut = false;
};

// How a candidate is kept. bytes: the file's bytes in order from its first one, or nullptr for
// the source itself from the candidate on (as an unguided carve). length 0: not a file of this
// format; the next format is asked.
struct guided_find_t {
    byte_source_i* bytes = nullptr;
    uint64_t length = 0;
    const char* extension = nullptr;
    uint64_t resume = 0;       // where the scan goes on, in the source
    bool may_be_cut = true;    // whether a newer file inside cuts it (see overlap_rule.h)
    find_layout_c layout;      // what the carver recorded of a find kept in place
    // The guide holds the candidate back (a broken head whose rest may lie further on): nothing
    // is kept now; the scan measures it as a usual find of `length` from the source (cut by a
    // newer file inside), tells the guide the length through held() and goes on after it. The
    // guide hands the file back later through take_ready(), joined or as measured.
    bool is_held = false;
    find_origin_t origin;
};

class scan_guide_i {
public:
    virtual ~scan_guide_i() = default;
    // Bytes the scan has read, at offset in the source; before the candidates among them.
    virtual void observe(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    // The end of the stretch the candidate at offset lies in when that stretch belongs to a file
    // already kept whole (a later fragment of it); offset itself otherwise.
    virtual uint64_t skip_from(uint64_t offset) = 0;
    // When the guide knows a file that starts at offset: carves it with format (whose probe
    // agreed) and says how to keep it; false leaves the candidate to the usual carve. resident:
    // the bytes from offset on that the scan holds in memory.
    virtual bool carve(uint64_t offset, const format_t& format, std::span<const uint8_t> resident,
                       guided_find_t& out) = 0;
    // How much of a usual carve of `length` bytes from offset is kept: a find that starts where
    // no known file lies ends where a live file's data begins.
    virtual uint64_t free_length(uint64_t offset, uint64_t length) = 0;
    // The length the scan measured for the candidate held at start.
    virtual void held(uint64_t start, uint64_t length) = 0;
    // A file the guide has finished with since it was asked last (a held one, joined or not),
    // with where it starts; false when there is none. Such files come after later ones. A
    // joined one's resume is where its first stretch ends: the scan looks again at what it
    // skipped past there as the held head's.
    virtual bool take_ready(uint64_t& start, guided_find_t& out) = 0;
    // The scan has read the whole source: everything still held becomes ready.
    virtual void finish() = 0;
    // What the entry of a find tells (its path, live or deleted, its times), added to record.
    virtual void describe(const find_origin_t& origin, find_record_t& record) const = 0;
};

}  // namespace ember
