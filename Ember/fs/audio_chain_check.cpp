// The structure walks of RIFF WAVE, AIFF and CAF for a candidate chain (media_chain_check.h):
// the chunks to the file's end, the sound chunk's size against the file, and the sound itself
// sector by sector (a cluster of the chain may begin at any): integer PCM must move from sample
// to sample as sound does, and no sector may start another file, nor drop from sound to zeros. A packet table (CAF's pakt) must add
// up to the sound chunk.
#include <algorithm>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "media_chain_check.h"

namespace ember::fs {
namespace {

constexpr int max_chunks = 4096;
constexpr uint64_t max_packets = 1u << 22;
constexpr uint64_t max_padding = 4096;  // after a RIFF or FORM's stated end: a camera's

// The sound [from, to) sector by sector: each sector start inside it is a place, unless it
// starts another file or is all zeros right after a sector that ended loud.
bool sound_holds(carve_input_c& in, uint64_t from, uint64_t to, const pcm_t& pcm, structure_walk_t& out) {
    for (uint64_t at = (from + 511) / 512 * 512; at < to; at += 512) {
        const size_t n = size_t(std::min<uint64_t>(512, to - at));
        const uint8_t* s = in.at(at, n);
        if (!s) return false;
        if ((n >= 16 && is_known_file_start(s, n)) || !may_be_sound(s, n, pcm)) {
            out.failed_at = at;
            return false;
        }
        if (n == 512 && at >= from + 512 && std::all_of(s, s + n, [](uint8_t b) { return b == 0; })) {
            const uint8_t* before = in.at(at - 16, 16);
            if (before && is_loud_before(before, 16, pcm)) {
                out.failed_at = at;
                return false;
            }
        }
        out.places.push_back(at);
    }
    return true;
}

}  // namespace

structure_walk_t walk_riff_wave(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    const uint8_t* h = in.at(0, 12);
    if (!h || load_be32(h) != fourcc("RIFF") || load_be32(h + 8) != fourcc("WAVE")) return out;
    const uint64_t end = 8 + uint64_t(load_le32(h + 4));
    if (end > size || size - end > max_padding) return out;
    out.places.push_back(0);
    bool has_format = false, has_data = false;
    uint32_t block_align = 0;
    pcm_t pcm;
    uint64_t pos = 12;
    for (int n = 0; pos + 8 <= end; ++n) {
        const uint8_t* c = in.at(pos, 8);
        if (!c || n >= max_chunks || !is_chunk_id(c)) return stop_at(out, pos);
        const uint32_t id = load_be32(c);
        const uint64_t length = load_le32(c + 4);
        if (length > end - pos - 8) return stop_at(out, pos);
        out.places.push_back(pos);
        if (id == fourcc("fmt ")) {
            const uint8_t* f = length >= 16 ? in.at(pos + 8, 16) : nullptr;
            if (!f || load_le16(f + 2) == 0 || load_le16(f + 12) == 0) return stop_at(out, pos);
            block_align = load_le16(f + 12);
            const uint16_t tag = load_le16(f), bits = load_le16(f + 14);
            if ((tag == 1 || tag == 0xFFFE) && bits >= 8 && bits <= 32) {
                pcm.sample_bytes = (bits + 7) / 8;
                pcm.channels = load_le16(f + 2);
                pcm.is_unsigned = bits == 8;
            }
            has_format = true;
        } else if (id == fourcc("data")) {
            if (!has_format || has_data || length % block_align) return stop_at(out, pos);
            if (!sound_holds(in, pos + 8, pos + 8 + length, pcm, out)) return out;
            has_data = true;
        }
        pos += 8 + length + (length & 1);
    }
    if (pos < end && pos + 8 > end) return stop_at(out, pos);
    out.is_sound = has_data && pos >= end && pos <= end + 1;
    return out;
}

structure_walk_t walk_aiff(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    const uint8_t* h = in.at(0, 12);
    if (!h || load_be32(h) != fourcc("FORM") ||
        (load_be32(h + 8) != fourcc("AIFF") && load_be32(h + 8) != fourcc("AIFC")))
        return out;
    const uint64_t end = 8 + uint64_t(load_be32(h + 4));
    if (end > size || size - end > max_padding) return out;
    out.places.push_back(0);
    uint64_t sound_bytes = 0;  // from COMM: frames times the frame's bytes (uncompressed)
    pcm_t pcm;
    bool has_common = false, has_sound = false;
    uint64_t pos = 12;
    for (int n = 0; pos + 8 <= end; ++n) {
        const uint8_t* c = in.at(pos, 8);
        if (!c || n >= max_chunks || !is_chunk_id(c)) return stop_at(out, pos);
        const uint32_t id = load_be32(c);
        const uint64_t length = load_be32(c + 4);
        if (length > end - pos - 8) return stop_at(out, pos);
        out.places.push_back(pos);
        if (id == fourcc("COMM")) {
            const uint8_t* f = length >= 18 ? in.at(pos + 8, 22) : nullptr;
            if (!f || load_be16(f) == 0 || load_be16(f + 6) == 0 || load_be16(f + 6) > 32) return stop_at(out, pos);
            const bool is_plain = length < 22 || load_be32(f + 18) == fourcc("NONE") ||
                                  load_be32(f + 18) == fourcc("sowt") || load_be32(f + 18) == fourcc("twos");
            if (is_plain) {
                pcm.sample_bytes = (load_be16(f + 6) + 7) / 8;
                pcm.channels = load_be16(f);
                pcm.is_big_endian = length < 22 || load_be32(f + 18) != fourcc("sowt");
                sound_bytes = uint64_t(load_be32(f + 2)) * load_be16(f) * uint64_t(pcm.sample_bytes);
            }
            has_common = true;
        } else if (id == fourcc("SSND")) {
            const uint8_t* s = length >= 8 ? in.at(pos + 8, 8) : nullptr;
            if (!s || !has_common || has_sound || load_be32(s) > length - 8 ||
                (sound_bytes && sound_bytes > length - 8 - load_be32(s)))
                return stop_at(out, pos);
            if (!sound_holds(in, pos + 16 + load_be32(s), pos + 8 + length, pcm, out)) return out;
            has_sound = true;
        }
        pos += 8 + length + (length & 1);
    }
    if (pos < end && pos + 8 > end) return stop_at(out, pos);
    out.is_sound = has_sound && pos >= end && pos <= end + 1;
    return out;
}

structure_walk_t walk_caf(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    const uint8_t* h = in.at(0, 8);
    if (!h || load_be32(h) != fourcc("caff") || load_be16(h + 4) != 1) return out;
    out.places.push_back(0);
    uint64_t pos = 8, data_at = 0, data_size = 0, packet_bytes = 0;
    bool has_desc = false, has_table = false;
    pcm_t pcm;
    // The packet table's sizes, read after the chunks (the table may come after the sound).
    uint64_t table_at = 0, table_end = 0, packets = 0;
    for (int n = 0; pos < size; ++n) {
        const uint8_t* c = size - pos >= 12 ? in.at(pos, 12) : nullptr;
        if (!c || n >= max_chunks || !is_chunk_id(c) || (n == 0) != (load_be32(c) == fourcc("desc")))
            return stop_at(out, pos);
        const uint32_t id = load_be32(c);
        uint64_t length = load_be64(c + 4);
        if (id == fourcc("data") && length == ~uint64_t(0)) length = size - pos - 12;  // to the file's end
        if (length > size - pos - 12) return stop_at(out, pos);
        out.places.push_back(pos);
        if (id == fourcc("desc")) {
            const uint8_t* d = length >= 32 ? in.at(pos + 12, 32) : nullptr;
            if (!d || load_be32(d + 24) == 0) return stop_at(out, pos);  // no channels
            packet_bytes = load_be32(d + 16);  // 0: packets of varying size, in pakt
            const uint32_t flags = load_be32(d + 12), bits = load_be32(d + 28);
            if (load_be32(d + 8) == fourcc("lpcm") && !(flags & 1) && bits >= 8 && bits <= 32) {
                pcm.sample_bytes = int(bits + 7) / 8;
                pcm.channels = int(std::min<uint32_t>(load_be32(d + 24), 64));
                pcm.is_big_endian = !(flags & 2);
            }
            has_desc = true;
        } else if (id == fourcc("data")) {
            if (data_at || length < 4) return stop_at(out, pos);
            data_at = pos + 16;
            data_size = length - 4;
            if (packet_bytes && data_size % packet_bytes) return stop_at(out, pos);
        } else if (id == fourcc("pakt")) {
            const uint8_t* p = length >= 24 ? in.at(pos + 12, 24) : nullptr;
            if (!p || has_table) return stop_at(out, pos);
            packets = load_be64(p);
            table_at = pos + 36;
            table_end = pos + 12 + length;
            has_table = true;
        }
        pos += 12 + length;
    }
    if (!has_desc || !data_at) return out;
    if (has_table && packet_bytes == 0) {
        // Each packet's size as a variable-length integer; together they fill the sound.
        if (packets > max_packets) return stop_at(out, table_at);
        uint64_t at = table_at, sound = data_at;
        for (uint64_t i = 0; i < packets; ++i) {
            uint64_t v = 0;
            for (int k = 0;; ++k) {
                const uint8_t* b = at < table_end ? in.at(at, 1) : nullptr;
                if (!b || k == 5) return stop_at(out, at);
                ++at;
                v = v << 7 | (*b & 0x7F);
                if (!(*b & 0x80)) break;
            }
            if (v == 0 || v > data_at + data_size - sound) return stop_at(out, sound);
            sound += v;
        }
        if (sound != data_at + data_size) return stop_at(out, sound);
    }
    if (!sound_holds(in, data_at, data_at + data_size, pcm, out)) return out;
    out.is_sound = pos == size;
    return out;
}

}  // namespace ember::fs
