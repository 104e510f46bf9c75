// A deleted video no entry names, put together by its own structure where it has no sample
// tables to go by (AVI, DV, Matroska, PNG, Ogg). The file is read first fit from its first cluster; where the structure
// walk breaks, the stretch before the break went wrong at a cluster boundary after the last place
// the walk confirmed, and the file goes on in a free cluster after it at whose place the
// structure continues (a chunk header, a frame's start); where the break may lie at several
// boundaries, the one at which the stretch before it reads right (a frame decoded). Each such cluster (a few at most) is
// followed and walked again; the chain is taken only when exactly one of all the chains so
// followed is confirmed by the whole walk.
#pragma once

#include <cstdint>
#include <vector>

#include "allocation_chain.h"
#include "core/byte_source.h"
#include "media_chain_check.h"

namespace ember::fs {

// Whether the structure of the file may go on at `at` on the card, `left` bytes before the
// file's end (a cheap look at a few bytes, before the chain through there is walked).
using continues_fn = bool (*)(byte_source_i& card, uint64_t at, uint64_t left);

// An AVI's movi list goes on at `at`: a stream chunk's header whose size fits, or a motion-JPEG
// frame's SOI.
bool avi_continues_at(byte_source_i& card, uint64_t at, uint64_t left);

// An ASF's data goes on at `at`: a packet's head with uncorrected error-correction data.
bool asf_continues_at(byte_source_i& card, uint64_t at, uint64_t left);
// Flash video goes on at `at`: a tag's header, or the size that ends a tag before the next one.
bool flv_continues_at(byte_source_i& card, uint64_t at, uint64_t left);
// A raw DV stream goes on at `at`: its DIF blocks stand where that place in a frame puts them.
bool dv_continues_at(byte_source_i& card, uint64_t at, uint64_t left);

// A Matroska or WebM file goes on at `at`: a top-level element's header (a Cluster's), a block's
// or block group's of a track numbered 1 to 15, or a Cluster's timecode with a block after it.
bool mkv_continues_at(byte_source_i& card, uint64_t at, uint64_t left);

// Clusters a break may be looked for in where the check of the place is as exact as a chunk or
// page header with its type or capture pattern (PNG, Ogg): on a nearly full card the next free
// cluster may lie far on.
constexpr uint32_t exact_check_reach = 8192;

// A PNG goes on at `at`: an IDAT chunk's header whose length fits, or IEND's.
bool png_continues_at(byte_source_i& card, uint64_t at, uint64_t left);

// An Ogg file goes on at `at`: a page's capture pattern and version.
bool ogg_continues_at(byte_source_i& card, uint64_t at, uint64_t left);

// Whether the stretch of `file` from the walk's place `place` reads right across the cluster
// boundary at `boundary` (a frame that decodes whole through it).
enum class stretch_verdict_t { holds, broken, unknown };
using stretch_fn = stretch_verdict_t (*)(byte_source_i& file, uint64_t place, uint64_t boundary);

// An AVI's motion-JPEG frame starting at `place` decodes whole, its data reaching past `boundary`.
stretch_verdict_t avi_frame_holds(byte_source_i& file, uint64_t place, uint64_t boundary);

// A PNG's chunk after the place (the end of the chunk before it) has its CRC, its bytes reaching
// past `boundary`.
stretch_verdict_t png_chunk_holds(byte_source_i& file, uint64_t place, uint64_t boundary);

// An Ogg page after the place (the end of the page before it) has its CRC, its bytes reaching
// past `boundary`.
stretch_verdict_t ogg_page_holds(byte_source_i& file, uint64_t place, uint64_t boundary);

// A motion-JPEG frame starting with SOI at `place` decodes whole within `size` bytes (and 8 MiB),
// its data reaching past `boundary`; unknown where no SOI is there or it ends before.
stretch_verdict_t jpeg_frame_holds(byte_source_i& file, uint64_t place, uint64_t size, uint64_t boundary);

// The one chain of q.size bytes from q.first that walk confirms, built as above; empty when none
// or more than one is. From q.budget each walk costs the file's size and each cluster looked at a
// sector; at most 64 walks in all, 32 breaks along a chain, 8192 clusters looked at for a break,
// and no answer where more than 4 of them continue the structure. A break is looked for within
// eight times the file's clusters after it, or `min_reach` clusters where that is further.
std::vector<extent_t> reassemble_by_structure(byte_source_i& card, const allocation_request_t& q,
                                              structure_walk_fn walk, continues_fn continues,
                                              stretch_fn stretch = nullptr, uint32_t min_reach = 0);

}  // namespace ember::fs
