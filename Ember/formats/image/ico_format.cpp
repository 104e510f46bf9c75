// Windows icons: a directory of images (each a PNG or a headerless bitmap); the end is the
// furthest image end the directory records, and every image must start like one.
#include <cstring>

#include "core/byte_order.h"
#include "formats/image/image_types.h"

namespace ember {
namespace {

constexpr uint16_t max_icon_images = 64;
constexpr uint32_t max_icon_image = 16 * 1024 * 1024;
constexpr uint32_t entry_size = 16;
constexpr uint32_t dib_header = 40;

bool sound_image(carve_input_c& in, uint32_t offset, uint32_t size) {
    const uint8_t* p = in.at(offset, 8);
    if (!p || size < 8) return false;
    if (std::memcmp(p, "\x89PNG\r\n\x1A\n", 8) == 0) return true;
    return load_le32(p) == dib_header && size >= dib_header;
}

carve_result_t carve_ico(carve_input_c& in) {
    const uint8_t* h = in.at(0, 6);
    if (!h) return {};
    uint16_t count = load_le16(h + 4);
    if (count == 0 || count > max_icon_images) return {};
    uint64_t directory_end = 6 + uint64_t(count) * entry_size;
    uint64_t end = directory_end;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = in.at(6 + uint64_t(i) * entry_size, entry_size);
        if (!e) return {};
        uint16_t planes = load_le16(e + 4), bpp = load_le16(e + 6);
        uint32_t size = load_le32(e + 8), offset = load_le32(e + 12);
        if (e[3] != 0 || planes > 1 || bpp > 32 || size == 0 || size > max_icon_image || offset < directory_end)
            return {};
        if (!sound_image(in, offset, size)) return {};
        uint64_t image_end = uint64_t(offset) + size;
        if (image_end > end) end = image_end;
    }
    if (end > in.size()) return {};
    return {end, "ico"};
}

bool probe_ico(const uint8_t* head, size_t size) {
    if (size < 22 || load_le16(head) != 0 || load_le16(head + 2) != 1) return false;
    uint16_t count = load_le16(head + 4);
    // First directory entry: reserved byte zero, first image right after the directory or later.
    return count > 0 && count <= max_icon_images && head[9] == 0 &&
           load_le32(head + 18) >= 6 + uint32_t(count) * entry_size;
}

}  // namespace

const format_t ico_format = {"ico", std::string_view("\0", 1), probe_ico, carve_ico};

}  // namespace ember
