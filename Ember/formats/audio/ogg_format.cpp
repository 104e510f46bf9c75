// Ogg: a run of pages ("OggS", version 0, segment table, CRC-32 over the page). A link of the
// file ends with the page that closes the last of its logical streams; a chained file goes on
// while the next page starts a new link (a first page). Damage or the end of the source ends
// the file after the last sound page.
#include <algorithm>
#include <cstring>

#include "audio_checks.h"
#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

constexpr size_t page_header_size = 27;
constexpr size_t max_streams = 32;
constexpr uint64_t max_links = 4096;
constexpr uint8_t flag_first = 0x02, flag_last = 0x04;

struct page_t {
    uint64_t size = 0;  // 0: not a sound page
    uint8_t flags = 0;
    uint32_t serial = 0;
    const uint8_t* body = nullptr;  // the first bytes of the first packet (when in reach)
    size_t body_size = 0;
};

bool is_page_header(const uint8_t* p) {
    return p[0] == 'O' && p[1] == 'g' && p[2] == 'g' && p[3] == 'S' && p[4] == 0 &&
           (p[5] & ~7) == 0;
}

page_t read_page(carve_input_c& in, uint64_t pos) {
    page_t page;
    const uint8_t* h = in.at(pos, page_header_size);
    if (!h || !is_page_header(h)) return page;
    uint8_t flags = h[5];
    uint32_t serial = load_le32(h + 14), stored_crc = load_le32(h + 22);
    size_t segments = h[26];
    const uint8_t* table = in.at(pos + page_header_size, segments);
    if (!table) return page;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += table[i];
    size_t total = page_header_size + segments + body;  // at most 65307: one at() span
    const uint8_t* p = in.at(pos, total);
    if (!p) return page;
    static constexpr uint8_t zero_crc[4] = {};
    uint32_t crc = ogg_crc32(0, p, 22);
    crc = ogg_crc32(crc, zero_crc, 4);
    crc = ogg_crc32(crc, p + 26, total - 26);
    if (crc != stored_crc) return page;
    page.size = total;
    page.flags = flags;
    page.serial = serial;
    page.body = p + page_header_size + segments;
    page.body_size = body;
    return page;
}

bool has_prefix(const page_t& page, const char* text, size_t n) {
    return page.body_size >= n && std::memcmp(page.body, text, n) == 0;
}

// Theora (and the old Ogg Media video header) make the file a video.
bool is_video_stream(const page_t& page) {
    return has_prefix(page, "\x80theora", 7) || has_prefix(page, "\x01video", 6);
}

bool probe(const uint8_t* head, size_t size) {
    return size >= page_header_size && is_page_header(head) && (head[5] & flag_first) &&
           !(head[5] & 1);
}

carve_result_t carve(carve_input_c& in) {
    uint64_t pos = 0, links = 0;
    bool is_video = false;
    uint64_t end = 0;  // the end of the last complete link
    uint64_t pages = 0;
    uint32_t previous[max_streams];
    size_t previous_count = 0;
    while (links < max_links) {
        // One link: its first pages open every stream, then pages run until each one is closed.
        // Links of one chain have serial numbers of their own: a repeated one is the next file.
        uint32_t open[max_streams], serials[max_streams];
        size_t open_count = 0, serial_count = 0;
        bool is_opening = true;
        page_t page = read_page(in, pos);
        if (page.size == 0 || !(page.flags & flag_first)) break;
        for (;;) {
            bool is_known = std::find(open, open + open_count, page.serial) != open + open_count;
            if (page.flags & flag_first) {
                if (!is_opening || is_known || open_count == max_streams) break;
                if (std::find(previous, previous + previous_count, page.serial) !=
                    previous + previous_count)
                    break;
                open[open_count++] = page.serial;
                serials[serial_count++] = page.serial;
                if (is_video_stream(page)) is_video = true;
            } else {
                if (!is_known) break;
                is_opening = false;
            }
            pos += page.size;
            ++pages;
            if (page.flags & flag_last) {
                std::remove(open, open + open_count, page.serial);
                if (--open_count == 0) break;
            }
            page = read_page(in, pos);
            if (page.size == 0) break;
        }
        if (open_count != 0) {
            // Cut short or damaged: keep the sound pages when this is the first link.
            if (links == 0 && pages >= 2) end = pos;
            break;
        }
        if (serial_count == 0) break;
        end = pos;
        ++links;
        std::copy(serials, serials + serial_count, previous);
        previous_count = serial_count;
    }
    if (end == 0) return {};
    return {end, is_video ? "ogm" : "ogg"};
}

}  // namespace

const format_t ogg_format = {"ogg", "O", probe, carve};

}  // namespace ember
