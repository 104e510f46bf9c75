// RealMedia: a chain of chunks (.RMF, PROP, MDPR, CONT, DATA, INDX), each with its size.
#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

constexpr uint32_t chunk_header = 10;  // id, size, version
constexpr uint32_t max_chunks = 4096;
constexpr uint32_t max_mdpr_size = 64 * 1024;

bool probe(const uint8_t* h, size_t size) {
    return size >= 18 && load_be32(h) == fourcc(".RMF") && load_be32(h + 4) >= 16 &&
           load_be32(h + 4) <= 64 && load_be16(h + 8) <= 1;
}

constexpr uint32_t data_header = 18;  // chunk header, packet count, next DATA offset
constexpr uint32_t packet_header = 12;

// The end of the media packets of the DATA chunk at pos, or 0 when they do not add up. Where a
// packet's header is no packet's (the bytes from there on are another file's, which begin at a
// sector boundary), `sound_to` gets the sector boundary at or before the last packet that seemed
// sound, since nothing after it confirms its bytes.
uint64_t data_packets_end(carve_input_c& in, uint64_t pos, uint64_t size, uint64_t& sound_to) {
    uint32_t count = 0;
    if (!in.be32(pos + 10, count)) return 0;
    uint64_t p = pos + data_header, last = p;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* h = in.at(p, 4);
        if (h && (load_be16(h) > 1 || load_be16(h + 2) < packet_header)) {
            sound_to = std::max(pos + data_header, last / 512 * 512);
            return 0;
        }
        if (!h) return 0;
        last = p;
        p += load_be16(h + 2);
        if (p - pos > size) return 0;
    }
    return p;
}

bool is_chunk(uint32_t id) {
    return id == fourcc("PROP") || id == fourcc("MDPR") || id == fourcc("CONT") ||
           id == fourcc("DATA") || id == fourcc("INDX") || id == fourcc("RMMD") || id == fourcc("RMJE");
}

carve_result_t carve(carve_input_c& in) {
    uint32_t first = 0;
    if (!in.be32(4, first)) return {};
    uint64_t pos = first;
    bool has_prop = false, has_data = false, has_video = false, has_stream = false;
    for (uint32_t n = 0; n < max_chunks; ++n) {
        const uint8_t* c = in.at(pos, chunk_header);
        if (!c || !is_chunk(load_be32(c))) break;
        uint32_t id = load_be32(c);
        uint64_t size = load_be32(c + 4);
        if (size < chunk_header) break;
        if (id == fourcc("PROP")) has_prop = true;
        if (id == fourcc("DATA")) has_data = true;
        if (id == fourcc("MDPR") && size <= max_mdpr_size) {
            // The MIME type follows the stream number, seven rates, sizes and times, and the name.
            const uint8_t* m = in.at(pos, size_t(size));
            if (!m) break;
            uint64_t off = chunk_header + 2 + 7 * 4;
            if (off < size) off += 1 + m[off];  // the stream name
            if (off < size) {
                uint64_t len = m[off];
                has_stream = true;
                if (off + 1 + len <= size && len >= 5 && std::memcmp(m + off + 1, "video", 5) == 0)
                    has_video = true;
            }
        }
        if (id == fourcc("DATA")) {
            // The packets, counted in the chunk, are what it holds: some writers overstate its size.
            uint64_t sound_to = 0;
            uint64_t end = data_packets_end(in, pos, size, sound_to);
            if (sound_to) {
                pos = sound_to;
                break;
            }
            // ffmpeg closes the packets with eight zero bytes, and counts them in no size.
            uint64_t tail = 0;
            if (end != 0 && end < pos + size && in.be64(end, tail) && tail == 0) end += 8;
            if (end != 0) size = end - pos;
        }
        if (size > in.size() - pos) {
            pos = in.size();
            break;
        }
        pos += size;
    }
    if (!has_prop || !has_data || !has_stream) return {};
    return {pos, has_video ? "rm" : "ra"};
}

}  // namespace

const format_t realmedia_format = {"rm", ".", probe, carve};

}  // namespace ember::video
