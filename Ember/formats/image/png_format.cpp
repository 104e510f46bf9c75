// PNG, MNG and JNG: chunk by chunk, each checked by its CRC, up to IEND (PNG, JNG) or MEND (MNG).
// A chunk that fails its check ends the file after the last good chunk when image data came
// before it; otherwise the candidate is not kept.
#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/crc32.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

// The format allows chunks up to 2^31-1 bytes.
constexpr uint32_t max_chunk_length = 0x7FFFFFFF;
// Far more chunks than any encoder writes (MNG animations have a few thousand).
constexpr uint32_t max_chunks = 1 << 20;

struct png_kind_t {
    uint8_t lead;
    uint32_t header;       // first chunk
    uint32_t header_size;  // its length
    uint32_t data;         // the chunk that carries the picture
    uint32_t end;          // last chunk
    const char* extension;
};

constexpr png_kind_t kinds[] = {
    {0x89, fourcc("IHDR"), 13, fourcc("IDAT"), fourcc("IEND"), "png"},
    {0x8A, fourcc("MHDR"), 28, 0, fourcc("MEND"), "mng"},
    {0x8B, fourcc("JHDR"), 16, fourcc("JDAT"), fourcc("IEND"), "jng"},
};

const png_kind_t* kind_of(const uint8_t* head) {
    for (const png_kind_t& k : kinds) {
        if (head[0] != k.lead) continue;
        const char* name = k.lead == 0x89 ? "PNG" : k.lead == 0x8A ? "MNG" : "JNG";
        if (std::memcmp(head + 1, name, 3) == 0 && std::memcmp(head + 4, "\x0D\x0A\x1A\x0A", 4) == 0)
            return &k;
    }
    return nullptr;
}

bool is_chunk_type(uint32_t type) {
    for (int shift = 0; shift < 32; shift += 8) {
        uint8_t c = uint8_t(type >> shift);
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

// CRC of the type and data of the chunk at offset; false when it runs past the input.
bool chunk_crc(carve_input_c& in, uint64_t offset, uint32_t length, uint32_t& crc) {
    crc = 0;
    uint64_t pos = offset + 4, end = offset + 8 + uint64_t(length);
    while (pos < end) {
        std::span<const uint8_t> span = in.run(pos);
        if (span.empty()) return false;
        size_t n = size_t(std::min<uint64_t>(span.size(), end - pos));
        crc = crc32_update(crc, span.data(), n);
        pos += n;
    }
    return true;
}

carve_result_t carve_png(carve_input_c& in) {
    const uint8_t* head = in.at(0, 8);
    const png_kind_t* kind = head ? kind_of(head) : nullptr;
    if (!kind) return {};
    uint64_t pos = 8, good_end = 0;
    bool saw_data = kind->data == 0;
    for (uint32_t n = 0; n < max_chunks; ++n) {
        const uint8_t* c = in.at(pos, 8);
        if (!c) break;
        uint32_t length = load_be32(c), type = load_be32(c + 4);
        if (length > max_chunk_length || !is_chunk_type(type)) break;
        if (n == 0 && (type != kind->header || length != kind->header_size)) return {};
        uint32_t crc, stored;
        if (!chunk_crc(in, pos, length, crc) || !in.be32(pos + 8 + uint64_t(length), stored) || crc != stored)
            break;
        pos += 12 + uint64_t(length);
        good_end = pos;
        if (type == kind->data) saw_data = true;
        if (type == kind->end) return length == 0 && saw_data ? carve_result_t{pos, kind->extension} : carve_result_t{};
    }
    if (good_end > 8 && saw_data && kind->data != 0) return {good_end, kind->extension};
    return {};
}

bool probe_png(const uint8_t* head, size_t size) {
    return size >= 16 && kind_of(head) != nullptr;
}

}  // namespace

const format_t png_format = {"png", "\x89\x8A\x8B", probe_png, carve_png};

}  // namespace ember
