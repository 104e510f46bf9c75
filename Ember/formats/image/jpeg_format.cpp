// JPEG (JFIF, EXIF, camera JPEGs): the end is the EOI that follows the last scan, found by
// walking the marker segments by their lengths (so an EXIF thumbnail's EOI inside APP1 is skipped)
// and scanning entropy-coded data for the next marker. Multi-picture files (MPF in APP2) extend to
// the furthest image their index points to.
#include <algorithm>
#include <cstring>

#include "core/byte_reader.h"
#include "core/byte_order.h"
#include "formats/image/image_types.h"
#include "formats/image/jpeg_markers.h"

namespace ember {
namespace {

// No camera writes a JPEG of this size; data that still looks like entropy-coded bytes past it
// is not one picture.
constexpr uint64_t max_jpeg_size = uint64_t(1) << 30;
// Segments (APPn, DQT, DHT, SOS, ...) in one file: progressive files have a few dozen.
constexpr int max_segments = 4096;
// A cut picture is worth keeping once its headers were sound and this much scan data followed.
constexpr uint64_t min_scan_bytes = 1024;
// A whole sector of zero bytes in entropy-coded data is usually erased or unwritten space, but
// encoders do write long zero runs for flat areas. So the scan goes on past it, and the picture
// is cut at the first zero sector only if the data after it turns out not to be this picture.
constexpr uint64_t sector = 512;

enum class scan_end { marker, cut, truncated, too_long };

struct jpeg_state_t {
    bool saw_sof = false;
    bool saw_dqt = false;
    int scans = 0;
    uint64_t mpf_header = 0;  // offset of the MPF TIFF header, 0 when none
    bool pads_with_zeros = false;
};

// Sony cameras that write multi-picture files pad them to the next multiple of 32 KiB with
// zeros (A57, A6400) or FF bytes (A55); the padding is part of the file they wrote.
constexpr uint64_t sony_padding = 32 * 1024;

// True when the EXIF block (APP1 body after "Exif\0\0") names a maker that pads its files.
bool exif_maker_pads(const uint8_t* tiff, size_t size) {
    constexpr uint16_t tag_make = 271, type_ascii = 2;
    byte_reader_c r(tiff, size);
    uint16_t order = r.le16();
    bool little = order == 0x4949;
    if (!little && order != 0x4D4D) return false;
    auto u16 = [&] { return little ? r.le16() : r.be16(); };
    auto u32 = [&] { return little ? r.le32() : r.be32(); };
    u16();
    r.seek(u32());
    uint16_t count = u16();
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        uint16_t tag = u16(), type = u16();
        uint32_t n = u32(), value = u32();
        if (tag != tag_make || type != type_ascii || n < 5) continue;
        const uint8_t* make = n <= 4 ? nullptr : (value <= size && size - value >= 4 ? tiff + value : nullptr);
        return make && std::memcmp(make, "SONY", 4) == 0;
    }
    return false;
}

// The end of the zero padding after a picture that ends at end, or end when there is none.
uint64_t after_padding(carve_input_c& in, uint64_t end) {
    uint64_t boundary = (end + sony_padding - 1) / sony_padding * sony_padding;
    const uint8_t* first = in.at(end, 1);
    if (!first || (*first != 0x00 && *first != 0xFF)) return end;
    uint8_t fill = *first;
    for (uint64_t pos = end; pos < boundary;) {
        std::span<const uint8_t> span = in.run(pos);
        if (span.empty()) return end;
        size_t n = size_t(std::min<uint64_t>(span.size(), boundary - pos));
        for (size_t i = 0; i < n; ++i)
            if (span[i] != fill) return end;
        pos += n;
    }
    return boundary;
}

bool is_zero_sector(carve_input_c& in, uint64_t offset) {
    const uint8_t* p = in.at(offset, sector);
    if (!p) return false;
    for (size_t i = 0; i < sector; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word) return false;
    }
    return true;
}

