#include "picture/picture_bytes.h"

#include <cstring>

#include "core/byte_reader.h"

using ember::byte_reader_c;
using result_t = picture_bytes_result_t;

namespace {

// Found pictures are at most 64 MiB, and no real picture has more pixels than this.
constexpr uint64_t max_pixels = uint64_t(1) << 28;

void append(std::vector<uint8_t>& out, const uint8_t* bytes, size_t size) { out.insert(out.end(), bytes, bytes + size); }

// JPEG (ITU T.81 annex B): segments with a two-byte length up to each scan, entropy-coded data
// up to the next marker that is not a restart or a stuffed 0xFF. Kept: tables, frame, scans, the
// JFIF (APP0) and Adobe (APP14, colour transform) blocks; dropped: the other application blocks
// (Exif and its preview, ICC profiles, maker data) and comments, which decoding does not need.
// A file cut short ends at its last whole segment or in its scan data, and gets an end marker.
namespace jpeg {

constexpr uint8_t soi = 0xD8, eoi = 0xD9, sos = 0xDA, app0 = 0xE0, app14 = 0xEE, com = 0xFE;

bool is_frame(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }
bool is_restart(uint8_t m) { return m >= 0xD0 && m <= 0xD7; }
bool is_dropped(uint8_t m) { return (m >= 0xE1 && m <= 0xEF && m != app14) || m == com; }

// The end of entropy-coded data starting at `at`: the first marker (or the 0xFF that the data
// ends in, a marker cut short), or `size` when none follows.
size_t scan_end(const uint8_t* data, size_t size, size_t at) {
    size_t i = at;
    while (i < size) {
        if (data[i] != 0xFF) {
            ++i;
        } else if (i + 1 < size && (data[i + 1] == 0x00 || is_restart(data[i + 1]))) {
            i += 2;  // a stuffed byte or a restart marker, both part of the scan
        } else {
            return i;
        }
    }
    return size;
}

result_t prepare(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    const uint8_t start[2] = {0xFF, soi}, end[2] = {0xFF, eoi};
    append(out, start, 2);
    size_t pos = 2;
    bool has_frame = false, has_scan = false, is_whole = false;
    result_t result = result_t::ok;
    while (!is_whole) {
        if (pos >= size) {
            result = result_t::truncated;
            break;
        }
        if (data[pos] != 0xFF) {
            result = result_t::corrupt;
            break;
        }
        while (pos < size && data[pos] == 0xFF) ++pos;  // fill bytes before a marker
        if (pos >= size) {
            result = result_t::truncated;
            break;
        }
        uint8_t marker = data[pos++];
        if (marker == eoi) {
            is_whole = true;
            break;
        }
        if (is_restart(marker) || marker == 0x01) continue;  // stand-alone, nothing to keep
        if (marker == soi || marker == 0x00) {
            result = result_t::corrupt;
            break;
        }
        if (size - pos < 2) {
            result = result_t::truncated;
            break;
        }
        size_t length = (size_t(data[pos]) << 8) | data[pos + 1];
        if (length < 2) {
            result = result_t::corrupt;
            break;
        }
        if (length > size - pos) {
            result = result_t::truncated;
            break;
        }
        const uint8_t* body = data + pos + 2;
        size_t body_size = length - 2;
        if (is_frame(marker)) {
            // Precision, height, width, components, and three bytes a component. A height of 0
            // (set later by a DNL marker) is left alone; so is a second frame.
            if (has_frame || body_size < 6 || body_size != 6 + 3 * size_t(body[5]) || body[5] == 0 ||
                ((body[1] << 8) | body[2]) == 0 || ((body[3] << 8) | body[4]) == 0) {
                result = result_t::corrupt;
                break;
            }
            has_frame = true;
        }
        if (marker == sos && (!has_frame || body_size < 1 || body[0] == 0 || body[0] > 4 ||
                              body_size != 4 + 2 * size_t(body[0]))) {
            result = result_t::corrupt;
            break;
        }
        if (!is_dropped(marker)) {
            const uint8_t head[2] = {0xFF, marker};
            append(out, head, 2);
            append(out, data + pos, length);
        }
        pos += length;
        if (marker == sos) {
            has_scan = true;
            size_t scan_stop = scan_end(data, size, pos);
            append(out, data + pos, scan_stop - pos);
            pos = scan_stop;
        }
    }
    // Without a scan there are no pixels to show.
    if (!has_scan) {
        out.clear();
        return result == result_t::ok ? result_t::truncated : result;
    }
    append(out, end, 2);
    return is_whole ? result_t::ok : result_t::truncated;
}

}  // namespace jpeg

// PNG (ISO 15948): the signature and chunks of length, type, data and CRC. Kept: the critical
// chunks and tRNS (transparency); dropped: the other ancillary chunks (text, profiles, time).
// A file cut short ends at its last whole chunk and gets an IEND chunk.
namespace png {

constexpr uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t iend_chunk[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
constexpr uint32_t max_chunk_length = 0x7FFFFFFF;  // the standard's limit

result_t prepare(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    append(out, signature, sizeof signature);
    byte_reader_c r(data + sizeof signature, size - sizeof signature);
    bool has_header = false, has_data = false, is_whole = false;
    result_t result = result_t::ok;
    while (!is_whole) {
        if (r.left() == 0) {
            result = result_t::truncated;
            break;
        }
        const uint8_t* chunk = r.here();
        uint32_t length = r.be32();
        uint8_t type[4] = {r.u8(), r.u8(), r.u8(), r.u8()};
        if (!r.ok() || length > max_chunk_length) {
            result = r.ok() ? result_t::corrupt : result_t::truncated;
            break;
        }
        if (!r.need(size_t(length) + 4)) {
            result = result_t::truncated;
            break;
        }
        bool is_header = std::memcmp(type, "IHDR", 4) == 0;
        if (is_header != !has_header) {  // IHDR comes first and only once
            result = result_t::corrupt;
            break;
        }
        if (is_header) {
            byte_reader_c h(r.here(), length);
            uint32_t width = h.be32(), height = h.be32();
            if (length != 13 || width == 0 || height == 0 || uint64_t(width) * height > max_pixels) {
                result = result_t::corrupt;
                break;
            }
            has_header = true;
        }
        if (std::memcmp(type, "IDAT", 4) == 0) has_data = true;
        is_whole = std::memcmp(type, "IEND", 4) == 0;
        bool is_critical = (type[0] & 0x20) == 0;
        if ((is_critical || std::memcmp(type, "tRNS", 4) == 0) && !is_whole)
            append(out, chunk, 8 + size_t(length) + 4);
        r.skip(size_t(length) + 4);
    }
    if (!has_data || result == result_t::corrupt) {
        out.clear();
        return result == result_t::ok ? result_t::truncated : result;
    }
    append(out, iend_chunk, sizeof iend_chunk);
    return result;
}

}  // namespace png

// GIF (GIF89a layout): screen descriptor and colour table, then extension and image
// blocks made of sub-blocks. Kept: up to the first image, with the graphic control extension
// (transparency) before it; an image cut short ends at its last whole sub-block. A trailer
// closes the copy.
namespace gif {

constexpr uint8_t extension = 0x21, image = 0x2C, trailer = 0x3B, graphic_control = 0xF9;
constexpr size_t screen_bytes = 13, descriptor_bytes = 10;

size_t colour_table_bytes(uint8_t flags) { return (flags & 0x80) ? 3 * (size_t(2) << (flags & 7)) : 0; }

// Copies whole sub-blocks from `r` while `keep`; false when the data ends before the terminator.
bool copy_sub_blocks(byte_reader_c& r, std::vector<uint8_t>& out, bool keep) {
    for (;;) {
        const uint8_t* block = r.here();
        uint8_t length = r.u8();
        if (!r.ok() || !r.need(length)) return false;
        if (keep) append(out, block, 1 + size_t(length));
        r.skip(length);
        if (length == 0) return true;
    }
}

result_t prepare(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    byte_reader_c r(data, size);
    r.skip(6);  // signature and version
    uint16_t width = r.le16(), height = r.le16();
    uint8_t flags = r.u8();
    r.skip(2);
    if (!r.ok() || !r.need(colour_table_bytes(flags))) return result_t::truncated;
    if (width == 0 || height == 0) return result_t::corrupt;
    r.skip(colour_table_bytes(flags));
    append(out, data, r.pos());
    for (;;) {
        const uint8_t* block = r.here();
        uint8_t introducer = r.u8();
        if (!r.ok()) break;
        if (introducer == extension) {
            uint8_t label = r.u8();
            if (!r.ok()) break;
            if (label == graphic_control) append(out, block, 2);
            size_t mark = out.size();
            if (!copy_sub_blocks(r, out, label == graphic_control)) {
                out.resize(mark - (label == graphic_control ? 2 : 0));
                break;
            }
            continue;
        }
        if (introducer != image) {
            out.clear();
            return result_t::corrupt;
        }
        r.skip(descriptor_bytes - 1 - 1);
        uint8_t image_flags = r.u8();
        r.skip(colour_table_bytes(image_flags));
        uint8_t code_size = r.u8();
        if (!r.ok()) break;
        if (code_size < 1 || code_size > 11) {
            out.clear();
            return result_t::corrupt;
        }
        append(out, block, r.pos() - size_t(block - data));
        bool is_whole = copy_sub_blocks(r, out, true);
        if (!is_whole) out.push_back(0);  // the terminator the file lost
        out.push_back(trailer);
        return is_whole ? result_t::ok : result_t::truncated;
    }
    out.clear();
    return r.ok() ? result_t::corrupt : result_t::truncated;
}

}  // namespace gif

}  // namespace

picture_bytes_result_t prepare_picture_bytes(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    out.clear();
    if (!data) return result_t::not_this_format;
    auto starts_with = [&](const char* magic, size_t n) { return size >= n && std::memcmp(data, magic, n) == 0; };
    result_t result = result_t::not_this_format;
    try {
        if (size >= 2 && data[0] == 0xFF && data[1] == jpeg::soi) {
            result = jpeg::prepare(data, size, out);
        } else if (size >= 8 && std::memcmp(data, png::signature, 8) == 0) {
            result = png::prepare(data, size, out);
        } else if (starts_with("GIF87a", 6) || starts_with("GIF89a", 6)) {
            result = gif::prepare(data, size, out);
        } else if (starts_with("BM", 2) || starts_with("II*\0", 4) || starts_with("MM\0*", 4)) {
            result = size < 16 ? result_t::truncated : result_t::ok;
            if (result == result_t::ok) append(out, data, size);
        }
    } catch (...) {  // no memory for the copy
        out.clear();
        result = result_t::corrupt;
    }
    return result;
}
