// Canon CRW (CIFF): the root heap runs from the header to the file's end, and its last four
// bytes point back to its record table. The carver looks for a table whose records all lie
// before it and whose trailing pointer names it; a "CANON OPTIONAL DATA" trailer after the heap
// belongs to the file.
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint32_t header_size = 0x1A;
constexpr uint16_t max_records = 512;
constexpr uint64_t max_crw_size = uint64_t(64) << 20;  // CRW cameras wrote at most ~10 MB
constexpr char trailer_mark[] = "CANON OPTIONAL DATA";  // with its NUL: 20 bytes
constexpr uint64_t trailer_header = 28, trailer_footer = 64;
constexpr uint32_t max_trailer = 16 << 20;
constexpr uint64_t sector = 512;

// The heap's end when a sound record table starts at table (relative to the heap), else 0.
uint64_t heap_end(carve_input_c& in, uint64_t table) {
    uint16_t count;
    if (!in.le16(header_size + table, count) || count == 0 || count > max_records) return 0;
    uint64_t pointer = header_size + table + 2 + 10 * uint64_t(count);
    uint32_t back;
    if (!in.le32(pointer, back) || back != table) return 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* r = in.at(header_size + table + 2 + 10 * uint64_t(i), 10);
        if (!r) return 0;
        uint16_t type = load_le16(r);
        // Values stored in the record itself (data location bits 0x4000) have no extent.
        if (type & 0x4000) continue;
        uint64_t size = load_le32(r + 2), offset = load_le32(r + 6);
        if (offset + size > table) return 0;
    }
    return pointer + 4;
}

uint64_t with_trailer(carve_input_c& in, uint64_t end) {
    const uint8_t* t = in.at(end, trailer_header);
    if (!t || std::memcmp(t, trailer_mark, sizeof trailer_mark) != 0) return end;
    uint32_t length = load_be32(t + 24);
    if (length > max_trailer) return end;
    uint64_t footer = end + trailer_header + length;
    const uint8_t* f = in.at(footer, trailer_footer);
    if (!f || std::memcmp(f, trailer_mark, sizeof trailer_mark) != 0) return end;
    return footer + trailer_footer;
}

bool probe_crw(const uint8_t* head, size_t size) {
    return size >= header_size && std::memcmp(head, "II\x1A\0\0\0HEAPCCDR", 14) == 0;
}

carve_result_t carve_crw(carve_input_c& in) {
    uint64_t limit = in.size() < max_crw_size ? in.size() : max_crw_size;
    // Every candidate table position is tried in turn; each test is two loads. No file holds
    // another file's header on a sector boundary, so the search ends at the next one: each byte
    // is searched for one candidate at most, however many headers a card holds.
    for (uint64_t table = 0; header_size + table + 2 + 10 + 4 <= limit; ++table) {
        uint64_t at = header_size + table;
        if (at % sector == 0) {
            const uint8_t* next = in.at(at, header_size);
            if (next && probe_crw(next, header_size)) break;
        }
        uint64_t end = heap_end(in, table);
        if (end) return {with_trailer(in, end), "crw"};
    }
    return {};
}

}  // namespace

const format_t crw_format = {"crw", "I", probe_crw, carve_crw};

}  // namespace ember
