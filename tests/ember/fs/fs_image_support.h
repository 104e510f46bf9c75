// The card images made by make_fs_images.py (in EMBER_FS_IMAGES) and their manifest.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct manifest_row_t {
    std::string image, path, extension, runs, original;
    std::string shown_path;  // as the index shows it
    std::string modified;    // as the index shows it; "*" when not known
    uint32_t first_cluster = 0;
    uint64_t size = 0;
    bool is_live = false;
};

inline std::vector<uint8_t> read_fs_file(const std::string& name) {
    std::ifstream file(std::string(EMBER_FS_IMAGES) + "/" + name, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(file ? size_t(file.tellg()) : 0);
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

inline std::vector<uint8_t> read_fs_image(const std::string& image) { return read_fs_file(image); }
inline std::vector<uint8_t> read_fs_original(const manifest_row_t& row) { return read_fs_file("files/" + row.original); }

inline std::vector<manifest_row_t> fs_manifest(const std::string& image = {}) {
    std::ifstream file(std::string(EMBER_FS_IMAGES) + "/manifest.tsv");
    std::vector<manifest_row_t> rows;
    for (std::string line; std::getline(file, line);) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
        if (!line.empty() && line.back() == '\t') f.push_back({});  // an empty last column
        if (f.size() != 10 || (!image.empty() && f[0] != image)) continue;
        rows.push_back({f[0], f[1], f[2], f[6], f[7], f[8], f[9], uint32_t(std::stoul(f[3])), std::stoull(f[4]),
                        f[5] == "live"});
    }
    return rows;
}

inline manifest_row_t fs_manifest_row(const std::string& image, const std::string& path) {
    for (const manifest_row_t& row : fs_manifest(image))
        if (row.path == path) return row;
    ADD_FAILURE() << "no " << path << " in " << image;
    return {};
}

inline std::vector<std::string> fs_test_images() {
    return {"fat16.img", "fat32_mbr.img", "fat32_quick.img", "exfat_gpt.img", "exfat_quick.img"};
}

// Camera and phone names, known times, crafted names (besides pictures, files no carver finds).
inline std::vector<std::string> fs_names_images() { return {"fat32_names.img", "exfat_names.img"}; }
