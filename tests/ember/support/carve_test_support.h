// Small helpers for the carver tests: read a fixture, offer bytes to one type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/format.h"

namespace ember_test {

inline std::vector<uint8_t> read_bytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

inline std::filesystem::path fixture(const std::string& relative) {
    return std::filesystem::path(EMBER_FIXTURES_DIR) / relative;
}

// The shared camera files: TESSERA_BENCH_MEDIA from the environment when set, else the folder
// beside the source tree.
inline std::filesystem::path bench_media_root() {
    const char* env = std::getenv("TESSERA_BENCH_MEDIA");
    return env && *env ? std::filesystem::path(env) : std::filesystem::path(TESSERA_BENCH_MEDIA);
}

// probe() then carve() over the bytes, as the scan does at a sector start; length 0 when the
// probe refuses.
inline ember::carve_result_t carve_bytes(const ember::format_t& format,
                                         const std::vector<uint8_t>& bytes) {
    if (!format.probe(bytes.data(), std::min(bytes.size(), ember::probe_size))) return {};
    ember::carve_input_c in({bytes.data(), bytes.size()});
    return format.carve(in);
}

}  // namespace ember_test
