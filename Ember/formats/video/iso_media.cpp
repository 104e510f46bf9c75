// ISO base media and QuickTime files (mp4, mov, 3gp, 3g2): a walk over the top-level boxes.
// ftyp names the kind; moov and mdat must both be there, in either order (cameras write the
// media first and the index last). The sample tables in moov say which media bytes are the
// file's: media data that ends the file is trusted only as far as its samples reach, and the
// samples' starts are the file's own frames for the scan's checks inside it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/byte_order.h"
#include "core/format.h"
#include "iso_brand.h"
#include "iso_samples.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

// Fragmented recordings have a moof and an mdat per fragment; more boxes than this is junk.
constexpr uint32_t max_top_boxes = 1u << 20;
constexpr uint32_t max_ftyp_size = 4096;
// Larger than any card: a box claiming more is junk, not a file cut short.
constexpr uint64_t max_box_size = uint64_t(1) << 42;

bool is_top_level_type(uint32_t t) {
    switch (t) {
    case fourcc("ftyp"): case fourcc("moov"): case fourcc("mdat"): case fourcc("free"):
    case fourcc("skip"): case fourcc("wide"): case fourcc("pnot"): case fourcc("uuid"):
    case fourcc("meta"): case fourcc("moof"): case fourcc("mfra"): case fourcc("sidx"):
    case fourcc("ssix"): case fourcc("styp"): case fourcc("pdin"): case fourcc("prft"):
    case fourcc("emsg"): case fourcc("udta"): case fourcc("junk"): case fourcc("PICT"):
        return true;
    default:
        return false;
    }
}

// Boxes a file may start with: ftyp for anything modern, the others for classic QuickTime.
bool is_first_type(uint32_t t) {
    return t == fourcc("ftyp") || t == fourcc("moov") || t == fourcc("mdat") ||
           t == fourcc("wide") || t == fourcc("free") || t == fourcc("skip") || t == fourcc("pnot");
}

bool probe(const uint8_t* h, size_t size) {
    if (size < 16 || h[0] != 0) return false;
    uint32_t box = load_be32(h);
    if (box != 1 && box < 8) return false;
    return is_first_type(load_be32(h + 4));
}

// Where the last box is media data that no later box confirms, its stated size is trusted only
// as far as the samples reach, give or take this much (writers that pad their media data).
constexpr uint64_t max_media_slack = 64 * 1024;

carve_result_t carve(carve_input_c& in) {
    uint64_t pos = 0;
    bool has_moov = false, has_mdat = false, is_fragmented = false, is_open_ended = false;
    uint64_t moov_body = 0, moov_end = 0;
    uint64_t last_body = 0;  // where the last box walked holds its contents
    uint32_t last_type = 0;
    std::vector<std::pair<uint64_t, uint64_t>> media;  // the mdat bodies, as far as the data goes
    const char* ext = "mov";  // classic QuickTime has no ftyp
    for (uint32_t n = 0; n < max_top_boxes; ++n) {
        const uint8_t* h = in.at(pos, 8);
        if (!h) break;
        uint64_t box = load_be32(h);
        uint32_t type = load_be32(h + 4);
        if (!is_top_level_type(type) || (n == 0 && !is_first_type(type))) break;
        uint64_t header = 8;
        if (box == 1) {
            if (!in.be64(pos + 8, box)) break;
            header = 16;
        } else if (box == 0) {
            // "Runs to the end of the file": on a card there is no such end. Media data that runs
            // so ends with its last sample; anything else is kept only when the file is whole
            // before this box.
            if (type == fourcc("mdat") && n > 0) {
                media.emplace_back(pos + 8, in.size());
                has_mdat = is_open_ended = true;
                last_body = pos + 8, last_type = type;
                pos = in.size();
            }
            break;
        }
        if (box < header || box > max_box_size) break;
        if (type == fourcc("ftyp")) {
            if (n != 0 || box < 16 || box > max_ftyp_size) break;
            const uint8_t* f = in.at(pos, size_t(box));
            if (!f) break;
            ext = iso_kind_of(f, uint32_t(box));
            if (!ext) return {};
        } else if (type == fourcc("moov")) {
            // The first child must look like a box that fits.
            const uint8_t* c = in.at(pos + header, 8);
            if (c && (load_be32(c) < 8 || load_be32(c) > box - header || !is_fourcc_text(c + 4)))
                break;
            has_moov = true;
            moov_body = pos + header;
            moov_end = std::min(pos + box, in.size());
        } else if (type == fourcc("mdat")) {
            has_mdat = true;
            media.emplace_back(std::min(pos + header, in.size()), std::min(pos + box, in.size()));
        } else if (type == fourcc("moof")) {
            is_fragmented = true;
        }
        last_body = pos + header, last_type = type;
        if (box > in.size() - pos) {  // the data ends inside this box
            pos = in.size();
            break;
        }
        pos += box;
    }
    if (!has_moov || !has_mdat || pos == 0) return {};
    // The sample tables say which media bytes are the file's (fragments keep theirs elsewhere).
    iso_samples_t samples;
    if (!is_fragmented) samples = read_iso_samples(in, moov_body, moov_end, media);
    if (samples.samples == 0) return is_open_ended ? carve_result_t{} : carve_result_t{pos, ext};
    for (const auto& m : media) in.layout().add_payload(m.first, m.second - m.first);
    if (last_type == fourcc("mdat") && (is_open_ended || pos > samples.end + max_media_slack))
        pos = std::max(samples.end, last_body);
    return {pos, ext};
}

}  // namespace

const format_t iso_media_format = {"mov", std::string_view("\0", 1), probe, carve};

}  // namespace ember::video
