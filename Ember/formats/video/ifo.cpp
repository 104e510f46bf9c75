// DVD information files (VIDEO_TS.IFO, VTS_nn_0.IFO and their .BUP copies): the header states
// the IFO's last sector.
#include <cstring>

#include "core/byte_order.h"
#include "core/format.h"
#include "video_formats.h"
#include "video_util.h"

namespace ember::video {
namespace {

constexpr uint64_t dvd_sector = 2048;
constexpr uint32_t max_ifo_sectors = 4096;  // IFOs hold tables of a few KB to a few hundred KB

bool probe(const uint8_t* h, size_t size) {
    return size >= 0x20 && std::memcmp(h, "DVDVIDEO-V", 10) == 0 &&
           (std::memcmp(h + 10, "MG", 2) == 0 || std::memcmp(h + 10, "TS", 2) == 0);
}

carve_result_t carve(carve_input_c& in) {
    const uint8_t* h = in.at(0, 0x20);
    if (!h) return {};
    uint32_t last_set = load_be32(h + 0x0C), last_ifo = load_be32(h + 0x1C);
    if (last_ifo >= max_ifo_sectors || last_ifo > last_set) return {};
    return {clamp_end((uint64_t(last_ifo) + 1) * dvd_sector, in.size()), "ifo"};
}

}  // namespace

const format_t ifo_format = {"ifo", "D", probe, carve};

}  // namespace ember::video
