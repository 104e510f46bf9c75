// Monkey's Audio (version 3.98 and later): a descriptor that states the size of every part of
// the file (descriptor, header, seek table, stored WAV header, frame data, trailing WAV data),
// so the end is their sum, followed by any APEv2 / ID3v1 tags. The seek table must rise through
// the frame data. Older files state no frame-data size and are left alone.
#include "audio_checks.h"
#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

constexpr uint16_t min_descriptor_version = 3980, max_version = 5000;
constexpr uint32_t min_descriptor = 52, min_header = 24, max_part = 64 * 1024;
constexpr uint32_t max_channels = 32;
constexpr uint32_t max_frames = 1u << 24;
constexpr uint32_t max_checked_entries = 16384;

bool probe(const uint8_t* head, size_t size) {
    if (size < 8 || load_be32(head) != fourcc("MAC ")) return false;
    uint16_t version = load_le16(head + 4);
    return version >= min_descriptor_version && version <= max_version;
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* d = in.at(0, min_descriptor);
    if (!d || !probe(d, min_descriptor)) return {};
    uint32_t descriptor = load_le32(d + 8), header = load_le32(d + 12);
    uint32_t seek_table = load_le32(d + 16), wav_header = load_le32(d + 20);
    uint64_t frame_data = load_le32(d + 24) | uint64_t(load_le32(d + 28)) << 32;
    uint32_t terminating = load_le32(d + 32);
    if (descriptor < min_descriptor || descriptor > max_part || header < min_header ||
        header > max_part || (seek_table & 3) || frame_data == 0)
        return {};

    const uint8_t* h = in.at(descriptor, min_header);
    if (!h) return {};
    uint16_t level = load_le16(h);
    uint32_t frame_blocks = load_le32(h + 4), final_blocks = load_le32(h + 8);
    uint32_t frames = load_le32(h + 12);
    uint16_t bits = load_le16(h + 16), channels = load_le16(h + 18);
    uint32_t rate = load_le32(h + 20);
    if (level == 0 || level % 1000 != 0 || level > 5000 || frames == 0 || frames > max_frames ||
        frame_blocks == 0 || final_blocks == 0 || final_blocks > frame_blocks ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32) || channels == 0 ||
        channels > max_channels || rate == 0 || uint64_t(seek_table) < uint64_t(frames) * 4)
        return {};

    uint64_t audio_start = uint64_t(descriptor) + header + seek_table + wav_header;
    uint64_t audio_end = audio_start + frame_data;
    // Seek entries are file offsets of the frames: rising, inside the frame data.
    uint64_t table = uint64_t(descriptor) + header;
    uint32_t previous = 0;
    for (uint32_t i = 0; i < frames && i < max_checked_entries; ++i) {
        uint32_t entry;
        if (!in.le32(table + uint64_t(i) * 4, entry)) return {};
        if (entry < audio_start || entry >= audio_end || entry < previous) return {};
        previous = entry;
    }
    uint64_t end = audio_end + terminating;
    if (end > in.size()) return {in.size(), "ape"};
    return {skip_trailing_tags(in, end), "ape"};
}

}  // namespace

const format_t ape_format = {"ape", "M", probe, carve};

}  // namespace ember
