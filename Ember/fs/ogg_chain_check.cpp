// The structure walk of Ogg (Vorbis, Opus, Theora) for a candidate chain (media_chain_check.h):
// page by page to the file's end, each with its capture pattern, its CRC over the whole page and
// its stream's page sequence number running on. A page that holds is a place, its last byte too:
// a stretch from the wrong clusters breaks the CRC of the page it falls in, and pages are a few
// KiB, so every cluster holds one.
#include <algorithm>
#include <cstring>
#include <map>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "formats/audio/audio_checks.h"
#include "media_chain_check.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

constexpr uint64_t max_pages = 1u << 22;
constexpr size_t max_streams = 64;
constexpr size_t page_header = 27;

// The page's size (header, segment table, body) from its first bytes; 0 when they are no page's.
uint64_t page_size(carve_input_c& in, uint64_t pos, uint64_t size) {
    const uint8_t* h = size - pos >= page_header ? in.at(pos, page_header) : nullptr;
    if (!h || std::memcmp(h, "OggS", 4) != 0 || h[4] != 0 || (h[5] & 0xF8)) return 0;
    const uint8_t segments = h[26];
    const uint8_t* table = size - pos >= page_header + segments ? in.at(pos + page_header, segments) : nullptr;
    if (!table) return 0;
    uint64_t body = 0;
    for (unsigned i = 0; i < segments; ++i) body += table[i];
    return page_header + segments + body;
}

// Whether the page of `total` bytes at pos has its stored CRC.
bool page_crc_holds(byte_source_i& file, uint64_t pos, uint64_t total) {
    uint8_t buffer[4096];
    uint32_t crc = 0, stored = 0;
    for (uint64_t at = pos; at < pos + total;) {
        const size_t n = size_t(std::min<uint64_t>(sizeof buffer, pos + total - at));
        if (file.read_at(at, buffer, n) != n) return false;
        if (at == pos) {
            if (n < page_header) return false;
            stored = load_le32(buffer + 22);
            std::memset(buffer + 22, 0, 4);
        }
        crc = ogg_crc32(crc, buffer, n);
        at += n;
    }
    return crc == stored;
}

}  // namespace

structure_walk_t walk_ogg(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    std::map<uint32_t, uint32_t> next_sequence;  // by stream serial number
    uint64_t pos = 0;
    for (uint64_t n = 0; pos < size && n < max_pages; ++n) {
        const uint64_t total = page_size(in, pos, size);
        if (total == 0 || total > size - pos) return stop_at(out, pos);
        // A page that fails its CRC went wrong at a cluster boundary inside it: the structure
        // would go on at its end, where the next page starts.
        if (!page_crc_holds(file, pos, total)) return stop_at(out, pos + total);
        const uint8_t* h = in.at(pos, page_header);
        if (!h) return stop_at(out, pos);
        const uint32_t serial = load_le32(h + 14), sequence = load_le32(h + 18);
        auto it = next_sequence.find(serial);
        if (it == next_sequence.end() ? next_sequence.size() == max_streams : it->second != sequence)
            return stop_at(out, pos);
        next_sequence[serial] = sequence + 1;
        out.places.push_back(pos);
        pos += total;
        out.places.push_back(pos - 1);
    }
    out.is_sound = pos == size && pos > 0;
    if (!out.is_sound) out.failed_at = std::min(pos, size);
    return out;
}

bool ogg_continues_at(byte_source_i& card, uint64_t at, uint64_t left) {
    uint8_t h[6];
    if (left < page_header || card.read_at(at, h, sizeof h) != sizeof h) return false;
    return std::memcmp(h, "OggS", 4) == 0 && h[4] == 0 && !(h[5] & 0xF8);
}

stretch_verdict_t ogg_page_holds(byte_source_i& file, uint64_t place, uint64_t boundary) {
    // The place is the last byte of a page: the next page starts after it.
    const uint64_t pos = place + 1;
    carve_input_c in(file, pos);
    const uint64_t total = pos < file.size() ? page_size(in, 0, file.size() - pos) : 0;
    if (total == 0 || pos + total <= boundary || total > file.size() - pos) return stretch_verdict_t::unknown;
    return page_crc_holds(file, pos, total) ? stretch_verdict_t::holds : stretch_verdict_t::broken;
}

}  // namespace ember::fs
