// One carvable file type: how to spot a candidate cheaply at a sector start, and how to find the
// file's end from its own structure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "carve_input.h"

namespace ember {

// A carver's answer for one candidate. length 0: not a file of this type (or nothing worth
// keeping); the scan goes on at the next sector. Otherwise the file is bytes [0, length) of the
// candidate, and extension is one of the front end's classification-table entries ("jpg",
// "mp4", "nef", ...), a string with static storage.
struct carve_result_t {
    uint64_t length = 0;
    const char* extension = nullptr;
};

// The first bytes of a sector handed to probe(): the whole sector, or what is left of the source
// when that is shorter.
constexpr size_t probe_size = 512;

struct format_t {
    // The engine search-list name that enables this type ("jpg", "riff", "mov", ...).
    std::string_view search_name;
    // The values the candidate's first byte can have; probe() is only asked for sectors that
    // start with one of them. Keep it short: it is what makes the per-sector dispatch cheap.
    std::string_view lead_bytes;
    // A cheap test on the sector's first bytes (size <= probe_size, may be short at the end of
    // the source): true when carve() is worth running here.
    bool (*probe)(const uint8_t* head, size_t size);
    // Walks the structure from the candidate start and decides length and extension. Must stay
    // within in (it returns nullptr past the end) and must not assume anything past probe().
    carve_result_t (*carve)(carve_input_c& in);
};

using format_list = std::span<const format_t* const>;

// The three groups, each defined by its own folder under formats/.
format_list image_formats();
format_list video_formats();
format_list audio_formats();

}  // namespace ember
