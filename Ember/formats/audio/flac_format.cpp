// FLAC: "fLaC", metadata blocks (STREAMINFO first), then frames. A frame's header carries a
// CRC-8 and the frame ends in a CRC-16 of everything before it, so the frame's end is the first
// place where that CRC holds and the next frame's header follows (with the next frame or sample
// number); the last frame, or one followed by damage, ends at the first place its CRC holds that
// is at least STREAMINFO's minimum frame size from its start.
#include <algorithm>
#include <cstring>

#include "audio_checks.h"
#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

constexpr int max_metadata_blocks = 1024;
constexpr size_t streaminfo_size = 34;
constexpr size_t max_frame_header = 16;
// The bound on a frame when STREAMINFO gives no maximum frame size: verbatim samples of the
// largest block, plus room for headers.
constexpr uint64_t frame_overhead = 1024;

struct stream_info_t {
    uint32_t min_block = 0, max_block = 0, min_frame = 0, max_frame = 0;
    uint32_t sample_rate = 0, channels = 0, bits = 0;
    uint64_t total_samples = 0;
};

struct frame_header_t {
    size_t size = 0;  // 0: not a valid header
    bool is_variable = false;
    uint64_t number = 0;  // frame number (fixed block size) or first sample (variable)
    uint32_t block = 0;
};

frame_header_t parse_frame_header(const uint8_t* p, size_t n, const stream_info_t& info) {
    frame_header_t h;
    if (n < 6 || p[0] != 0xFF || (p[1] & 0xFE) != 0xF8) return h;
    unsigned block_code = p[2] >> 4, rate_code = p[2] & 15;
    unsigned channel_code = p[3] >> 4, bits_code = (p[3] >> 1) & 7;
    if (block_code == 0 || rate_code == 15 || channel_code > 10 || bits_code == 3 || (p[3] & 1))
        return h;
    unsigned channels = channel_code < 8 ? channel_code + 1 : 2;
    if (channels != info.channels) return h;
    static constexpr uint32_t bits_of[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    if (bits_code != 0 && bits_of[bits_code] != info.bits) return h;
    static constexpr uint32_t rate_of[12] = {0, 88200, 176400, 192000, 8000, 16000,
                                             22050, 24000, 32000, 44100, 48000, 96000};
    if (rate_code != 0 && rate_code < 12 && rate_of[rate_code] != info.sample_rate) return h;

    // The UTF-8-style coded frame or sample number.
    size_t pos = 4;
    unsigned lead = p[pos++];
    int extra = 0;
    uint64_t number = 0;
    if (lead < 0x80) number = lead;
    else if ((lead & 0xE0) == 0xC0) number = lead & 0x1F, extra = 1;
    else if ((lead & 0xF0) == 0xE0) number = lead & 0x0F, extra = 2;
    else if ((lead & 0xF8) == 0xF0) number = lead & 0x07, extra = 3;
    else if ((lead & 0xFC) == 0xF8) number = lead & 0x03, extra = 4;
    else if ((lead & 0xFE) == 0xFC) number = lead & 0x01, extra = 5;
    else if (lead == 0xFE) number = 0, extra = 6;
    else return h;
    if (pos + extra + 3 > n) return h;
    for (int i = 0; i < extra; ++i) {
        if ((p[pos] & 0xC0) != 0x80) return h;
        number = number << 6 | (p[pos++] & 0x3F);
    }

    uint32_t block;
    if (block_code == 1) block = 192;
    else if (block_code <= 5) block = 576u << (block_code - 2);
    else if (block_code == 6) block = uint32_t(p[pos++]) + 1;
    else if (block_code == 7) block = uint32_t(load_be16(p + pos)) + 1, pos += 2;
    else block = 256u << (block_code - 8);
    if (rate_code == 12) pos += 1;
    else if (rate_code == 13 || rate_code == 14) pos += 2;
    if (pos + 1 > n || flac_crc8(p, pos) != p[pos]) return h;
    if (info.max_block != 0 && block > info.max_block) return h;

    h.size = pos + 1;
    h.is_variable = p[1] & 1;
    h.number = number;
    h.block = block;
    return h;
}

bool read_stream_info(const uint8_t* p, stream_info_t& info) {
    info.min_block = load_be16(p);
    info.max_block = load_be16(p + 2);
    info.min_frame = uint32_t(p[4]) << 16 | uint32_t(p[5]) << 8 | p[6];
    info.max_frame = uint32_t(p[7]) << 16 | uint32_t(p[8]) << 8 | p[9];
    uint64_t packed = load_be64(p + 10);
    info.sample_rate = uint32_t(packed >> 44);
    info.channels = uint32_t((packed >> 41) & 7) + 1;
    info.bits = uint32_t((packed >> 36) & 31) + 1;
    info.total_samples = packed & 0xFFFFFFFFFull;
    return info.min_block >= 16 && info.max_block >= info.min_block && info.sample_rate != 0 &&
           info.bits >= 4 && (info.max_frame == 0 || info.max_frame >= info.min_frame);
}

bool probe(const uint8_t* head, size_t size) {
    return size >= 8 && head[0] == 'f' && head[1] == 'L' && head[2] == 'a' && head[3] == 'C' &&
           (head[4] & 0x7F) == 0 && head[5] == 0 && head[6] == 0 && head[7] == streaminfo_size;
}

// Continues `crc` over bytes [from, to) of the input.
bool crc_over(carve_input_c& in, uint64_t from, uint64_t to, uint16_t& crc) {
    while (from < to) {
        std::span<const uint8_t> r = in.run(from);
        if (r.empty()) return false;
        size_t n = size_t(std::min<uint64_t>(r.size(), to - from));
        crc = flac_crc16(crc, r.data(), n);
        from += n;
    }
    return true;
}

// The end of the frame at `start`, or 0. Sets `next` to the header that follows, when one does.
uint64_t frame_end(carve_input_c& in, uint64_t start, size_t header_size, uint64_t limit,
                   const stream_info_t& info, const frame_header_t& current, frame_header_t& next) {
    next = {};
    uint64_t expected = current.is_variable ? current.number + current.block : current.number + 1;
    uint64_t stop = std::min(in.size(), start + limit);
    // No frame, the last one included, is shorter than STREAMINFO's minimum frame size.
    uint64_t shortest = std::max<uint64_t>(header_size + 2, info.min_frame);

    // The next frame's header (sync, CRC-8, the expected number) where this frame's CRC holds.
    uint16_t crc = 0;
    uint64_t crc_pos = start;
    for (uint64_t pos = start + shortest; pos < stop;) {
        std::span<const uint8_t> r = in.run(pos);
        if (r.empty()) break;
        size_t n = size_t(std::min<uint64_t>(r.size(), stop - pos));
        const uint8_t* p = r.data();
        const uint8_t* hit = static_cast<const uint8_t*>(std::memchr(p, 0xFF, n));
        if (!hit) {
            pos += n;
            continue;
        }
        uint64_t c = pos + uint64_t(hit - p);
        pos = c + 1;
        size_t avail = size_t(std::min<uint64_t>(in.size() - c, max_frame_header));
        const uint8_t* h = in.at(c, avail);
        if (!h || avail < 2 || (h[1] & 0xFE) != 0xF8) continue;
        frame_header_t candidate = parse_frame_header(h, avail, info);
        if (candidate.size == 0 || candidate.is_variable != current.is_variable ||
            candidate.number != expected)
            continue;
        if (!crc_over(in, crc_pos, c, crc)) break;
        crc_pos = c;
        if (crc == 0) {
            next = candidate;
            return c;
        }
    }

    // No next frame (the last one, or damage follows): the frame ends where its CRC first holds.
    const uint16_t* table = flac_crc16_table();
    crc = 0;
    if (!crc_over(in, start, start + header_size, crc)) return 0;
    for (uint64_t pos = start + header_size; pos < stop;) {
        std::span<const uint8_t> r = in.run(pos);
        if (r.empty()) break;
        size_t n = size_t(std::min<uint64_t>(r.size(), stop - pos));
        for (size_t i = 0; i < n; ++i) {
            crc = uint16_t(crc << 8) ^ table[(crc >> 8) ^ r[i]];
            if (crc == 0 && pos + i + 1 - start >= shortest) return pos + i + 1;
        }
        pos += n;
    }
    return 0;
}

}  // namespace

