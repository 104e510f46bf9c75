#include "formats/raw_samples.h"

#include <algorithm>
#include <cstring>

namespace ember {
namespace {

constexpr uint64_t sector = 512;

bool is_zero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word) return false;
    }
    return true;
}

}  // namespace

uint64_t raw_sample_end(carve_input_c& in, uint64_t begin, uint64_t stated, uint64_t zero_run) {
    uint64_t end = std::min(stated, in.size());
    uint64_t run_start = 0, run = 0;
    uint8_t signature[4] = {};
    if (const uint8_t* own = in.at(0, sizeof signature)) std::memcpy(signature, own, sizeof signature);
    for (uint64_t pos = (begin + sector - 1) / sector * sector; pos + sector <= end;) {
        std::span<const uint8_t> span = in.run(pos);
        if (span.size() < sector) break;
        size_t n = size_t(std::min<uint64_t>(span.size(), end - pos)) / sector * sector;
        for (size_t at = 0; at < n; at += sector) {
            if (pos + at > 0 && std::memcmp(span.data() + at, signature, sizeof signature) == 0)
                return std::max(begin, pos + at);
            if (!is_zero(span.data() + at, sector)) {
                run = 0;
                continue;
            }
            if (run == 0) run_start = pos + at;
            run += sector;
            if (run >= zero_run) return std::max(begin, run_start);
        }
        pos += n;
    }
    return end;
}

}  // namespace ember
