// TIFF and the TIFF-based camera RAW files. The end is the furthest byte the IFD structure
// references; the extension comes from the maker (Make) when the file holds raw sensor data,
// from DNGVersion for DNG, and from the private magic for CR2, ORF and RW2.
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/image_types.h"
#include "formats/image/tiff_walk.h"

namespace ember {
namespace {

bool starts_with(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

const char* raw_extension(const tiff_facts_t& f) {
    if (f.is_dng) return "dng";
    if (!f.is_raw) return "tif";
    if (starts_with(f.make, "NIKON")) return "nef";
    if (starts_with(f.make, "PENTAX") || starts_with(f.make, "Asahi") || starts_with(f.make, "RICOH IMAGING"))
        return "pef";
    if (starts_with(f.make, "SONY")) return starts_with(f.model, "DSC-R1") ? "sr2" : "arw";
    if (starts_with(f.make, "Kodak") || starts_with(f.make, "KODAK") || starts_with(f.make, "Eastman Kodak"))
        return "dcr";
    return "tif";
}

// The walk's end, when the structure was sound and held image data.
carve_result_t finish(bool ok, const tiff_facts_t& f, const char* extension) {
    if (!ok || !f.has_image_data || f.end == 0) return {};
    return {f.end, extension};
}

carve_result_t carve_tif(carve_input_c& in) {
    tiff_facts_t f;
    bool ok = walk_tiff(in, 0, f);
    const uint8_t* h = in.at(0, 10);
    // CR2: "CR" and a version right after the TIFF header.
    if (h && h[8] == 'C' && h[9] == 'R') return finish(ok, f, "cr2");
    return finish(ok, f, raw_extension(f));
}

bool probe_tif(const uint8_t* head, size_t size) {
    if (size < 8) return false;
    bool little = std::memcmp(head, "II*\0", 4) == 0;
    if (!little && std::memcmp(head, "MM\0*", 4) != 0) return false;
    uint32_t first = little ? load_le32(head + 4) : load_be32(head + 4);
    return first >= 8;
}

// Olympus ORF: "IIRO", "IIRS" or "MMOR" in place of the TIFF magic.
carve_result_t carve_orf(carve_input_c& in) {
    const uint8_t* h = in.at(0, 8);
    if (!h) return {};
    bool little = h[0] == 'I';
    tiff_facts_t f;
    bool ok = walk_tiff_at(in, 0, little, little ? load_le32(h + 4) : load_be32(h + 4), f);
    return finish(ok, f, "orf");
}

bool probe_orf(const uint8_t* head, size_t size) {
    return size >= 8 && (std::memcmp(head, "IIRO", 4) == 0 || std::memcmp(head, "IIRS", 4) == 0 ||
                         std::memcmp(head, "MMOR", 4) == 0);
}

// Panasonic RW2 (and RAW, RWL): "IIU\0"; its sensor data is recorded as strips.
carve_result_t carve_rw2(carve_input_c& in) {
    const uint8_t* h = in.at(0, 8);
    if (!h) return {};
    tiff_facts_t f;
    bool ok = walk_tiff_at(in, 0, true, load_le32(h + 4), f);
    return finish(ok, f, "rw2");
}

bool probe_rw2(const uint8_t* head, size_t size) {
    return size >= 8 && std::memcmp(head, "IIU\0", 4) == 0 && load_le32(head + 4) >= 8;
}

}  // namespace

const format_t tif_format = {"tif", "IM", probe_tif, carve_tif};
const format_t orf_format = {"orf", "IM", probe_orf, carve_orf};
const format_t rw2_format = {"rw2", "I", probe_rw2, carve_rw2};

}  // namespace ember
