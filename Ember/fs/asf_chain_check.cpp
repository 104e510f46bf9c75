// The structure walk of ASF (WMV, WMA) for a candidate chain (media_chain_check.h): the top-level
// objects to the file's end (header, data, indexes), the data object holding exactly the packets
// the file properties state, and every packet at its interval starting as the first one does
// (its error-correction and property flags), which makes each packet start a place.
#include <cstring>

#include "chain_check_support.h"
#include "core/byte_order.h"
#include "core/carve_input.h"
#include "media_chain_check.h"
#include "structure_chain_resume.h"

namespace ember::fs {
namespace {

constexpr int max_objects = 1024;  // top-level, and inside the header
constexpr uint64_t max_packets = 1u << 22;
const uint8_t header_guid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t data_guid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t properties_guid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                     0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

// The bytes a packet starts with that every packet of the file repeats: its error-correction
// flags and data, then (past the length-type flags, which vary) its property flags.
bool packet_head(const uint8_t* p, size_t size, uint8_t* key) {
    size_t at = 0;
    if (p[0] & 0x80) {
        if ((p[0] & 0x60) || (p[0] & 0x0F) == 0) return false;
        at = 1 + (p[0] & 0x0F);
    }
    if (at + 2 > size) return false;
    key[0] = p[0];
    key[1] = p[at + 1];
    return true;
}

}  // namespace

bool asf_continues_at(byte_source_i& card, uint64_t at, uint64_t left) {
    // A data packet with two bytes of error-correction data, uncorrected, as writers put before
    // every packet; the whole walk then checks every packet against the first one.
    uint8_t p[5];
    if (left < sizeof p || card.read_at(at, p, sizeof p) != sizeof p) return false;
    uint8_t key[2];
    return p[0] == 0x82 && p[1] == 0 && p[2] == 0 && packet_head(p, sizeof p, key);
}

structure_walk_t walk_asf(byte_source_i& file) {
    structure_walk_t out;
    out.is_known = true;
    carve_input_c in(file, 0);
    const uint64_t size = in.size();
    uint64_t pos = 0, packet_size = 0, packets = 0;
    bool has_properties = false, has_data = false;
    for (int n = 0; pos < size; ++n) {
        const uint8_t* o = size - pos >= 24 ? in.at(pos, 24) : nullptr;
        if (!o || n >= max_objects || (n == 0 && std::memcmp(o, header_guid, 16) != 0)) return stop_at(out, pos);
        const uint64_t length = load_le64(o + 16);
        if (length < 24 || length > size - pos) return stop_at(out, pos);
        out.places.push_back(pos);
        if (n == 0) {
            // The header's objects: the file properties give the packets' size and count.
            uint64_t at = pos + 30;
            for (int k = 0; at + 24 <= pos + length && k < max_objects; ++k) {
                const uint8_t* h = in.at(at, 24);
                const uint64_t inner = h ? load_le64(h + 16) : 0;
                if (!h || inner < 24 || inner > pos + length - at) return stop_at(out, at);
                if (std::memcmp(h, properties_guid, 16) == 0) {
                    const uint8_t* f = inner >= 104 ? in.at(at + 24, 80) : nullptr;
                    if (!f || load_le32(f + 68) != load_le32(f + 72) || load_le32(f + 68) < 16) return stop_at(out, at);
                    packets = load_le64(f + 32);
                    packet_size = load_le32(f + 68);
                    has_properties = true;
                }
                out.places.push_back(at);
                at += inner;
            }
            if (!has_properties) return stop_at(out, pos);
        } else if (std::memcmp(o, data_guid, 16) == 0) {
            const uint8_t* d = length >= 50 ? in.at(pos, 50) : nullptr;
            if (!d || has_data) return stop_at(out, pos);
            const uint64_t stated = load_le64(d + 40);
            if (packets == 0) packets = stated;
            if (packets != stated || packets > max_packets || length - 50 != packets * packet_size)
                return stop_at(out, pos);
            uint8_t first[2] = {};
            for (uint64_t i = 0; i < packets; ++i) {
                const uint64_t at = pos + 50 + i * packet_size;
                const uint8_t* p = in.at(at, 20);
                uint8_t key[2];
                if (!p || !packet_head(p, 20, key) || (i && std::memcmp(key, first, 2) != 0)) return stop_at(out, at);
                if (i == 0) std::memcpy(first, key, 2);
                out.places.push_back(at);
            }
            has_data = true;
        }
        pos += length;
    }
    out.is_sound = has_data && pos == size;
    return out;
}

}  // namespace ember::fs
