// Shared by the photo carver tests: the engine's order of trying the photo types, and inputs
// built around a file (followed by noise, zeros or another file, cut short, damaged).
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ember/support/carve_test_support.h"
#include "formats/image/image_types.h"

namespace ember_test {

// Offers the bytes to every photo type in dispatch order, as the scan does; the first that
// keeps a file wins.
inline ember::carve_result_t carve_photo(const std::vector<uint8_t>& bytes) {
    for (const ember::format_t* f : ember::image_formats()) {
        if (bytes.empty() || f->lead_bytes.find(char(bytes[0])) == std::string_view::npos) continue;
        ember::carve_result_t r = carve_bytes(*f, bytes);
        if (r.length) return r;
    }
    return {};
}

// Reads a whole file in one call (the camera files are megabytes).
inline std::vector<uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(file ? size_t(file.tellg()) : 0);
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

inline std::vector<uint8_t> noise(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = uint8_t(rng());
    return v;
}

// The bench-media files with one of these extensions (lower case, with the dot), sorted; none
// where the folder is absent.
inline std::vector<std::filesystem::path> bench_files(std::initializer_list<std::string> extensions) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(bench_media_root(), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string ext = it->path().extension().string();
        for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (it->is_regular_file() && std::find(extensions.begin(), extensions.end(), ext) != extensions.end())
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

inline std::vector<std::filesystem::path> bench_raw_files() {
    return bench_files({".nef", ".cr2", ".dng", ".gpr", ".rw2", ".raf", ".mrw", ".kdc", ".crw", ".x3f",
                        ".orf", ".pef", ".arw"});
}

inline std::vector<uint8_t> joined(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace ember_test
