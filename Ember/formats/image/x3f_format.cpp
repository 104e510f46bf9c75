// Sigma X3F: the section directory ("SECd") follows the last section, and the file's last four
// bytes point back to it. The carver looks for a directory whose entries all lie before it and
// whose trailing pointer names it; the file ends after that pointer.
#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint64_t header_size = 40;
constexpr uint32_t max_sections = 1024;
// Sigma's files stay well under this; the directory search stops there.
constexpr uint64_t max_x3f_size = uint64_t(512) << 20;
constexpr uint64_t sector = 512;

// The file's end when a sound directory starts at dir, else 0.
uint64_t directory_end(carve_input_c& in, uint64_t dir) {
    const uint8_t* d = in.at(dir, 12);
    if (!d || std::memcmp(d, "SECd", 4) != 0) return 0;
    uint32_t count = load_le32(d + 8);
    if (count == 0 || count > max_sections) return 0;
    uint64_t end = dir + 12 + 12 * uint64_t(count);
    uint32_t back;
    if (!in.le32(end, back) || back != dir) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = in.at(dir + 12 + 12 * uint64_t(i), 12);
        if (!e) return 0;
        uint64_t offset = load_le32(e), length = load_le32(e + 4);
        if (offset < header_size || offset + length > dir) return 0;
        const uint8_t* s = in.at(offset, 4);
        if (!s || std::memcmp(s, "SEC", 3) != 0) return 0;
    }
    return end + 4;
}

bool probe_x3f(const uint8_t* head, size_t size) {
    return size >= header_size && std::memcmp(head, "FOVb", 4) == 0 && load_le16(head + 6) >= 1 &&
           load_le16(head + 6) <= 4;
}

carve_result_t carve_x3f(carve_input_c& in) {
    uint64_t limit = in.size() < max_x3f_size ? in.size() : max_x3f_size;
    // Directories are four-byte aligned; memchr finds the candidates' first letter, a sector at a
    // time. No file holds another file's header on a sector boundary, so the search ends at the
    // next one: each byte is searched for one candidate at most.
    for (uint64_t sector_start = 0; sector_start < limit; sector_start += sector) {
        const uint8_t* next = sector_start ? in.at(sector_start, header_size) : nullptr;
        if (next && probe_x3f(next, header_size)) break;
        uint64_t pos = std::max(sector_start, header_size);
        uint64_t sector_end = std::min(sector_start + sector, limit);
        while (pos < sector_end) {
            std::span<const uint8_t> span = in.run(pos);
            if (span.empty()) return {};
            size_t n = size_t(std::min<uint64_t>(span.size(), sector_end - pos));
            const void* hit = std::memchr(span.data(), 'S', n);
            if (!hit) break;
            uint64_t at = pos + uint64_t(static_cast<const uint8_t*>(hit) - span.data());
            if (at % 4 == 0)
                if (uint64_t end = directory_end(in, at)) return {end, "x3f"};
            pos = at + 1;
        }
    }
    return {};
}

}  // namespace

const format_t x3f_format = {"x3f", "F", probe_x3f, carve_x3f};

}  // namespace ember
