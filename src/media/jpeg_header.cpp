// Walks a JPEG's marker segments up to its frame header (ITU T.81, B.1.1): every segment before
// it has a two-byte length, so the walk never looks at entropy-coded data. On the way it reads
// the Exif block (APP1 "Exif\0\0", a TIFF structure whose second IFD holds the thumbnail's
// offset, tag 0x0201, and length, tag 0x0202, counted from the TIFF header). A thumbnail is
// offered only when it is whole.
#include "media/jpeg_header.h"

#include <cstring>

#include "core/byte_reader.h"

using ember::byte_reader_c;

namespace {

constexpr uint8_t marker_soi = 0xD8, marker_eoi = 0xD9, marker_sos = 0xDA, marker_app1 = 0xE1;
constexpr uint8_t exif_signature[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint16_t tiff_magic = 42;
constexpr uint16_t tag_thumbnail_offset = 0x0201, tag_thumbnail_length = 0x0202;
constexpr uint16_t tag_make = 0x010F, tag_model = 0x0110, tag_exif_ifd = 0x8769, tag_date_original = 0x9003;
constexpr uint16_t type_ascii = 2, type_short = 3, type_long = 4;
constexpr size_t ifd_entry_bytes = 12;
// Real IFDs hold a few dozen entries; more than this is damage, not a camera.
constexpr uint16_t max_ifd_entries = 1000;
// A whole thumbnail ends with its end-of-image marker, a little before the end of its block when
// the camera padded it. Some cameras cut their thumbnail short; decoded, it would show grey.
constexpr size_t max_thumbnail_tail = 32;

// SOF0 to SOF15 without DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool is_frame_marker(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// RST0 to RST7 and TEM stand alone, without a length.
bool is_standalone_marker(uint8_t marker) { return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01; }

// Whether a thumbnail's last bytes, past any 0x00 or 0xFF padding, hold its end-of-image marker.
bool ends_with_end_marker(const uint8_t* bytes, size_t size) {
    size_t end = size;
    while (end > 2 && (bytes[end - 1] == 0x00 || bytes[end - 1] == 0xFF)) --end;
    for (size_t i = end > max_thumbnail_tail ? end - max_thumbnail_tail : 0; i + 1 < end; ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == marker_eoi) return true;
    return false;
}

// The thumbnail of an Exif block (`tiff` is the TIFF structure); false when there is none that
// lies wholly inside the block.
bool find_exif_thumbnail(const uint8_t* tiff, size_t size, size_t& offset, size_t& length) {
    byte_reader_c r(tiff, size);
    uint16_t order = r.be16();
    bool is_big_endian = order == 0x4D4D;  // "MM"; "II" is little-endian
    if (!is_big_endian && order != 0x4949) return false;
    auto u16 = [&] { return is_big_endian ? r.be16() : r.le16(); };
    auto u32 = [&] { return is_big_endian ? r.be32() : r.le32(); };
    if (u16() != tiff_magic) return false;
    r.seek(u32());
    uint16_t count = u16();
    if (count > max_ifd_entries) return false;
    r.skip(count * ifd_entry_bytes);
    uint32_t second_ifd = u32();
    if (!r.ok() || second_ifd == 0) return false;
    r.seek(second_ifd);
    count = u16();
    if (count > max_ifd_entries) return false;
    uint32_t start = 0, bytes = 0;
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        uint16_t tag = u16();
        uint16_t type = u16();
        r.skip(4);  // the value count
        uint32_t value = 0;
        if (type == type_short) {
            value = u16();
            r.skip(2);
        } else if (type == type_long) {
            value = u32();
        } else {
            r.skip(4);
            continue;
        }
        if (tag == tag_thumbnail_offset) start = value;
        if (tag == tag_thumbnail_length) bytes = value;
    }
    if (!r.ok() || bytes < 2 || start > size || bytes > size - start) return false;
    if (tiff[start] != 0xFF || tiff[start + 1] != marker_soi || !ends_with_end_marker(tiff + start, bytes))
        return false;
    offset = start;
    length = bytes;
    return true;
}

// Copies an ASCII entry's value into `out` (terminated, cut to fit); values of up to four bytes
// stand in the entry itself, longer ones at an offset from the TIFF header.
void copy_ascii(const uint8_t* tiff, size_t size, uint32_t count, uint32_t value_offset, const uint8_t* inline_value,
                char* out, size_t capacity) {
    const uint8_t* value = inline_value;
    if (count > 4) {
        if (value_offset > size || count > size - value_offset) return;
        value = tiff + value_offset;
    }
    size_t n = 0;
    while (n + 1 < capacity && n < count && value[n] != 0) {
        out[n] = value[n] >= 0x20 && value[n] < 0x7F ? char(value[n]) : '?';
        ++n;
    }
    out[n] = '\0';
}

// Make and Model from IFD0, DateTimeOriginal from the Exif IFD it points to.
void read_exif_facts(const uint8_t* tiff, size_t size, jpeg_header_t& header) {
    byte_reader_c r(tiff, size);
    uint16_t order = r.be16();
    bool is_big_endian = order == 0x4D4D;
    if (!is_big_endian && order != 0x4949) return;
    auto u16 = [&] { return is_big_endian ? r.be16() : r.le16(); };
    auto u32 = [&] { return is_big_endian ? r.be32() : r.le32(); };
    if (u16() != tiff_magic) return;
    uint32_t ifd = u32();
    // IFD0, then the Exif IFD; two steps, so a pointer back to IFD0 cannot loop.
    for (int step = 0; step < 2 && ifd != 0 && r.ok(); ++step) {
        r.seek(ifd);
        ifd = 0;
        uint16_t count = u16();
        if (count > max_ifd_entries) return;
        for (uint16_t i = 0; i < count && r.ok(); ++i) {
            uint16_t tag = u16();
            uint16_t type = u16();
            uint32_t values = u32();
            const uint8_t* inline_value = r.need(4) ? r.here() : nullptr;
            uint32_t value = u32();
            if (!r.ok()) return;
            if (step == 0 && tag == tag_exif_ifd && type == type_long) ifd = value;
            if (type != type_ascii) continue;
            if (step == 0 && tag == tag_make) copy_ascii(tiff, size, values, value, inline_value, header.make, sizeof header.make);
            if (step == 0 && tag == tag_model) copy_ascii(tiff, size, values, value, inline_value, header.model, sizeof header.model);
            if (step == 1 && tag == tag_date_original)
                copy_ascii(tiff, size, values, value, inline_value, header.date_taken, sizeof header.date_taken);
        }
    }
}

}  // namespace

