// What the structure walks of audio, GIF, TIFF and ASF files share (media_chain_check.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/byte_source.h"
#include "fs_volume.h"
#include "media_chain_check.h"

namespace ember::fs {

// The walk broke at `at`: a chain whose stretch starts there or before is not the file.
inline structure_walk_t stop_at(structure_walk_t& out, uint64_t at) {
    out.failed_at = at;
    return out;
}

// Four letters, digits or spaces: a chunk's id.
bool is_chunk_id(const uint8_t* id);

// True when the bytes start a file of a common type, as a cluster written by another file
// does: the signatures are long enough that sound or pixel data does not hold them by chance.
bool is_known_file_start(const uint8_t* bytes, size_t size);

// True when cluster c of the volume starts a file of a common type or holds a folder's entries
// (fs_directory.h): a cluster a camera writing another file went round. After a quick format no
// entry names a folder's later clusters, and those lie among the files. One sector read.
bool starts_file_or_folder(byte_source_i& card, const fs_volume_t& v, uint32_t c);

// Integer PCM sound, as a walk knows it from the file's header.
struct pcm_t {
    int sample_bytes = 0;  // 0: not integer PCM (float, compressed): not looked at
    int channels = 1;
    bool is_big_endian = false;
    bool is_unsigned = false;  // 8-bit WAVE
};

// True when the sound's last frame before `end` is far from silence (of `pcm`'s kind): from
// there a sector of zeros is no fade-out but another cluster.
bool is_loud_before(const uint8_t* bytes, size_t size, const pcm_t& pcm);

// False when the bytes, read as `pcm`'s frames, jump about as unrelated data does: recorded
// sound moves from one sample to the next by much less than its loudness, bytes of another
// kind of file (compressed pictures or video, random data) by more.
bool may_be_sound(const uint8_t* bytes, size_t size, const pcm_t& pcm);

// How far a file's bytes hold by its walk `w` over `size` bytes: size when the walk holds or
// cannot tell where it broke, else the first sector boundary after the last place it confirmed
// before the break (bytes of another file, or of the file's next fragment elsewhere, begin at a
// sector boundary after that place).
uint64_t holds_to(const structure_walk_t& w, uint64_t size);

// True when `walk` looks at a file's contents (sound, sub-blocks, strips, packets), not only at
// what the carver also reads, and its structure breaks over the `size` bytes at `offset` of the
// card: a carve that reached the entry's size through another file's clusters. `end` (may be
// null) gets how far the bytes hold (holds_to).
bool breaks_when_whole(structure_walk_fn walk, byte_source_i& card, uint64_t offset, uint64_t size,
                       uint64_t* end = nullptr);

}  // namespace ember::fs
