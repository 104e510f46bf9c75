// CRC-32 (ISO 3309, as PNG chunks use it), table-driven, eight bytes a step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ember {

// Continues crc over data; start with 0.
uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size);

}  // namespace ember
