// What a carver knows of its find's bytes beyond their extent, for the scan's checks of the
// candidates that start inside the find:
// - payload: media samples, image strips and tiles, sensor and sample data. Every byte of it
//   belongs to the file, and no other file starts inside it except at an embedded start.
// - embedded starts: where pictures and frames that the structure accounts for begin (previews,
//   strips, motion-JPEG samples). A candidate there is part of the find.
// A carver that records nothing leaves the decision to the type rules of overlap_rule.h.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace ember {

enum class nested_place_t {
    other,     // metadata, or a find whose carver recorded nothing
    payload,   // inside payload, not at an embedded start
    embedded,  // at the start of an embedded picture or frame
};

class find_layout_c {
public:
    // Offsets are relative to the find's start, which lies on a sector boundary; embedded starts
    // off a boundary are never a candidate and are not kept.
    void add_payload(uint64_t offset, uint64_t length);
    void add_embedded(uint64_t offset);
    void clear();

    // Where a candidate that starts at offset stands.
    nested_place_t place_of(uint64_t offset);

private:
    void settle();

    std::vector<std::pair<uint64_t, uint64_t>> payload_;  // [begin, end)
    std::vector<uint64_t> embedded_;
    bool is_settled_ = true;
    bool is_overflowed_ = false;  // more than the limits: nothing is known
};

}  // namespace ember
