// Fuzz target for the structure walks that confirm or reject a deleted file's chain of clusters
// (videos, Matroska included, sound, Ogg included, GIF, TIFF, BMP, ASF, FLV, JPEG, PNG) and for the JPEG
// entropy-data walk that decides joins. The input is a file; it is walked as it is, and read
// through a chain of its own pieces (its 512-byte blocks from a block the first byte picks, then
// those before), as a wrong chain would give it. Every place a walk confirms lies inside the
// file, and a sound walk broke nowhere; an MP4's break lies inside it. The looks that place a
// break are made at a place the input picks, and a motion-JPEG frame is decoded from the file's
// start as a break is placed by it, across the second sector's boundary.
#include <cstdlib>

#include "core/byte_source.h"
#include "fs/extent_source.h"
#include "fs/iso_chain_resume.h"
#include "fs/iso_tail_search.h"
#include "fs/jpeg_entropy_check.h"
#include "fs/media_chain_check.h"
#include "fs/structure_chain_resume.h"

namespace {

constexpr size_t max_input = 1024 * 1024;

void walk_all(ember::byte_source_i& file, std::span<const uint64_t> jumps) {
    for (const char* kind : {"mp4", "avi", "mpg", "mts", "dv", "wav", "aif", "caf", "wmv", "gif", "tif", "bmp", "jpg", "mkv", "png", "ogg", "flv"}) {
        ember::fs::structure_walk_t w = ember::fs::structure_walk_for(kind)(file);
        if (w.failed_at != UINT64_MAX && (w.is_sound || w.failed_at > file.size())) std::abort();
        for (uint64_t at : w.places)
            if (at >= file.size()) std::abort();
        if (!w.is_known && w.is_sound) std::abort();
        ember::fs::chain_verdict_t v = ember::fs::judge_chain(w, jumps, file.size(), 512);
        if (v == ember::fs::chain_verdict_t::confirmed && !w.is_sound) std::abort();
    }
    // An MP4's break: inside the file, and its sample does not hold there when looked at again;
    // the head's boxes, read as a card's first cluster, say nothing past the file.
    ember::fs::iso_break_t broke;
    ember::fs::walk_iso_media_broken(file, &broke);
    if (broke.at != UINT64_MAX &&
        (broke.at >= file.size() || ember::fs::iso_sample_holds(file, broke.at, UINT64_MAX, broke)))
        std::abort();
    const ember::fs::iso_head_t head = ember::fs::read_iso_head(file, 0, file.size());
    if (head.moov_at > file.size() || head.size > file.size()) std::abort();
    // The JPEG entropy-data walk, progressive files included.
    ember::fs::jpeg_entropy_check_c check;
    uint64_t end = 0;
    if (check.start(file) && check.run(file, check.first_state(), &end) == ember::fs::jpeg_entropy_check_c::result_t::complete &&
        end > file.size())
        std::abort();
    // A frame that holds reaches past the boundary, inside the file.
    if (ember::fs::jpeg_frame_holds(file, 0, file.size(), 512) == ember::fs::stretch_verdict_t::holds &&
        file.size() <= 512)
        std::abort();
    ember::fs::avi_frame_holds(file, 8, 512);
    ember::fs::flv_continues_at(file, 0, file.size());
    // Where an ASF's data may go on: only a packet's head that reads as one.
    if (ember::fs::asf_continues_at(file, 0, file.size()) && (file.size() < 5))
        std::abort();
}

// The looks at a card that tell where a file goes on after a break, and at a stretch across a
// cluster boundary: each at a place the input picks, with as much or more left of the file than
// the card holds; they must stay inside the source (the sanitizers tell).
void look_at_breaks(ember::byte_source_i& card, const uint8_t* data, size_t size) {
    using namespace ember::fs;
    const uint64_t at = size > 2 ? (uint64_t(data[1]) << 8 | data[2]) % size : 0;
    for (uint64_t left : {uint64_t(size - at), uint64_t(size), uint64_t(1) << 32}) {
        for (continues_fn continues : {avi_continues_at, dv_continues_at, mkv_continues_at, png_continues_at, ogg_continues_at,
                                         asf_continues_at, flv_continues_at})
            continues(card, at, left);
    }
    for (stretch_fn stretch : {avi_frame_holds, png_chunk_holds, ogg_page_holds}) stretch(card, at, at + 512);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > max_input || size == 0) return 0;
    ember::memory_source_c source({data, size});
    walk_all(source, {});
    look_at_breaks(source, data, size);
    const uint64_t blocks = (size + 511) / 512, cut = data[0] % blocks;
    if (cut == 0) return 0;
    std::vector<ember::fs::extent_t> chain = {{cut * 512, size - cut * 512}, {0, cut * 512}};
    ember::fs::extent_source_c swapped(source, chain, size);
    const uint64_t jump[] = {size - cut * 512};
    walk_all(swapped, jump);
    return 0;
}
