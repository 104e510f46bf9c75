#include "contract/pipe_packet.h"

#include <cstring>

namespace {

uint64_t load_le64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void store_le64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool decode_pipe_packet(const uint8_t* bytes, size_t size, pipe_packet_t& packet) {
    if (!bytes || size != pipe_packet_size) return false;
    packet.total_sectors = load_le64(bytes);
    packet.current_sector = load_le64(bytes + 8);
    std::memcpy(packet.found_path, bytes + packet_counts_bytes, packet_path_bytes);
    return true;
}

void encode_pipe_packet(const pipe_packet_t& packet, uint8_t (&bytes)[pipe_packet_size]) {
    store_le64(bytes, packet.total_sectors);
    store_le64(bytes + 8, packet.current_sector);
    std::memcpy(bytes + packet_counts_bytes, packet.found_path, packet_path_bytes);
}

size_t packet_path_length(const pipe_packet_t& packet) {
    return strnlen(packet.found_path, packet_path_bytes);
}