jpeg_header_result_t read_jpeg_header(const uint8_t* data, size_t size, jpeg_header_t& header) {
    header = {};
    bool is_exif_read = false;
    if (!data || size < 2 || data[0] != 0xFF || data[1] != marker_soi)
        return jpeg_header_result_t::not_this_format;
    byte_reader_c r(data + 2, size - 2);
    for (;;) {
        if (r.u8() != 0xFF) return r.ok() ? jpeg_header_result_t::corrupt : jpeg_header_result_t::truncated;
        uint8_t marker = r.u8();
        while (r.ok() && marker == 0xFF) marker = r.u8();  // fill bytes before a marker
        if (!r.ok()) return jpeg_header_result_t::truncated;
        if (is_standalone_marker(marker)) continue;
        // Nothing but a frame header may end the tables before the first scan.
        if (marker == marker_soi || marker == marker_eoi || marker == marker_sos || marker == 0)
            return jpeg_header_result_t::corrupt;
        uint16_t length = r.be16();
        if (!r.ok()) return jpeg_header_result_t::truncated;
        if (length < 2) return jpeg_header_result_t::corrupt;
        size_t body_size = length - 2u;
        if (!r.need(body_size)) return jpeg_header_result_t::truncated;
        if (is_frame_marker(marker)) {
            byte_reader_c frame(r.here(), body_size);
            frame.u8();  // sample precision
            header.height = frame.be16();
            header.width = frame.be16();
            // A height of 0 defers it to a DNL marker after the first scan; not read here.
            if (!frame.ok() || header.width == 0 || header.height == 0) {
                header.width = header.height = 0;
                header.thumbnail_offset = header.thumbnail_size = 0;
                return jpeg_header_result_t::corrupt;
            }
            return jpeg_header_result_t::ok;
        }
        if (marker == marker_app1 && !is_exif_read && body_size >= sizeof exif_signature &&
            std::memcmp(r.here(), exif_signature, sizeof exif_signature) == 0) {
            is_exif_read = true;
            size_t offset = 0, length_in_tiff = 0;
            const uint8_t* tiff = r.here() + sizeof exif_signature;
            read_exif_facts(tiff, body_size - sizeof exif_signature, header);
            if (find_exif_thumbnail(tiff, body_size - sizeof exif_signature, offset, length_in_tiff)) {
                header.thumbnail_offset = static_cast<size_t>(tiff - data) + offset;
                header.thumbnail_size = length_in_tiff;
            }
        }
        r.skip(body_size);
    }
}
