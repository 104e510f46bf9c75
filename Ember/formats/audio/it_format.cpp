// Impulse Tracker module ("IMPM"): the header's order list and offset tables point at every
// instrument, sample header and pattern; sample headers point at their data. The file ends at
// the furthest byte any of them reaches.
#include <algorithm>

#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

constexpr size_t header_size = 0xC0;
constexpr uint32_t max_orders = 256, max_instruments = 256, max_samples = 256;
constexpr uint32_t max_patterns = 256;
constexpr uint32_t instrument_size = 554;
constexpr uint32_t sample_header_size = 80;
constexpr uint32_t max_sample_frames = 64u << 20;
constexpr uint64_t max_module = uint64_t(1) << 31;
constexpr uint16_t flag_16bit = 0x02, flag_stereo = 0x04, flag_compressed = 0x08;
constexpr uint32_t max_compressed_blocks = 1u << 16;

bool probe(const uint8_t* head, size_t size) {
    if (size < header_size || load_be32(head) != fourcc("IMPM")) return false;
    return load_le16(head + 0x20) <= max_orders && load_le16(head + 0x22) <= max_instruments &&
           load_le16(head + 0x24) <= max_samples && load_le16(head + 0x26) <= max_patterns;
}

// Compressed samples are blocks of 0x8000 bytes of decoded data, each stored with a 16-bit size.
bool compressed_end(carve_input_c& in, uint64_t pos, uint64_t frames, bool is_16bit,
                    bool is_stereo, uint64_t& end) {
    uint64_t per_block = is_16bit ? 0x4000 : 0x8000;
    uint64_t blocks = (frames + per_block - 1) / per_block * (is_stereo ? 2 : 1);
    if (blocks > max_compressed_blocks) return false;
    for (uint64_t b = 0; b < blocks; ++b) {
        uint16_t size;
        if (!in.le16(pos, size)) return false;
        pos += 2 + uint64_t(size);
    }
    end = pos;
    return true;
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, header_size);
    if (!h || !probe(h, header_size)) return {};
    uint32_t orders = load_le16(h + 0x20), instruments = load_le16(h + 0x22);
    uint32_t samples = load_le16(h + 0x24), patterns = load_le16(h + 0x26);
    uint16_t special = load_le16(h + 0x2E);
    uint64_t tables = header_size + orders;
    uint64_t tables_end = tables + 4 * (uint64_t(instruments) + samples + patterns);
    uint64_t furthest = tables_end;
    if (special & 1) {
        uint64_t message_end = uint64_t(load_le32(h + 0x38)) + load_le16(h + 0x36);
        furthest = std::max(furthest, message_end);
    }

    auto offset_at = [&](uint64_t index, uint32_t& offset) {
        return in.le32(tables + 4 * index, offset) && (offset == 0 || offset >= tables_end) &&
               offset < max_module;
    };
    for (uint32_t i = 0; i < instruments; ++i) {
        uint32_t offset;
        if (!offset_at(i, offset) || offset == 0) return {};
        uint32_t tag;
        if (!in.be32(offset, tag) || tag != fourcc("IMPI")) return {};
        furthest = std::max(furthest, uint64_t(offset) + instrument_size);
    }
    for (uint32_t i = 0; i < samples; ++i) {
        uint32_t offset;
        if (!offset_at(uint64_t(instruments) + i, offset) || offset == 0) return {};
        const uint8_t* s = in.at(offset, sample_header_size);
        if (!s || load_be32(s) != fourcc("IMPS")) return {};
        furthest = std::max(furthest, uint64_t(offset) + sample_header_size);
        uint8_t flags = s[0x12];
        uint32_t frames = load_le32(s + 0x30), pointer = load_le32(s + 0x48);
        if (!(flags & 1) || frames == 0) continue;  // no sample data
        if (frames > max_sample_frames || pointer < tables_end || pointer >= max_module) return {};
        bool is_16bit = flags & flag_16bit, is_stereo = flags & flag_stereo;
        uint64_t end;
        if (flags & flag_compressed) {
            if (!compressed_end(in, pointer, frames, is_16bit, is_stereo, end)) return {};
        } else {
            end = pointer + uint64_t(frames) * (is_16bit ? 2 : 1) * (is_stereo ? 2 : 1);
        }
        furthest = std::max(furthest, end);
    }
    for (uint32_t i = 0; i < patterns; ++i) {
        uint32_t offset;
        if (!offset_at(uint64_t(instruments) + samples + i, offset)) return {};
        if (offset == 0) continue;  // an empty pattern
        uint16_t packed;
        if (!in.le16(offset, packed)) return {};
        furthest = std::max(furthest, uint64_t(offset) + 8 + packed);
    }
    if (furthest > in.size()) return {};  // cut short: the end of the module is missing
    return {furthest, "it"};
}

}  // namespace

const format_t it_format = {"it", "I", probe, carve};

}  // namespace ember
