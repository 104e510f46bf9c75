// Checksums and tags shared by the audio carvers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/carve_input.h"

namespace ember {

// FLAC's frame-header CRC-8 (polynomial 0x07) and frame CRC-16 (polynomial 0x8005), both
// unreflected from zero; the 16-bit one continues from `crc`.
uint8_t flac_crc8(const uint8_t* p, size_t n);
uint16_t flac_crc16(uint16_t crc, const uint8_t* p, size_t n);
// The CRC-16 table, for scans that check the CRC at every byte.
const uint16_t* flac_crc16_table();
// Ogg's page CRC-32 (polynomial 0x04C11DB7, unreflected, from zero), continued from `crc`.
uint32_t ogg_crc32(uint32_t crc, const uint8_t* p, size_t n);

// The size of the ID3v2 tag at p (header, body and optional footer), or 0 when p holds none.
uint64_t id3v2_tag_size(const uint8_t* p, size_t n);

// The end of the tags that may follow audio data at `end`: an APEv2 tag (with or without its
// header), a Lyrics3 v2 block, an ID3v1 tag, in that order. Returns `end` when none is there.
uint64_t skip_trailing_tags(carve_input_c& in, uint64_t end);

// The length of the FLAC stream that starts at `base` ("fLaC" to the last frame and its tags),
// or 0; lets a FLAC file behind an ID3v2 tag be carved whole.
uint64_t flac_stream_length(carve_input_c& in, uint64_t base);

}  // namespace ember