uint64_t flac_stream_length(carve_input_c& in, uint64_t base) {
    const uint8_t* magic = in.at(base, 8);
    if (!magic || !probe(magic, 8)) return 0;
    uint64_t pos = base + 4;
    stream_info_t info;
    bool is_last = false;
    for (int blocks = 0; !is_last; ++blocks) {
        const uint8_t* b = in.at(pos, 4);
        if (!b || blocks == max_metadata_blocks) return 0;
        unsigned type = b[0] & 0x7F;
        is_last = b[0] & 0x80;
        uint32_t length = uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        if (type == 127 || (blocks == 0) != (type == 0)) return 0;
        if (type == 0) {
            const uint8_t* s = in.at(pos + 4, streaminfo_size);
            if (length != streaminfo_size || !s || !read_stream_info(s, info)) return 0;
        }
        pos += 4 + uint64_t(length);
        if (pos > in.size()) return 0;
    }

    uint64_t limit = info.max_frame != 0
        ? uint64_t(info.max_frame) + max_frame_header
        : uint64_t(info.max_block) * info.channels * (info.bits + 1) / 8 + frame_overhead;
    uint64_t samples = 0, frames = 0;
    const uint8_t* h = in.at(pos, max_frame_header);
    if (!h) return 0;
    frame_header_t header = parse_frame_header(h, max_frame_header, info);
    if (header.number != 0) return 0;
    while (header.size != 0) {
        frame_header_t next;
        uint64_t end = frame_end(in, pos, header.size, limit, info, header, next);
        if (end == 0) break;
        ++frames;
        samples += header.block;
        pos = end;
        if (info.total_samples != 0 && samples >= info.total_samples) break;
        header = next;
    }
    if (frames == 0) return 0;
    return skip_trailing_tags(in, pos) - base;
}

namespace {

carve_result_t carve(carve_input_c& in) {
    uint64_t length = flac_stream_length(in, 0);
    return length != 0 ? carve_result_t{length, "flac"} : carve_result_t{};
}

}  // namespace

const format_t flac_format = {"flac", "f", probe, carve};

}  // namespace ember
