// Deleted videos that were shot into the holes of deleted files, on real FAT32 and exFAT cards
// with real ffmpeg-made files (make_video_cards.py): each comes back whole by the chain first-fit
// allocation gave it (found by its structure where no entry tells which files were there, an MP4
// sample by sample where its own entry is gone too), and a chain through another video's
// clusters is never taken.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/byte_order.h"
#include "core/format_registry.h"
#include "core/scan.h"
#include "fs/allocation_chain.h"
#include "fs/fs_guide.h"
#include "fs/media_chain_check.h"
#include "fs_image_support.h"
#include "ember/support/memory_output.h"

using namespace ember;

namespace {

using ember_test::memory_output_c;

const char* const video_images[] = {"video_fat32.img", "video_exfat.img"};

bool has_video_cards() { return !fs_manifest("video_fat32.img").empty(); }

std::map<uint64_t, std::vector<uint8_t>> scan_with_guide(const std::vector<uint8_t>& bytes) {
    memory_source_c card(bytes);
    fs::fs_guide_c guide(card);
    memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    config.chunk_size = 1024 * 1024;
    scan_source(card, all_formats(), out, config);
    return out.files;
}

// The clusters of a manifest row's chain ("first+count" runs) as extents on the card.
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

fs::chain_verdict_t verdict(byte_source_i& card, const std::vector<fs::extent_t>& chain, uint64_t size,
                            uint32_t cluster_size, fs::structure_walk_fn walk) {
    fs::extent_source_c file(card, chain, size);
    std::vector<uint64_t> jumps;
    for (uint64_t at = 0, i = 0; i + 1 < chain.size(); ++i) jumps.push_back(at += chain[i].length);
    return fs::judge_chain(walk(file), jumps, size, cluster_size);
}

// Wipes the deleted file's own directory entry (FAT: its 8.3 slot; exFAT: its stream extension,
// so the set's checksum fails); returns how many were wiped.
int wipe_entry(std::vector<uint8_t>& bytes, const manifest_row_t& row, const char* extension) {
    int wiped = 0;
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) {
        uint8_t* e = &bytes[at];
        const uint32_t fat_first = uint32_t(e[20] | e[21] << 8) << 16 | (e[26] | e[27] << 8);
        const bool is_fat = e[0] == 0xE5 && std::equal(e + 8, e + 11, extension) && fat_first == row.first_cluster;
        const bool is_exfat = e[0] == 0x40 && load_le32(e + 20) == row.first_cluster && load_le64(e + 24) == row.size;
        if (is_fat || is_exfat) {
            std::fill_n(e + (is_fat ? 1 : 20), is_fat ? 31 : 12, 0);
            ++wiped;
        }
    }
    return wiped;
}

}  // namespace

TEST(video_chain, deleted_fragmented_videos_come_back_whole) {
    if (!has_video_cards()) GTEST_SKIP() << "no video cards (ffmpeg is not installed)";
    for (const char* image : video_images) {
        SCOPED_TRACE(image);
        std::vector<uint8_t> bytes = read_fs_image(image);
        memory_source_c card(bytes);
        const fs::fs_volume_t volume = fs::find_volumes(card).at(0);
        auto found = scan_with_guide(bytes);
        for (const manifest_row_t& row : fs_manifest(image)) {
            SCOPED_TRACE(row.path);
            auto it = found.find(volume.cluster_offset(row.first_cluster) / 512);
            ASSERT_NE(it, found.end());
            EXPECT_TRUE(it->second == read_fs_original(row));
        }
    }
}

