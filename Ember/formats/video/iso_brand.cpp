#include "iso_brand.h"

#include "core/byte_order.h"

namespace ember::video {

const char* iso_kind_of(const uint8_t* ftyp, uint32_t size) {
    auto brand = [&](uint32_t b) -> const char* {
        if (b == fourcc("qt  ")) return "mov";
        if ((b >> 8) == (fourcc("3gp0") >> 8)) return "3gp";
        if ((b >> 8) == (fourcc("3g20") >> 8)) return "3g2";
        if (b == fourcc("heic") || b == fourcc("heix") || b == fourcc("mif1") ||
            b == fourcc("msf1") || b == fourcc("avif") || b == fourcc("crx ") ||
            b == fourcc("hevc") || b == fourcc("heim") || b == fourcc("heis"))
            return "";
        return nullptr;
    };
    const char* k = brand(load_be32(ftyp + 8));
    for (uint32_t off = 16; !k && off + 4 <= size; off += 4) k = brand(load_be32(ftyp + off));
    if (!k) return "mp4";
    return *k ? k : nullptr;
}

}  // namespace ember::video