// Scans entropy-coded data from pos; on a marker, pos is at its FF. On a cut, pos is where the
// valid data stops.
scan_end scan_entropy(carve_input_c& in, uint64_t& pos) {
    uint64_t next_sector = (pos + sector - 1) & ~(sector - 1);
    uint64_t zero_sector = 0;  // the first whole zero sector, 0 while none was seen
    auto fail = [&](scan_end how) {
        if (zero_sector == 0) return how;
        pos = zero_sector;
        return scan_end::cut;
    };
    for (;;) {
        std::span<const uint8_t> span = in.run(pos);
        if (span.empty()) return fail(scan_end::truncated);
        if (pos > max_jpeg_size) return fail(scan_end::too_long);
        const void* hit = std::memchr(span.data(), 0xFF, span.size());
        uint64_t stop = hit ? pos + uint64_t(static_cast<const uint8_t*>(hit) - span.data())
                            : pos + span.size();
        // Remember the first whole zero sector between here and the next FF.
        for (; zero_sector == 0 && next_sector + sector <= stop; next_sector += sector) {
            uint64_t head = 0;
            const uint8_t* p = in.at(next_sector, 8);
            if (p) std::memcpy(&head, p, 8);
            if (head == 0 && is_zero_sector(in, next_sector)) zero_sector = next_sector;
        }
        if (!hit) {
            pos = stop;
            continue;
        }
        pos = stop;
        const uint8_t* m = in.at(pos + 1, 1);
        if (!m) return fail(scan_end::truncated);
        if (*m == 0x00 || is_rst(*m)) {
            pos += 2;
        } else if (*m == 0xFF) {
            pos += 1;  // fill byte; the next FF is looked at again
        } else if (ends_scan(*m)) {
            return scan_end::marker;
        } else {
            return fail(scan_end::cut);
        }
        if (next_sector < pos) next_sector = (pos + sector - 1) & ~(sector - 1);
    }
}

bool sound_sof(const uint8_t* s, uint16_t length) {
    if (length < 8) return false;
    uint8_t precision = s[0];
    uint16_t width = load_be16(s + 3);
    uint8_t components = s[5];
    return precision >= 2 && precision <= 16 &&
           width > 0 && components >= 1 && components <= 4 && length == 8 + 3 * components;
}

// Huffman (DHT) and quantisation (DQT) tables fill their segment exactly with well-formed
// entries; random bytes that happen to follow an FF rarely do.
bool sound_tables(uint8_t marker, const uint8_t* s, size_t size) {
    size_t at = 0;
    if (size == 0) return false;
    while (at < size) {
        uint8_t kind = s[at] >> 4, id = s[at] & 15;
        if (kind > 1 || id > 3) return false;
        size_t entry;
        if (marker == marker_dqt) {
            entry = kind == 0 ? 65 : 129;
        } else {
            if (size - at < 17) return false;
            size_t codes = 0;
            for (int i = 1; i <= 16; ++i) codes += s[at + i];
            if (codes > 256) return false;
            entry = 17 + codes;
        }
        if (size - at < entry) return false;
        at += entry;
    }
    return true;
}

// Between and after scans a picture has only tables, restart intervals, further scans and its end;
// application segments and comments there are data that is not the picture.
bool may_follow_scan(uint8_t marker) {
    return marker == marker_dht || marker == marker_dqt || marker == marker_dri ||
           marker == marker_sos || marker == marker_dnl || marker == 0xCC;
}

// The end of the furthest image an MPF index points to (offsets count from its TIFF header),
// or 0 when the index is unusable. Each image must start with SOI.
uint64_t mpf_end(carve_input_c& in, uint64_t header) {
    constexpr uint16_t tag_mp_entry = 0xB002;
    constexpr uint32_t max_images = 64;
    const uint8_t* h = in.at(header, 8);
    if (!h) return 0;
    bool little;
    if (std::memcmp(h, "II*\0", 4) == 0) little = true;
    else if (std::memcmp(h, "MM\0*", 4) == 0) little = false;
    else return 0;
    auto u16 = [&](const uint8_t* p) { return little ? load_le16(p) : load_be16(p); };
    auto u32 = [&](const uint8_t* p) { return little ? load_le32(p) : load_be32(p); };
    uint64_t ifd = header + u32(h + 4);
    const uint8_t* c = in.at(ifd, 2);
    if (!c) return 0;
    uint16_t count = u16(c);
    if (count == 0 || count > 64) return 0;
    uint64_t end = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = in.at(ifd + 2 + 12 * uint64_t(i), 12);
        if (!e) return 0;
        if (u16(e) != tag_mp_entry) continue;
        uint32_t bytes = u32(e + 4);
        if (bytes % 16 != 0 || bytes / 16 > max_images) return 0;
        uint64_t table = header + u32(e + 8);
        for (uint32_t k = 0; k < bytes / 16; ++k) {
            const uint8_t* m = in.at(table + 16 * uint64_t(k), 16);
            if (!m) return 0;
            uint32_t size = u32(m + 4), offset = u32(m + 8);
            if (offset == 0) continue;  // the first image, this one
            uint64_t image = header + offset;
            const uint8_t* soi = in.at(image, 3);
            if (!soi || soi[0] != 0xFF || soi[1] != 0xD8 || soi[2] != 0xFF) return 0;
            if (size > in.size() || image > in.size() - size) return 0;
            if (image + size > end) end = image + size;
        }
    }
    return end;
}

