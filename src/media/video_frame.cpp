#include "media/video_frame.h"

#include <cstring>

#include "core/byte_reader.h"

using ember::byte_reader_c;

namespace {

// Enough chunks or boxes to reach the first frame of any real file; a walk past them gives up.
constexpr int max_steps = 4096;
constexpr int max_box_depth = 6;

bool is_jpeg_at(const uint8_t* data, size_t size, size_t offset, size_t length) {
    return offset < size && length >= 4 && length <= size - offset && data[offset] == 0xFF && data[offset + 1] == 0xD8;
}

// RIFF chunks: a four-letter id, a little-endian size, the data padded to an even length.
// Walks the chunks in [start, end), going into "movi" and "rec " lists, to the first video chunk.
bool find_avi_frame(const uint8_t* data, size_t size, size_t start, size_t end, int depth, int& steps,
                    video_frame_t& frame) {
    byte_reader_c r(data, end);
    r.seek(start);
    while (r.ok() && r.left() >= 8 && ++steps < max_steps) {
        const uint8_t* id = r.here();
        r.skip(4);
        uint32_t length = r.le32();
        size_t body = r.pos();
        if (length > r.left()) length = static_cast<uint32_t>(r.left());  // a cut file: what is there
        if (std::memcmp(id, "LIST", 4) == 0 && length >= 4 && depth < 2) {
            const uint8_t* type = data + body;
            if ((std::memcmp(type, "movi", 4) == 0 || std::memcmp(type, "rec ", 4) == 0) &&
                find_avi_frame(data, size, body + 4, body + length, depth + 1, steps, frame))
                return true;
        } else if (depth > 0 && (std::memcmp(id + 2, "dc", 2) == 0 || std::memcmp(id + 2, "db", 2) == 0)) {
            // The first video chunk decides: a JPEG, or no frame of ours.
            if (!is_jpeg_at(data, size, body, length)) return false;
            frame = {body, length};
            return true;
        }
        r.skip(length + (length & 1u));
        if (!r.ok()) break;
    }
    return false;
}

// ISO base media boxes: a big-endian size (1: a 64-bit size follows; 0: to the end), a type.
struct box_t {
    char type[4] = {};
    size_t body = 0;
    size_t end = 0;
};

bool next_box(byte_reader_c& r, box_t& box) {
    if (r.left() < 8) return false;
    size_t start = r.pos();
    uint64_t length = r.be32();
    std::memcpy(box.type, r.here(), 4);
    r.skip(4);
    if (length == 1) length = r.be64();
    else if (length == 0) length = r.left() + (r.pos() - start);
    size_t header = r.pos() - start;
    if (!r.ok() || length < header || length - header > r.left()) return false;
    box.body = r.pos();
    box.end = start + static_cast<size_t>(length);
    r.seek(box.end);
    return r.ok();
}

// The first box of `type` among the children in [start, end).
bool find_child(const uint8_t* data, size_t start, size_t end, const char* type, box_t& found) {
    byte_reader_c r(data, end);
    r.seek(start);
    box_t box;
    for (int n = 0; n < max_steps && next_box(r, box); ++n) {
        if (std::memcmp(box.type, type, 4) == 0) {
            found = box;
            return true;
        }
    }
    return false;
}

// Follows a path of box types from [start, end); `found` is the last one.
bool find_path(const uint8_t* data, size_t start, size_t end, const char* const* path, int count, box_t& found) {
    for (int i = 0; i < count && i < max_box_depth; ++i) {
        if (!find_child(data, start, end, path[i], found)) return false;
        start = found.body;
        end = found.end;
    }
    return true;
}

// The first sample of a JPEG video track: its description's format, its first chunk's offset
// (stco or co64) and its size (stsz).
bool find_track_frame(const uint8_t* data, size_t size, const box_t& trak, video_frame_t& frame) {
    static const char* const handler_path[] = {"mdia", "hdlr"};
    static const char* const table_path[] = {"mdia", "minf", "stbl"};
    box_t handler, table, box;
    if (!find_path(data, trak.body, trak.end, handler_path, 2, handler) ||
        handler.end - handler.body < 12 || std::memcmp(data + handler.body + 8, "vide", 4) != 0 ||
        !find_path(data, trak.body, trak.end, table_path, 3, table))
        return false;
    if (!find_child(data, table.body, table.end, "stsd", box) || box.end - box.body < 16) return false;
    const uint8_t* format = data + box.body + 12;  // version and flags, entry count, entry size
    if (std::memcmp(format, "jpeg", 4) != 0 && std::memcmp(format, "mjpa", 4) != 0) return false;
    uint64_t offset = 0;
    if (find_child(data, table.body, table.end, "stco", box)) {
        byte_reader_c r(data + box.body, box.end - box.body);
        r.skip(4);
        if (r.be32() == 0) return false;
        offset = r.be32();
        if (!r.ok()) return false;
    } else if (find_child(data, table.body, table.end, "co64", box)) {
        byte_reader_c r(data + box.body, box.end - box.body);
        r.skip(4);
        if (r.be32() == 0) return false;
        offset = r.be64();
        if (!r.ok()) return false;
    } else {
        return false;
    }
    if (!find_child(data, table.body, table.end, "stsz", box)) return false;
    byte_reader_c r(data + box.body, box.end - box.body);
    r.skip(4);
    uint32_t length = r.be32();
    uint32_t count = r.be32();
    if (length == 0) length = r.be32();
    if (!r.ok() || count == 0 || offset >= size || !is_jpeg_at(data, size, size_t(offset), length)) return false;
    frame = {size_t(offset), length};
    return true;
}

bool find_iso_frame(const uint8_t* data, size_t size, video_frame_t& frame) {
    box_t moov, trak;
    if (!find_child(data, 0, size, "moov", moov)) return false;
    byte_reader_c r(data, moov.end);
    r.seek(moov.body);
    for (int n = 0; n < max_steps && next_box(r, trak); ++n)
        if (std::memcmp(trak.type, "trak", 4) == 0 && find_track_frame(data, size, trak, frame)) return true;
    return false;
}

}  // namespace

bool find_first_jpeg_frame(const uint8_t* data, size_t size, video_frame_t& frame) {
    frame = {};
    if (!data || size < 12) return false;
    if (std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "AVI ", 4) == 0) {
        int steps = 0;
        return find_avi_frame(data, size, 12, size, 0, steps, frame);
    }
    if (std::memcmp(data + 4, "ftyp", 4) == 0 || std::memcmp(data + 4, "moov", 4) == 0 ||
        std::memcmp(data + 4, "mdat", 4) == 0 || std::memcmp(data + 4, "wide", 4) == 0 ||
        std::memcmp(data + 4, "free", 4) == 0 || std::memcmp(data + 4, "skip", 4) == 0)
        return find_iso_frame(data, size, frame);
    return false;
}
