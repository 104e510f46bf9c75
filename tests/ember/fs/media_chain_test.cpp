// Deleted fragmented WAV, AIFF, CAF (PCM and ALAC), WMV, GIF, TIFF and BMP files shot into the holes of
// deleted fillers on a real FAT32 card (make_chain_cards.py): each comes back whole by the chain
// first-fit allocation gave it, confirmed by its own structure; read from its first cluster on,
// through the live filler after its first piece, each walk breaks at or after that filler.
#include <gtest/gtest.h>

#include <sstream>

#include "core/format_registry.h"
#include "core/scan.h"
#include "fs/extent_source.h"
#include "fs/fs_guide.h"
#include "fs/media_chain_check.h"
#include "fs_image_support.h"
#include "ember/support/memory_output.h"

using namespace ember;

namespace {

const char image[] = "chain_fat32.img";

std::vector<fs::extent_t> chain_of(const fs::fs_volume_t& v, const manifest_row_t& row) {
    std::vector<fs::extent_t> out;
    std::stringstream runs(row.runs);
    for (std::string run; runs >> run;) {
        size_t plus = run.find('+');
        out.push_back({v.cluster_offset(uint32_t(std::stoul(run.substr(0, plus)))),
                       std::stoull(run.substr(plus + 1)) * v.cluster_size});
    }
    return out;
}

}  // namespace

TEST(media_chain, deleted_fragmented_files_of_each_checked_type_come_back_whole) {
    if (fs_manifest(image).empty()) GTEST_SKIP() << "no chain card (ffmpeg or sox is not installed)";
    std::vector<uint8_t> bytes = read_fs_image(image);
    memory_source_c card(bytes);
    fs::fs_guide_c guide(card);
    const fs::fs_volume_t volume = guide.reader().volumes().at(0);
    ember_test::memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    config.chunk_size = 1024 * 1024;
    scan_source(card, all_formats(), out, config);
    for (const manifest_row_t& row : fs_manifest(image)) {
        SCOPED_TRACE(row.path);
        auto it = out.files.find(volume.cluster_offset(row.first_cluster) / 512);
        ASSERT_NE(it, out.files.end());
        EXPECT_TRUE(it->second == read_fs_original(row));
    }
}

TEST(media_chain, each_walk_confirms_its_chain_and_breaks_where_another_file_begins) {
    if (fs_manifest(image).empty()) GTEST_SKIP() << "no chain card (ffmpeg or sox is not installed)";
    std::vector<uint8_t> bytes = read_fs_image(image);
    memory_source_c card(bytes);
    const fs::fs_volume_t volume = fs::find_volumes(card).at(0);
    for (const manifest_row_t& row : fs_manifest(image)) {
        SCOPED_TRACE(row.path);
        fs::structure_walk_fn walk = fs::structure_walk_for(row.extension);
        ASSERT_NE(walk, nullptr);
        const std::vector<fs::extent_t> chain = chain_of(volume, row);
        ASSERT_GT(chain.size(), 2u);
        fs::extent_source_c file(card, chain, row.size);
        std::vector<uint64_t> jumps;
        for (uint64_t at = 0, i = 0; i + 1 < chain.size(); ++i) jumps.push_back(at += chain[i].length);
        EXPECT_EQ(fs::judge_chain(walk(file), jumps, row.size, volume.cluster_size), fs::chain_verdict_t::confirmed);
        fs::extent_source_c run(card, {{chain[0].offset, row.size}}, row.size);
        fs::structure_walk_t w = walk(run);
        EXPECT_FALSE(w.is_sound);
        EXPECT_GE(w.failed_at, chain[0].length);
        EXPECT_LT(w.failed_at, row.size);
    }
}
