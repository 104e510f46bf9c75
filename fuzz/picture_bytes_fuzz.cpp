// Fuzz target for the check every found picture passes before a decoder sees it: what it hands
// on must be a whole file of its format, which the same check passes unchanged.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "picture/picture_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out, again;
    picture_bytes_result_t result = prepare_picture_bytes(data, size, out);
    bool may_have_bytes = result == picture_bytes_result_t::ok || result == picture_bytes_result_t::truncated;
    if (!out.empty() && !may_have_bytes) std::abort();
    if (out.empty()) return 0;
    if (prepare_picture_bytes(out.data(), out.size(), again) != picture_bytes_result_t::ok || again != out) std::abort();
    return 0;
}
