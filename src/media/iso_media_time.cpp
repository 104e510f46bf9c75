#include "media/iso_media_time.h"

#include "core/byte_order.h"

namespace {

constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
           uint8_t(s[3]);
}
// Seconds from 1904-01-01 to 1970-01-01.
constexpr uint64_t seconds_1904_to_1970 = 2082844800;
// 3000-12-31 23:59:59 UTC, past which no camera's clock is believed.
constexpr int64_t latest_time = 32535215999;
// Real files have a handful of top-level boxes and a few dozen in 'moov'; past this it is damage.
constexpr int max_boxes = 4096;

struct box_t {
    uint32_t type = 0;
    uint64_t start = 0;
    uint64_t header = 0;
    uint64_t size = 0;  // header included
};

// The box at `at` within [at, end); false at the end or on a short read, `corrupt` on a size
// that cannot hold its header or does not fit its parent.
bool read_box(ember::byte_source_i& source, uint64_t at, uint64_t end, box_t& box, bool& corrupt) {
    uint8_t bytes[16];
    if (at >= end || end - at < 8 || source.read_at(at, bytes, 8) != 8) return false;
    box.start = at;
    box.type = ember::load_be32(bytes + 4);
    box.size = ember::load_be32(bytes);
    box.header = 8;
    if (box.size == 1) {
        if (end - at < 16 || source.read_at(at + 8, bytes + 8, 8) != 8) return false;
        box.size = ember::load_be64(bytes + 8);
        box.header = 16;
    } else if (box.size == 0) {
        box.size = end - at;  // to the end of its container
    }
    if (box.size < box.header || box.size > end - at) {
        corrupt = box.size < box.header;
        // A box running past the file's end is a cut-off file: its header may still be whole.
        if (!corrupt) box.size = end - at;
    }
    return !corrupt;
}

bool is_top_level_type(uint32_t type) {
    for (uint32_t known : {fourcc("ftyp"), fourcc("moov"), fourcc("mdat"), fourcc("free"), fourcc("skip"),
                           fourcc("wide"), fourcc("pnot")})
        if (type == known) return true;
    return false;
}

iso_media_time_result_t read_movie_header(ember::byte_source_i& source, const box_t& box, int64_t& unix_seconds) {
    uint8_t body[12];
    if (box.size - box.header < 12 || source.read_at(box.start + box.header, body, 12) != 12)
        return iso_media_time_result_t::truncated;
    uint64_t created = body[0] == 1 ? ember::load_be64(body + 4) : ember::load_be32(body + 4);
    if (created <= seconds_1904_to_1970 || created - seconds_1904_to_1970 > uint64_t(latest_time))
        return iso_media_time_result_t::no_time;
    unix_seconds = int64_t(created - seconds_1904_to_1970);
    return iso_media_time_result_t::ok;
}

}  // namespace

iso_media_time_result_t read_iso_media_time(ember::byte_source_i& source, int64_t& unix_seconds) {
    unix_seconds = 0;
    const uint64_t end = source.size();
    uint64_t at = 0;
    for (int count = 0; count < max_boxes; ++count) {
        box_t box;
        bool corrupt = false;
        if (!read_box(source, at, end, box, corrupt))
            return corrupt ? iso_media_time_result_t::corrupt : iso_media_time_result_t::truncated;
        if (count == 0 && !is_top_level_type(box.type)) return iso_media_time_result_t::not_this_format;
        if (box.type == fourcc("moov")) {
            uint64_t child = box.start + box.header, moov_end = box.start + box.size;
            for (int inner = 0; inner < max_boxes; ++inner) {
                box_t header;
                if (!read_box(source, child, moov_end, header, corrupt))
                    return corrupt ? iso_media_time_result_t::corrupt : iso_media_time_result_t::truncated;
                if (header.type == fourcc("mvhd")) return read_movie_header(source, header, unix_seconds);
                child += header.size;
            }
            return iso_media_time_result_t::corrupt;
        }
        at += box.size;
    }
    return iso_media_time_result_t::corrupt;
}
