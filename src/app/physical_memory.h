// Rules about the installed memory that need no system call.
#pragma once

#include <cstdint>
#include <string_view>

// The thumbnail worker runs only with at least 1000 MiB installed; an unknown amount (0) never
// starts it.
constexpr uint64_t thumbnail_worker_min_memory = 1048576000;
constexpr bool should_start_thumbnail_worker(uint64_t installed_bytes) {
    return installed_bytes >= thumbnail_worker_min_memory;
}

// Reads a memory module's "Capacity", decimal text. False for empty text, any other character
// or a number that does not fit 64 bits.
bool parse_capacity_text(std::u16string_view text, uint64_t& bytes);
