// Whether a video's bytes, read through a candidate chain of clusters, are the file its own
// structure describes. Each check walks the file's structure and records the places where the
// bytes met an expectation that holds only at that exact place (a box or chunk header the walk
// arrived at, a NAL unit's length prefix at a sample's start, a JPEG frame's SOI where the index
// puts it). A chain is confirmed when the structure holds to the file's end and every stretch
// after a jump, and the file's last cluster, hold such a place: a stretch taken from the wrong
// clusters shifts every place after it. A check that cannot tell says so; a structure that
// breaks rejects the chain.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/byte_source.h"

namespace ember::fs {

enum class chain_verdict_t { confirmed, rejected, unknown };

// The places a structure walk confirmed, as file offsets (in any order), and whether the walk
// held together to the file's end.
struct structure_walk_t {
    bool is_sound = false;
    bool is_known = false;  // the type has a check here
    std::vector<uint64_t> places;
    // Where the bytes broke the structure, when the walk can tell (a walk that reads the file
    // in order); the stretch that went wrong starts after the last place before it.
    uint64_t failed_at = UINT64_MAX;
};

// ISO base media (MP4, MOV, 3GP): the top-level boxes to the end, every chunk of every track's
// sample tables inside a media data box, and each sample of an H.264, HEVC or motion-JPEG track
// starting the way the codec's units do (NAL length prefixes that add up to the sample's size).
structure_walk_t walk_iso_media(byte_source_i& file);
// RIFF AVI: the chunks to the RIFF's end, the movi list's chunks one by one (a motion-JPEG frame
// starting with SOI), and each idx1 entry pointing at a chunk with its id and size.
structure_walk_t walk_riff_avi(byte_source_i& file);
// MPEG program stream: packs and packets by their start codes and lengths to the end code or the
// file's end, each pack's clock running on from the one before.
structure_walk_t walk_mpeg_ps(byte_source_i& file);
// MPEG transport stream (188-byte packets, or 192 with their arrival time): the sync byte of
// every packet, and each stream's continuity counter running on.
structure_walk_t walk_mpeg_ts(byte_source_i& file);
// Raw DV: every 80-byte DIF block's section type, sequence and block number in its place.
structure_walk_t walk_dv(byte_source_i& file);

// RIFF WAVE, AIFF and CAF: the chunks, the sound chunk's size, the sound at every sector edge
// (no other file's start, no drop to zeros), and CAF's packet table adding up to its sound.
structure_walk_t walk_riff_wave(byte_source_i& file);
structure_walk_t walk_aiff(byte_source_i& file);
structure_walk_t walk_caf(byte_source_i& file);
// GIF: the blocks and each sub-block's length to the trailer at the file's end.
structure_walk_t walk_gif(byte_source_i& file);
// TIFF: the IFDs, their values, strips and tiles inside the file, each JPEG, LZW or Deflate strip
// starting as its coding does.
structure_walk_t walk_tiff(byte_source_i& file);
// BMP (24- and 32-bit, uncompressed): every sector of the pixel data following the row above.
structure_walk_t walk_bmp(byte_source_i& file);
// ASF (WMV, WMA): the top-level objects, and every data packet starting as the first one does.
structure_walk_t walk_asf(byte_source_i& file);
// Matroska and WebM: every element to the file's end, the children of each master filling it,
// each block naming a track, and the NAL units of each unlaced H.264 or HEVC frame filling it.
structure_walk_t walk_matroska(byte_source_i& file);
// PNG: the signature, then every chunk's CRC to IEND at the file's end.
structure_walk_t walk_png(byte_source_i& file);
// Ogg: every page's capture pattern and CRC, each stream's pages in sequence, to the file's end.
structure_walk_t walk_ogg(byte_source_i& file);
// Flash video: every tag's header and the size after it that repeats the tag's own.
structure_walk_t walk_flv(byte_source_i& file);
// JPEG: every MCU decoded to EOI, a multi-picture file's further pictures, then only padding.
structure_walk_t walk_jpeg(byte_source_i& file);

// Which walk fits a directory entry's extension, and the search name of the carver that finds
// such files; nullptr when none does.
using structure_walk_fn = structure_walk_t (*)(byte_source_i&);
structure_walk_fn structure_walk_for(std::string_view extension, std::string_view* search_name = nullptr);

// The verdict on the chain whose later stretches start at `stretch_starts` in the file (offsets
// of the jumps, ascending), from the walk over the file of `size` bytes read through it.
chain_verdict_t judge_chain(const structure_walk_t& walk, std::span<const uint64_t> stretch_starts, uint64_t size,
                            uint32_t cluster_size);

}  // namespace ember::fs
