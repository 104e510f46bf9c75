// FastTracker 2 module (XM 1.04): a header with the pattern and instrument counts, then each
// pattern (header length + packed size), then each instrument (header, sample headers, sample
// data by the lengths in the sample headers). The end is where the last sample's data ends.
#include <cstring>

#include "audio_types.h"
#include "core/byte_order.h"

namespace ember {
namespace {

constexpr char magic[] = "Extended Module: ";
constexpr size_t magic_size = sizeof magic - 1;
constexpr size_t fixed_header = 60;   // up to the header-size field's start
constexpr uint32_t max_patterns = 256, max_instruments = 128, max_samples = 16;
constexpr uint32_t max_header_size = 4096;
constexpr uint32_t min_pattern_header = 9, min_instrument_header = 29;
constexpr uint32_t sample_header_min = 40;
constexpr uint32_t max_sample_length = 64u << 20;
constexpr uint8_t adpcm_marker = 0xAD;  // ModPlug's 4-bit ADPCM sample packing

bool probe(const uint8_t* head, size_t size) {
    return size >= 64 && std::memcmp(head, magic, magic_size) == 0 && head[37] == 0x1A &&
           load_le16(head + 58) == 0x0104;
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, fixed_header + 20);
    if (!h || !probe(h, fixed_header + 20)) return {};
    uint32_t header_size = load_le32(h + 60);
    uint32_t channels = load_le16(h + 68), patterns = load_le16(h + 70);
    uint32_t instruments = load_le16(h + 72);
    if (header_size < 20 || header_size > max_header_size || channels == 0 || channels > 64 ||
        patterns > max_patterns || instruments > max_instruments)
        return {};
    uint64_t pos = fixed_header + uint64_t(header_size);

    for (uint32_t i = 0; i < patterns; ++i) {
        const uint8_t* p = in.at(pos, min_pattern_header);
        if (!p) return {};
        uint32_t length = load_le32(p);
        uint16_t rows = load_le16(p + 5), packed = load_le16(p + 7);
        if (length < min_pattern_header || length > max_header_size || p[4] != 0 || rows == 0 ||
            rows > 256)
            return {};
        pos += uint64_t(length) + packed;
    }

    for (uint32_t i = 0; i < instruments; ++i) {
        const uint8_t* p = in.at(pos, min_instrument_header);
        if (!p) return {};
        uint32_t length = load_le32(p);
        uint32_t samples = load_le16(p + 27);
        if (length < min_instrument_header || length > max_header_size || samples > max_samples)
            return {};
        if (samples == 0) {
            pos += length;
            continue;
        }
        uint32_t sample_header;
        if (length < min_instrument_header + 4 || !in.le32(pos + 29, sample_header) ||
            sample_header < sample_header_min || sample_header > max_header_size)
            return {};
        pos += length;
        uint64_t data = 0;
        for (uint32_t s = 0; s < samples; ++s) {
            const uint8_t* sh = in.at(pos, sample_header_min);
            if (!sh) return {};
            uint32_t bytes = load_le32(sh);
            if (bytes > max_sample_length || (sh[14] & 3) == 3) return {};
            data += sh[17] == adpcm_marker ? (uint64_t(bytes) + 1) / 2 + 16 : bytes;
            pos += sample_header;
        }
        pos += data;
    }
    if (pos > in.size()) return {};  // cut short: the last samples are missing
    return {pos, "xm"};
}

}  // namespace

const format_t xm_format = {"xm", "E", probe, carve};

}  // namespace ember