// A motion-JPEG frame of an AVI sits right behind its stream chunk header ("00dc" or "01db" and
// the frame's size). Found on its own, in an AVI whose head is gone, it is one frame of a video,
// not a photo.
bool is_avi_frame(carve_input_c& in) {
    const uint8_t* b = in.before(sector);
    if (!b) return false;
    const uint8_t* h = b + sector - 8;
    auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
    return digit(h[0]) && digit(h[1]) && h[2] == 'd' && (h[3] == 'c' || h[3] == 'b') &&
           load_le32(h + 4) >= 4;
}

// Keeps a picture cut at pos when what came before was sound.
carve_result_t cut_or_reject(const jpeg_state_t& st, uint64_t scan_start, uint64_t pos) {
    if (st.saw_sof && st.saw_dqt && pos >= scan_start + min_scan_bytes) return {pos, "jpg"};
    return {};
}

carve_result_t carve_jpeg(carve_input_c& in) {
    if (is_avi_frame(in)) return {};
    jpeg_state_t st;
    uint64_t pos = 2;
    uint64_t scan_start = 0;
    for (int segment = 0; segment < max_segments; ++segment) {
        const uint8_t* p = in.at(pos, 2);
        if (!p) return st.scans ? cut_or_reject(st, scan_start, in.size()) : carve_result_t{};
        if (p[0] != 0xFF) return st.scans ? cut_or_reject(st, scan_start, pos) : carve_result_t{};
        uint64_t marker_at = pos;
        while (p[1] == 0xFF) {  // fill bytes before a marker
            if (++pos > marker_at + 64) return {};
            p = in.at(pos, 2);
            if (!p) return {};
        }
        uint8_t marker = p[1];
        pos += 2;
        if (marker == marker_eoi) {
            if (!st.saw_sof || !st.saw_dqt || st.scans == 0) return {};
            uint64_t end = pos;
            if (st.mpf_header) {
                uint64_t extra = mpf_end(in, st.mpf_header);
                if (extra > end) end = extra;
                // Sony's multi-picture cameras pad the whole file; their older models do not.
                if (st.pads_with_zeros) end = after_padding(in, end);
            }
            return {end, "jpg"};
        }
        if (!has_length(marker) || (st.scans && !may_follow_scan(marker)))
            return st.scans ? cut_or_reject(st, scan_start, marker_at) : carve_result_t{};
        uint16_t length;
        if (!in.be16(pos, length) || length < 2)
            return st.scans ? cut_or_reject(st, scan_start, marker_at) : carve_result_t{};
        const uint8_t* body = in.at(pos + 2, length - 2u);
        if (!body) return st.scans ? cut_or_reject(st, scan_start, in.size()) : carve_result_t{};
        if ((marker == marker_dht || marker == marker_dqt) && !sound_tables(marker, body, length - 2u))
            return st.scans ? cut_or_reject(st, scan_start, marker_at) : carve_result_t{};
        if (is_sof(marker)) {
            if (st.saw_sof || !sound_sof(body, length)) {
                // A second frame header in a single-frame file: the data is not one picture.
                return st.scans ? cut_or_reject(st, scan_start, marker_at) : carve_result_t{};
            }
            st.saw_sof = true;
            // Lossless JPEG has no quantisation tables.
            if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF) st.saw_dqt = true;
        } else if (marker == marker_dqt) {
            st.saw_dqt = true;
        } else if (marker == marker_app2 && length >= 2 + 4 + 8 && std::memcmp(body, "MPF\0", 4) == 0) {
            st.mpf_header = pos + 2 + 4;
        } else if (marker == 0xE1 && length >= 2 + 6 + 8 && std::memcmp(body, "Exif\0\0", 6) == 0) {
            st.pads_with_zeros = exif_maker_pads(body + 6, length - 2u - 6u);
        }
        pos += length;
        if (marker == marker_sos) {
            uint8_t components = length >= 3 ? body[0] : 0;
            if (!st.saw_sof || components < 1 || components > 4 || length != 6 + 2 * components)
                return st.scans ? cut_or_reject(st, scan_start, marker_at) : carve_result_t{};
            ++st.scans;
            scan_start = pos;
            scan_end how = scan_entropy(in, pos);
            if (how == scan_end::too_long) return {};
            if (how == scan_end::cut) return cut_or_reject(st, scan_start, pos);
            if (how == scan_end::truncated) return cut_or_reject(st, scan_start, in.size());
        }
    }
    return {};
}

bool probe_jpeg(const uint8_t* head, size_t size) {
    if (size < 4 || head[0] != 0xFF || head[1] != marker_soi || head[2] != 0xFF) return false;
    uint8_t m = head[3];
    return (m >= 0xE0 && m <= 0xEF) || m == marker_dqt || m == 0xC4 || m == 0xFE || m == 0xDD ||
           is_sof(m) || m == 0xFF;
}

}  // namespace

const format_t jpg_format = {"jpg", "\xFF", probe_jpeg, carve_jpeg};

}  // namespace ember
