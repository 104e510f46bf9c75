// PNG, MNG and JNG: chunk by chunk, each checked by its CRC, up to IEND (PNG, JNG) or MEND (MNG).
// A chunk that fails its check ends the file after the last good chunk when image data came
// before it; otherwise the candidate is not kept. What a chunk's check reads is bounded by what
// the file can hold: no chunk runs past the card, image data is no larger than the picture's
// samples stored uncompressed, other chunks no larger than 16 MiB, and a chunk whose data holds
// the start of another PNG, MNG or JNG on a sector boundary is not intact (that file was written
// over it, or the card is crafted so that every sector's check would read the same far bytes).
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
// Metadata chunks (ICC profiles, text, EXIF, XMP) are far smaller.
constexpr uint32_t max_other_chunk = 16 << 20;
// Slack over the uncompressed samples for deflate's stored blocks (5 bytes per 65,535), the zlib
// header and checksum.
constexpr uint64_t stored_slack = 64 * 1024;
constexpr uint64_t sector = 512;

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

// The largest image data a header's picture can take: its samples with a filter byte per row
// (and per row of each interlace pass), stored without compression. 0 for a chunk that is not a
// picture header.
uint64_t max_image_data(uint32_t type, const uint8_t* body) {
    // The format's limit on each side; within it nothing below overflows.
    uint64_t width = std::min<uint32_t>(load_be32(body), max_chunk_length);
    uint64_t height = std::min<uint32_t>(load_be32(body + 4), max_chunk_length);
    if (height == 0 || width == 0) return 0;
    if (type == fourcc("IHDR")) {
        static const uint8_t channels[7] = {1, 0, 3, 1, 2, 0, 4};
        uint8_t depth = body[8], color = body[9];
        uint64_t bits = (color < 7 ? channels[color] : 4) * uint64_t(depth ? depth : 16);
        uint64_t row = (width * bits + 7) / 8 + 8;  // below 2^39
        if (row > ~uint64_t(0) / 2 / height) return ~uint64_t(0) / 2;
        return height * row + height * row / 1024 + stored_slack;
    }
    // JNG: JPEG data for colour and alpha, generously at 16 bits for each of four channels.
    if (type == fourcc("JHDR")) return std::min(width * height, uint64_t(1) << 59) * 8 + stored_slack;
    return 0;
}

bool is_image_data(uint32_t type) {
    return type == fourcc("IDAT") || type == fourcc("fdAT") || type == fourcc("JDAT") || type == fourcc("JDAA");
}

// CRC of the type and data of the chunk at offset; false when it runs past the input or its
// data holds another file's signature at a sector boundary of the candidate.
bool chunk_crc(carve_input_c& in, uint64_t offset, uint32_t length, uint32_t& crc) {
    crc = 0;
    uint64_t pos = offset + 4, end = offset + 8 + uint64_t(length);
    while (pos < end) {
        std::span<const uint8_t> span = in.run(pos);
        if (span.empty()) return false;
        size_t n = size_t(std::min<uint64_t>(span.size(), end - pos));
        // Each piece but the last ends on a sector boundary, so that every boundary is looked
        // at with the signature's bytes in the same piece.
        if (pos + n < end && n > sector) n -= size_t((pos + n) % sector);
        for (uint64_t b = (pos + sector - 1) / sector * sector; b + 8 <= pos + n; b += sector)
            if (kind_of(span.data() + (b - pos))) return false;
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
    uint64_t data_limit = 0, data_seen = 0;  // image data the last picture header allows, and taken
    bool saw_data = kind->data == 0;
    for (uint32_t n = 0; n < max_chunks; ++n) {
        const uint8_t* c = in.at(pos, 8);
        if (!c) break;
        uint32_t length = load_be32(c), type = load_be32(c + 4);
        if (length > max_chunk_length || !is_chunk_type(type)) break;
        if (n == 0 && (type != kind->header || length != kind->header_size)) return {};
        // A chunk that runs past the card, or is larger than its kind can be, ends the file
        // before it is read.
        if (pos + 12 + uint64_t(length) > in.size()) break;
        if (is_image_data(type) ? data_seen + length > data_limit : length > max_other_chunk) break;
        uint32_t crc, stored;
        if (!chunk_crc(in, pos, length, crc) || !in.be32(pos + 8 + uint64_t(length), stored) || crc != stored)
            break;
        if (type == fourcc("IHDR") || type == fourcc("JHDR")) {
            const uint8_t* body = length >= 10 ? in.at(pos + 8, 10) : nullptr;
            if (!body) break;
            data_limit = max_image_data(type, body);
            data_seen = 0;
        }
        if (type == fourcc("DHDR")) data_seen = 0;  // an MNG delta image brings data of its own
        if (is_image_data(type)) data_seen += length;
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
