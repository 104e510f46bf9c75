// ASF files (wmv, wma): the header object, then the data object and the index objects. The walk
// over those top-level objects gives the end. The data object ends after its last packet that is
// in place, whatever its size says (unknown when written live, or damaged).
#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

using guid_t = uint8_t[16];
constexpr guid_t header_guid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr guid_t data_guid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr guid_t file_props_guid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr guid_t stream_props_guid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr guid_t audio_media_guid = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr guid_t video_media_guid = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr guid_t index_guids[] = {
    {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11, 0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB},  // simple index
    {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11, 0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE},  // index
    {0xF8, 0x03, 0xB1, 0xFE, 0xAD, 0x12, 0x64, 0x4C, 0x84, 0x0F, 0x2A, 0x1D, 0x2F, 0x7A, 0xD4, 0x8C},  // media object index
    {0xD0, 0x3F, 0xB7, 0x3C, 0x4A, 0x0C, 0x03, 0x48, 0x95, 0x3D, 0xED, 0xF7, 0xB6, 0x22, 0x8F, 0x0C},  // timecode index
};

constexpr uint64_t object_header = 24;   // GUID and 64-bit size
constexpr uint64_t max_header_size = 16 * 1024 * 1024;
constexpr uint32_t max_header_objects = 1024;
constexpr uint64_t data_object_header = 50;
constexpr uint32_t max_top_objects = 64;
constexpr uint64_t max_data_size = uint64_t(1) << 42;  // beyond any card
constexpr uint64_t sector = 512;

bool is(const uint8_t* p, const guid_t& g) { return std::memcmp(p, g, 16) == 0; }

bool probe(const uint8_t* h, size_t size) {
    return size >= 30 && is(h, header_guid) && load_le64(h + 16) >= 30;
}

struct header_info_t {
    bool has_file_props = false, has_video = false, has_audio = false;
    uint64_t packets = 0;
    uint32_t packet_size = 0;  // 0 when packets vary in size
};

bool read_header(carve_input_c& in, uint64_t header_size, header_info_t& info) {
    uint32_t count = 0;
    if (!in.le32(24, count) || count > max_header_objects) return false;
    uint64_t pos = 30;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* o = in.at(pos, object_header);
        if (!o) return false;
        uint64_t size = load_le64(o + 16);
        if (size < object_header || size > header_size - pos) return false;
        if (is(o, file_props_guid)) {
            const uint8_t* f = in.at(pos, 104);
            if (!f || size < 104) return false;
            info.has_file_props = true;
            info.packets = load_le64(f + 56);
            uint32_t min_size = load_le32(f + 92), max_size = load_le32(f + 96);
            info.packet_size = min_size == max_size ? min_size : 0;
        } else if (is(o, stream_props_guid)) {
            const uint8_t* s = in.at(pos, 40);
            if (!s) return false;
            info.has_video |= is(s + 24, video_media_guid);
            info.has_audio |= is(s + 24, audio_media_guid);
        }
        pos += size;
    }
    return info.has_file_props;
}

// The end of the data object at pos whose stated size is `stated` (0: unknown): after the last
// packet that is in place, each packet of the fixed size starting as the first one does (the
// error-correction flags and, with them, their zero bytes). A stated size that runs past the
// packets (damaged), or packets that stop (the file's later clusters were overwritten or lie
// elsewhere), end the data there, without a last packet that runs on past its flags' sector.
uint64_t data_end(carve_input_c& in, uint64_t pos, uint64_t stated, const header_info_t& info) {
    uint64_t body = pos + data_object_header;
    uint64_t packets = 0;
    in.le64(pos + 40, packets);
    if (packets == 0) packets = info.packets;
    if (stated == 0 && packets == 0) return body;  // neither size nor count: no end is known
    uint64_t limit = stated ? pos + stated : in.size();
    if (info.packet_size == 0) return stated ? limit : body;  // sizes vary: the stated size stands
    const uint8_t* first = in.at(body, 3);
    if (!first) return std::min(limit, in.size());
    // Packets with error-correction data all start with the same flags; without it the first
    // byte holds length types that may vary, and only the count and size say where they end.
    uint8_t flags = first[0];
    bool is_checked = (flags & 0x80) != 0;
    bool has_zero_ecc = flags == 0x82 && first[1] == 0 && first[2] == 0;
    uint64_t end = body;
    bool is_broken = false;
    for (uint64_t k = 0; end + info.packet_size <= limit && (packets == 0 || k < packets); ++k) {
        const uint8_t* p = in.at(end, 3);
        if (!p) return std::min(limit, in.size());  // the source ends inside this packet
        if (is_checked && (p[0] != flags || (has_zero_ecc && (p[1] != 0 || p[2] != 0)))) {
            is_broken = true;
            break;
        }
        end += info.packet_size;
    }
    // Packets that stop out of place were cut by other bytes, which begin at a sector boundary:
    // the last packet in place is the data's only where it lies in the sector of its flags.
    if (is_broken && end > body && (end - info.packet_size) / sector != (end - 1) / sector) end -= info.packet_size;
    end = std::min(end, in.size());  // the source ends inside the last packet
    // A stated size that agrees with the packets, give or take a packet, keeps its few bytes.
    if (stated && limit > end && limit - end < info.packet_size) end = limit;
    return end;
}

carve_result_t carve(carve_input_c& in) {
    uint64_t header_size = 0;
    if (!in.le64(16, header_size) || header_size > max_header_size || header_size < 30) return {};
    if (header_size > in.size()) return {};
    header_info_t info;
    if (!read_header(in, header_size, info)) return {};
    uint64_t pos = header_size;
    bool has_data = false;
    for (uint32_t n = 0; n < max_top_objects; ++n) {
        const uint8_t* o = in.at(pos, object_header);
        if (!o) break;
        uint64_t size = load_le64(o + 16);
        bool is_data = is(o, data_guid);
        bool is_index = false;
        for (const guid_t& g : index_guids) is_index |= is(o, g);
        if (!is_data && !is_index) break;
        if (is_data && has_data) break;
        if (is_data) {
            // The packets say where the data ends, whatever the size says (0: a live writer).
            if (size != 0 && size < data_object_header) break;
            if (size > max_data_size) size = 0;
            uint64_t end = data_end(in, pos, size, info);
            if (end <= pos + data_object_header) break;
            in.layout().add_payload(pos + data_object_header, end - pos - data_object_header);
            has_data = true;
            if (end != pos + size) {  // the data stops before its stated end: so does the file
                pos = std::min(end, in.size());
                break;
            }
        }
        if (size < object_header) break;
        if (size > in.size() - pos) {
            pos = in.size();
            break;
        }
        pos += size;
    }
    if (!has_data) return {};
    return {pos, info.has_video ? "wmv" : info.has_audio ? "wma" : "asf"};
}

}  // namespace

const format_t asf_format = {"asf", "\x30", probe, carve};

}  // namespace ember::video