TEST(video_chain, each_check_confirms_the_true_chain_and_rejects_one_through_another_video) {
    if (!has_video_cards()) GTEST_SKIP() << "no video cards (ffmpeg is not installed)";
    for (const char* image : video_images) {
        SCOPED_TRACE(image);
        std::vector<uint8_t> bytes = read_fs_image(image);
        memory_source_c card(bytes);
        const fs::fs_volume_t v = fs::find_volumes(card).at(0);
        const manifest_row_t mp4 = fs_manifest_row(image, "DCIM/100PLAIN/CLIP0001.MP4");
        const manifest_row_t avi = fs_manifest_row(image, "DCIM/100PLAIN/CLIP0002.AVI");
        const manifest_row_t mpg = fs_manifest_row(image, "DCIM/100PLAIN/CLIP0004.MPG");
        const manifest_row_t mts = fs_manifest_row(image, "DCIM/100PLAIN/CLIP0005.MTS");
        const manifest_row_t dv = fs_manifest_row(image, "DCIM/103GROW/CLIP0007.DV");
        const manifest_row_t mkv = fs_manifest_row(image, "DCIM/106GROW/CLIP0010.MKV");
        const manifest_row_t ogg = fs_manifest_row(image, "DCIM/107GROW/REC0011.OGG");
        for (const auto& [row, other, walk] :
             {std::tuple{mp4, avi, &fs::walk_iso_media}, std::tuple{avi, mp4, &fs::walk_riff_avi},
              std::tuple{mpg, mts, &fs::walk_mpeg_ps}, std::tuple{mts, mpg, &fs::walk_mpeg_ts},
              std::tuple{dv, mts, &fs::walk_dv}, std::tuple{mkv, mp4, &fs::walk_matroska},
              std::tuple{ogg, mkv, &fs::walk_ogg}}) {
            SCOPED_TRACE(row.path);
            std::vector<fs::extent_t> chain = chain_of(v, row);
            ASSERT_GE(chain.size(), 3u);
            EXPECT_EQ(verdict(card, chain, row.size, v.cluster_size, walk), fs::chain_verdict_t::confirmed);
            // The second stretch taken from the other video's clusters, as long.
            std::vector<fs::extent_t> wrong = chain;
            wrong[1].offset = chain_of(v, other)[1].offset;
            EXPECT_EQ(verdict(card, wrong, row.size, v.cluster_size, walk), fs::chain_verdict_t::rejected);
        }
    }
}

TEST(video_chain, a_video_whose_gap_no_entry_explains_is_not_joined_wrong) {
    // The small video in the MOV's gap, and the file whose hole it filled, leave no entry (their
    // slots wiped): the
    // plain chain runs through the small video's clusters and nothing says to skip them. The MOV
    // may come back as its head, or whole by its samples, never as a file that differs from the
    // original.
    if (!has_video_cards()) GTEST_SKIP() << "no video cards (ffmpeg is not installed)";
    std::vector<uint8_t> bytes = read_fs_image("video_fat32.img");
    const manifest_row_t walk = fs_manifest_row("video_fat32.img", "DCIM/101CROSS/WALK.MP4");
    int wiped = 0;
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) {
        uint8_t* e = &bytes[at];
        if (e[0] == 0xE5 && e[11] == 0x20 && (uint32_t(e[20] | e[21] << 8) << 16 | (e[26] | e[27] << 8)) == walk.first_cluster) {
            std::fill_n(e + 1, 31, 0);
            ++wiped;
        }
    }
    ASSERT_GE(wiped, 1);
    memory_source_c card(bytes);
    const fs::fs_volume_t v = fs::find_volumes(card).at(0);
    const manifest_row_t mov = fs_manifest_row("video_fat32.img", "DCIM/101CROSS/CLIP0003.MOV");
    auto found = scan_with_guide(bytes);
    auto it = found.find(v.cluster_offset(mov.first_cluster) / 512);
    if (it == found.end()) return;
    std::vector<uint8_t> original = read_fs_original(mov);
    ASSERT_LE(it->second.size(), original.size());
    EXPECT_TRUE(std::equal(it->second.begin(), it->second.end(), original.begin()));
}

