// The engine run on real cards (names, folders, times, deleted, quick-formatted): the index line
// of each picture says what was written to the card.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

#include "core/engine_options.h"
#include "engine_main.h"
#include "fs/fs_volume.h"
#include "fs_image_support.h"

namespace {

// The index's lines by find name, each as its fields; the header line checked.
std::map<std::string, std::vector<std::string>> read_index(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::map<std::string, std::vector<std::string>> lines;
    std::string line;
    EXPECT_TRUE(std::getline(in, line) && line == "# ember index 1") << path;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream text(line);
        for (std::string field; std::getline(text, field, '\t');) fields.push_back(field);
        if (line.back() == '\t') fields.push_back({});
        EXPECT_EQ(fields.size(), 7u) << line;
        if (fields.size() == 7) lines[fields[0]] = fields;
    }
    return lines;
}

}  // namespace

TEST(fs_index, each_picture_has_its_card_path_state_assembly_and_time) {
    std::vector<std::string> images = fs_names_images();
    images.insert(images.end(), {"fat32_quick.img", "exfat_quick.img"});
    for (const std::string& image : images) {
        SCOPED_TRACE(image);
        std::filesystem::path work =
            std::filesystem::temp_directory_path() / ("ember_index_" + std::to_string(::getpid()) + "_" + image);
        std::filesystem::remove_all(work);
        std::string card = std::string(EMBER_FS_IMAGES) + "/" + image;
        ASSERT_EQ(ember::engine_main("embsrv /d \"" + work.string() + "\" /cmd \"" + card +
                                     "\" fileopt,everything,disable,jpg,enable,png,enable,search"),
                  0);
        std::vector<uint8_t> bytes = read_fs_image(image);
        ember::memory_source_c source(bytes);
        std::vector<ember::fs::fs_volume_t> volumes = ember::fs::find_volumes(source);
        ASSERT_EQ(volumes.size(), 1u);
        const bool is_exfat = volumes[0].type == ember::fs::fs_type_t::exfat;
        std::map<std::string, std::vector<std::string>> index = read_index(work / ".ember_index");
        size_t pictures = 0;
        for (const manifest_row_t& row : fs_manifest(image)) {
            if (row.extension != "jpg" && row.extension != "png") continue;
            SCOPED_TRACE(row.path);
            ++pictures;
            std::string name = ember::found_file_name(volumes[0].cluster_offset(row.first_cluster) / 512, row.extension);
            auto line = index.find(name);
            ASSERT_NE(line, index.end()) << name;
            const std::vector<std::string>& f = line->second;
            EXPECT_EQ(f[1], row.shown_path);
            EXPECT_EQ(f[2], row.is_live ? "live" : "deleted");
            // Deleted exFAT files are contiguous by their entry (NoFatChain): their chain.
            EXPECT_EQ(f[3], row.is_live || is_exfat ? "chain" : "contiguous");
            if (row.modified != "*") {
                EXPECT_EQ(f[4], row.modified);
            }
            EXPECT_EQ(f[6], "whole");
        }
        EXPECT_EQ(index.size(), pictures) << "a find no picture explains";
        std::filesystem::remove_all(work);
    }
}
