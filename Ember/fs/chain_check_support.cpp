// What the structure walks of audio, GIF, TIFF and ASF files share.
#include "chain_check_support.h"

#include <algorithm>
#include <cstring>

#include "extent_source.h"
#include "fs_directory.h"

namespace ember::fs {

bool is_chunk_id(const uint8_t* id) {
    for (int i = 0; i < 4; ++i) {
        const uint8_t c = id[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '_'))
            return false;
    }
    return true;
}

bool is_known_file_start(const uint8_t* b, size_t size) {
    struct signature_t {
        size_t at;
        const char* bytes;
        size_t size;
    };
    static const signature_t signatures[] = {
        {0, "\x89PNG\r\n\x1a\n", 8}, {0, "GIF87a", 6}, {0, "GIF89a", 6}, {0, "II*\0", 4},
        {0, "MM\0*", 4},   {4, "ftyp", 4},   {0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8},
        {0, "\x1A\x45\xDF\xA3", 4},  {0, "\0\0\1\xBA", 4}, {0, "caff\0\1\0\0", 8}, {0, "fLaC\0\0\0\x22", 8},
        {0, "OggS\0\2", 6},          {0, "ID3\x03", 4}, {0, "ID3\x04", 4},
    };
    if (size < 16) return false;
    for (const signature_t& s : signatures)
        if (std::memcmp(b + s.at, s.bytes, s.size) == 0) return true;
    // A JPEG's SOI and its first segment; RIFF and FORM files by their form type.
    if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF && (b[3] == 0xDB || b[3] == 0xC4 || (b[3] >= 0xE0 && b[3] <= 0xEF)))
        return true;
    if (std::memcmp(b, "RIFF", 4) == 0 &&
        (std::memcmp(b + 8, "WAVE", 4) == 0 || std::memcmp(b + 8, "AVI ", 4) == 0))
        return true;
    return std::memcmp(b, "FORM", 4) == 0 && (std::memcmp(b + 8, "AIFF", 4) == 0 || std::memcmp(b + 8, "AIFC", 4) == 0);
}

namespace {

// The sample at p as its top 16 bits (8-bit sound scaled up).
int sample_at(const uint8_t* p, const pcm_t& pcm) {
    const int n = pcm.sample_bytes;
    if (n == 1) return (pcm.is_unsigned ? int(p[0]) - 128 : int(int8_t(p[0]))) * 256;
    const uint8_t hi = pcm.is_big_endian ? p[0] : p[n - 1], lo = pcm.is_big_endian ? p[1] : p[n - 2];
    return int(int16_t(uint16_t(hi << 8 | lo)));
}

}  // namespace

bool may_be_sound(const uint8_t* bytes, size_t size, const pcm_t& pcm) {
    const size_t n = size_t(pcm.sample_bytes), frame = n * size_t(pcm.channels);
    if (n < 1 || n > 4 || pcm.channels < 1 || frame > size / 8) return true;
    const size_t frames = size / frame;
    int64_t loudness = 0, moves = 0;
    for (int c = 0; c < pcm.channels; ++c) {
        int before = sample_at(bytes + n * size_t(c), pcm);
        for (size_t i = 0; i < frames; ++i) {
            const int v = sample_at(bytes + i * frame + n * size_t(c), pcm);
            loudness += v < 0 ? -int64_t(v) : v;
            moves += v > before ? v - before : before - v;
            before = v;
        }
    }
    // Quiet stretches say little either way.
    if (loudness < int64_t(256) * int64_t(frames) * pcm.channels) return true;
    return moves * 10 <= loudness * 11;
}

bool is_loud_before(const uint8_t* bytes, size_t size, const pcm_t& pcm) {
    const int n = pcm.sample_bytes;
    if (n < 1 || n > 4 || size < size_t(n)) return false;
    const int value = sample_at(bytes + (size / size_t(n) - 1) * size_t(n), pcm);  // the last whole sample
    return value > 2048 || value < -2048;
}

bool starts_file_or_folder(byte_source_i& card, const fs_volume_t& v, uint32_t c) {
    uint8_t head[512];
    return v.is_cluster(c) && card.read_at(v.cluster_offset(c), head, sizeof head) == sizeof head &&
           (is_known_file_start(head, sizeof head) || holds_folder_entries(v, head));
}

uint64_t holds_to(const structure_walk_t& w, uint64_t size) {
    constexpr uint64_t sector = 512;
    if (!w.is_known || w.is_sound || w.failed_at == UINT64_MAX) return size;
    uint64_t good = 0;
    for (uint64_t at : w.places)
        if (at < w.failed_at) good = std::max(good, at);
    return std::min(size, (good / sector + 1) * sector);
}

bool breaks_when_whole(structure_walk_fn walk, byte_source_i& card, uint64_t offset, uint64_t size, uint64_t* end) {
    if (end) *end = size;
    if (walk != walk_riff_wave && walk != walk_aiff && walk != walk_caf && walk != walk_gif && walk != walk_tiff &&
        walk != walk_asf && walk != walk_iso_media && walk != walk_bmp)
        return false;
    extent_source_c file(card, {{offset, size}}, size);
    const structure_walk_t w = walk(file);
    if (end) *end = holds_to(w, size);
    return w.is_known && !w.is_sound;
}

}  // namespace ember::fs
