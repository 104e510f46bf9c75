// What the engine and the front end agree on over the pipe "\\.\pipe\Ember": the 280-byte
// message, little-endian sector counts followed by the full path of a file the engine has
// finished writing (first byte 0 in a packet that only reports progress), and the longest path
// of a found file. Paths are narrow text in the process's ANSI code page (ansi_text_win.h).
#pragma once

#include <cstddef>
#include <cstdint>

// The longest found-file path, in bytes, terminator not counted: the engine names no file
// longer, and the front end's records hold max_found_path + 1 bytes.
constexpr size_t max_found_path = 259;

constexpr size_t pipe_packet_size = 280;
constexpr size_t packet_counts_bytes = 16;
// The path field is the rest of the packet: room for the longest path, its terminator and more.
constexpr size_t packet_path_bytes = pipe_packet_size - packet_counts_bytes;
static_assert(packet_path_bytes > max_found_path);

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
