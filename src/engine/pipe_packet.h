// The engine's 280-byte message on the pipe: little-endian sector counts and the full path of a
// file the engine has finished writing (first byte 0 in a packet that only reports progress).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t pipe_packet_size = 280;
constexpr size_t packet_path_bytes = 264;

struct pipe_packet_t {
    uint64_t total_sectors = 0;   // 0 while not known
    uint64_t current_sector = 0;
    char found_path[packet_path_bytes] = {};
};

// Reads one message; false unless it is exactly pipe_packet_size bytes.
bool decode_pipe_packet(const uint8_t* bytes, size_t size, pipe_packet_t& packet);
void encode_pipe_packet(const pipe_packet_t& packet, uint8_t (&bytes)[pipe_packet_size]);

// Length of found_path up to its terminator; the whole field when the engine sent none.
size_t packet_path_length(const pipe_packet_t& packet);
