// MPEG audio (layers I-III, MPEG-1/2/2.5): an optional ID3v2 tag, a run of frames whose lengths
// follow from their headers, then optional APEv2 / Lyrics3 / ID3v1 tags. The walk stops at the
// first frame that is damaged, cut short, or differs in version, layer or sample rate; where an
// encoder's info frame states the frame count and the frames stop well short of it, before the
// last frame when that runs on past the sector of its header.
#include <algorithm>

#include "audio_checks.h"
#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

// A bare frame sync is common in random data; this many consistent frames make it a file.
constexpr uint32_t min_bare_frames = 8;
// Fewer are enough when a trailing tag closes the run (a very short file).
constexpr uint32_t min_tagged_frames = 4;
// Behind an ID3v2 tag the frames only have to confirm the tag.
constexpr uint32_t min_frames_after_id3 = 2;
// Some writers pad an ID3v2 tag with zeros beyond its stated size.
constexpr size_t max_id3_slack = 4096;

struct mpeg_frame_t {
    uint32_t length = 0;  // 0: not a frame header
    uint32_t stream = 0;  // version, layer and sample-rate bits, which stay fixed in a file
};

constexpr uint16_t bitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 II, III
};
constexpr uint32_t sample_rates[3] = {44100, 48000, 32000};

mpeg_frame_t parse_frame(const uint8_t* h) {
    mpeg_frame_t f;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return f;
    unsigned version = (h[1] >> 3) & 3;  // 0: 2.5, 1: reserved, 2: 2, 3: 1
    unsigned layer = (h[1] >> 1) & 3;    // 1: III, 2: II, 3: I, 0: reserved
    unsigned bitrate_index = h[2] >> 4, rate_index = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrate_index == 0 || bitrate_index == 15 ||
        rate_index == 3 || (h[3] & 3) == 2)
        return f;
    bool is_mpeg1 = version == 3;
    unsigned table = is_mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    uint32_t bitrate = uint32_t(bitrates[table][bitrate_index]) * 1000;
    uint32_t rate = sample_rates[rate_index] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    if (layer == 3)
        f.length = (12 * bitrate / rate + padding) * 4;
    else if (layer == 1 && !is_mpeg1)
        f.length = 72 * bitrate / rate + padding;
    else
        f.length = 144 * bitrate / rate + padding;
    f.stream = uint32_t(h[1] & 0x1E) << 8 | (h[2] & 0x0C);
    return f;
}

// Whether the frame at pos is an encoder's info frame; `frames` (may be null) gets the number of
// frames a Xing or Info header states, 0 when it states none.
bool is_info_frame(carve_input_c& in, uint64_t pos, uint32_t length, uint32_t* frames = nullptr) {
    // The tag sits after the side information (at most 32 bytes) or at 32 for VBRI.
    constexpr size_t window = 4 + 2 + 32 + 4;
    const uint8_t* p = in.at(pos, std::min<size_t>(window, length));
    if (!p || length < window) return false;
    for (size_t at : {13, 15, 21, 23, 36, 38}) {
        uint32_t tag = load_be32(p + at);
        if (tag != fourcc("Xing") && tag != fourcc("Info") && tag != fourcc("VBRI")) continue;
        // Xing and Info: 32-bit flags, then (flag 1) the frame count.
        const uint8_t* count = tag != fourcc("VBRI") && at + 16 <= length ? in.at(pos + at + 4, 8) : nullptr;
        if (frames) *frames = count && (load_be32(count) & 1) ? load_be32(count + 4) : 0;
        return true;
    }
    return false;
}

bool probe(const uint8_t* head, size_t size) {
    if (size >= 10 && head[0] == 'I') return id3v2_tag_size(head, size) != 0;
    if (size < 4) return false;
    mpeg_frame_t first = parse_frame(head);
    if (first.length == 0) return false;
    if (first.length + 4 > size) return true;
    mpeg_frame_t next = parse_frame(head + first.length);
    return next.length != 0 && next.stream == first.stream;
}

carve_result_t carve(carve_input_c& in) {
    uint64_t pos = 0;
    bool has_id3 = false;
    if (const uint8_t* h = in.at(0, 10); h && h[0] == 'I') {
        pos = id3v2_tag_size(h, 10);
        if (pos == 0) return {};
        has_id3 = true;
        if (uint64_t flac = flac_stream_length(in, pos)) return {pos + flac, "flac"};
        std::span<const uint8_t> r = in.run(pos);
        size_t zeros = 0;
        while (zeros < r.size() && zeros < max_id3_slack && r[zeros] == 0) ++zeros;
        pos += zeros;
    }

    uint32_t frames = 0, stream = 0, stated = 0;
    uint64_t last = pos;
    bool is_broken = false;  // stopped at bytes that are no frame of the stream
    for (;;) {
        const uint8_t* h = in.at(pos, 4);
        if (!h) break;
        mpeg_frame_t f = parse_frame(h);
        if (f.length == 0 || (frames != 0 && f.stream != stream)) {
            is_broken = true;
            break;
        }
        if (f.length > in.size() - pos) break;  // a frame cut short by the end of the source
        // An encoder's info frame (Xing, Info, VBRI) opens a file: one after the first frame
        // is the next file.
        if (frames != 0 && is_info_frame(in, pos, f.length)) break;
        if (frames == 0) is_info_frame(in, pos, f.length, &stated);
        stream = f.stream;
        last = pos;
        pos += f.length;
        ++frames;
    }
    if (frames == 0) return {};
    // Frames that stop well short of the count the info frame states (give or take the info
    // frame itself) were cut by other bytes, which begin at a sector boundary: the last frame is
    // the stream's only where it lies in the sector of its header.
    if (is_broken && stated && uint64_t(frames) + 1 < stated && last / 512 != (pos - 1) / 512) {
        --frames;
        return frames >= min_frames_after_id3 ? carve_result_t{last, "mp3"} : carve_result_t{};
    }
    uint64_t end = skip_trailing_tags(in, pos);
    bool is_tagged = end > pos;
    bool is_file = has_id3 ? frames >= min_frames_after_id3 || (frames >= 1 && is_tagged)
                           : frames >= min_bare_frames || (frames >= min_tagged_frames && is_tagged);
    if (!is_file) return {};
    return {end, "mp3"};
}

}  // namespace

const format_t mp3_format = {"mp3", "I\xFF", probe, carve};

}  // namespace ember