TEST(video_chain, an_mp4_no_entry_names_comes_back_sample_by_sample) {
    // The MP4 shot between photos loses its own directory entry (FAT: its 8.3 slot; exFAT: its
    // stream extension, so the set's checksum fails): only its structure is left, the movie box
    // after the media data and the sample tables in it.
    if (!has_video_cards()) GTEST_SKIP() << "no video cards (ffmpeg is not installed)";
    for (const char* image : video_images) {
        SCOPED_TRACE(image);
        std::vector<uint8_t> bytes = read_fs_image(image);
        const manifest_row_t mp4 = fs_manifest_row(image, "DCIM/102MANY/CLIP0006.MP4");
        ASSERT_EQ(wipe_entry(bytes, mp4, "MP4"), 1);
        memory_source_c card(bytes);
        const fs::fs_volume_t v = fs::find_volumes(card).at(0);
        auto found = scan_with_guide(bytes);
        auto it = found.find(v.cluster_offset(mp4.first_cluster) / 512);
        ASSERT_NE(it, found.end());
        EXPECT_TRUE(it->second == read_fs_original(mp4));
    }
}

TEST(video_chain, an_avi_no_entry_names_comes_back_chunk_by_chunk) {
    // The AVI shot into six holes between files whose heads start no file loses its own entry:
    // where its chunks stop, the one free cluster after at whose place they go on is followed.
    if (!has_video_cards()) GTEST_SKIP() << "no video cards (ffmpeg is not installed)";
    for (const char* image : video_images) {
        SCOPED_TRACE(image);
        std::vector<uint8_t> bytes = read_fs_image(image);
        const manifest_row_t avi = fs_manifest_row(image, "DCIM/104GROW/CLIP0008.AVI");
        ASSERT_EQ(wipe_entry(bytes, avi, "AVI"), 1);
        memory_source_c card(bytes);
        const fs::fs_volume_t v = fs::find_volumes(card).at(0);
        auto found = scan_with_guide(bytes);
        auto it = found.find(v.cluster_offset(avi.first_cluster) / 512);
        ASSERT_NE(it, found.end());
        EXPECT_TRUE(it->second == read_fs_original(avi)) << it->second.size() << " bytes of " << avi.size;
    }
}

TEST(video_chain, a_video_whose_neighbours_left_no_entry_comes_back_by_its_structure) {
    // The AVI and the DV keep their entries, every other deleted file on the exFAT card loses its
    // own (the stream extension wiped): nothing tells which clusters they went round. Where the
    // AVI's chunks stop inside a frame, the frame decodes whole at one cluster boundary only, and
    // the chunks go on in one free cluster after it; where the DV's blocks stop being in place,
    // they go on in the one free cluster whose blocks stand where the break's place says.
    if (!has_video_cards()) GTEST_SKIP() << "no video cards (ffmpeg is not installed)";
    std::vector<uint8_t> bytes = read_fs_image("video_exfat.img");
    const manifest_row_t clips[] = {fs_manifest_row("video_exfat.img", "DCIM/104GROW/CLIP0008.AVI"),
                                    fs_manifest_row("video_exfat.img", "DCIM/103GROW/CLIP0007.DV")};
    int wiped = 0;
    for (size_t at = 32; at + 32 <= bytes.size(); at += 32) {
        // A deleted file's entry, then its stream extension: as many name entries as its name needs.
        const uint8_t* file = &bytes[at - 32];
        uint8_t* e = &bytes[at];
        const uint64_t size = load_le64(e + 24);
        if (file[0] == 0x05 && e[0] == 0x40 && (e[1] & 1) && e[3] && (e[3] + 14) / 15 + 1 == file[1] && size &&
            size < bytes.size() && load_le32(e + 20) != clips[0].first_cluster && load_le32(e + 20) != clips[1].first_cluster) {
            std::fill_n(e + 20, 12, 0);
            ++wiped;
        }
    }
    ASSERT_GE(wiped, 12);
    memory_source_c card(bytes);
    const fs::fs_volume_t v = fs::find_volumes(card).at(0);
    auto found = scan_with_guide(bytes);
    for (const manifest_row_t& clip : clips) {
        SCOPED_TRACE(clip.path);
        auto it = found.find(v.cluster_offset(clip.first_cluster) / 512);
        ASSERT_NE(it, found.end());
        EXPECT_TRUE(it->second == read_fs_original(clip)) << it->second.size() << " bytes of " << clip.size;
    }
}
