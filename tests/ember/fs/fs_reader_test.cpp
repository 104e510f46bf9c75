// The file-system reader on real card images (tests/ember/fs/make_fs_images.py): every file the
// manifest lists is an entry with its start cluster, size and extension, live files with their
// chains, deleted ones without; folders wiped by a quick format are found on the card; damaged
// structures (loops, clusters past the volume, folder cycles, bad checksums) are survived.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/byte_order.h"
#include "core/find_record.h"
#include "fs/extension_match.h"
#include "fs/fs_reader.h"
#include "fs_image_support.h"

using namespace ember;
using namespace ember::fs;

namespace {

const fs_entry_t* find_entry(const fs_reader_c& reader, uint32_t first, uint64_t size) {
    for (const fs_entry_t& e : reader.entries())
        if (e.first_cluster == first && e.size == size) return &e;
    return nullptr;
}

std::string runs_text(const fs_reader_c& reader, const fs_entry_t& e) {
    std::string text;
    for (const cluster_run_t& r : reader.runs(e))
        text += (text.empty() ? "" : " ") + std::to_string(r.first) + "+" + std::to_string(r.count);
    return text;
}

}  // namespace

TEST(fs_reader, every_file_of_every_image_with_its_chain_path_and_time) {
    std::vector<std::string> images = fs_test_images();
    for (const std::string& image : fs_names_images()) images.push_back(image);
    images.push_back("exfat_quick512.img");
    for (const std::string& image : images) {
        SCOPED_TRACE(image);
        std::vector<uint8_t> bytes = read_fs_image(image);
        ASSERT_FALSE(bytes.empty());
        memory_source_c source(bytes);
        fs_reader_c reader(source);
        ASSERT_EQ(reader.volumes().size(), 1u);
        // What a walk from the root does not reach, the scan's pass over the card finds.
        reader.observe(0, bytes.data(), bytes.size());
        for (const manifest_row_t& row : fs_manifest(image)) {
            SCOPED_TRACE(row.path);
            const fs_entry_t* e = find_entry(reader, row.first_cluster, row.size);
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(std::string(e->extension), row.extension);
            EXPECT_EQ(e->is_deleted, !row.is_live);
            EXPECT_EQ(runs_text(reader, *e), row.runs);
            EXPECT_EQ(reader.path_of(*e), row.shown_path);
            if (row.modified != "*") {
                EXPECT_EQ(format_card_time({e->modified, e->modified_utc, e->modified_10ms}), row.modified);
            }
        }
    }
}

TEST(fs_reader, volume_types_and_where_they_are) {
    struct want_t { const char* image; fs_type_t type; uint64_t start; };
    for (want_t w : {want_t{"fat16.img", fs_type_t::fat16, 0}, {"fat32_mbr.img", fs_type_t::fat32, 1 << 20},
                     {"fat32_quick.img", fs_type_t::fat32, 0}, {"exfat_gpt.img", fs_type_t::exfat, 1 << 20}}) {
        std::vector<uint8_t> bytes = read_fs_image(w.image);
        memory_source_c source(bytes);
        std::vector<fs_volume_t> volumes = find_volumes(source);
        ASSERT_EQ(volumes.size(), 1u) << w.image;
        EXPECT_EQ(volumes[0].type, w.type) << w.image;
        EXPECT_EQ(volumes[0].start, w.start) << w.image;
    }
}

TEST(fs_reader, a_quick_format_leaves_nothing_to_walk_but_the_folders_on_the_card) {
    for (const char* image : {"fat32_quick.img", "exfat_quick.img"}) {
        std::vector<uint8_t> bytes = read_fs_image(image);
        memory_source_c source(bytes);
        fs_reader_c reader(source);
        EXPECT_TRUE(reader.entries().empty()) << image;
        EXPECT_EQ(reader.observe(0, bytes.data(), bytes.size()), fs_manifest(image).size()) << image;
        for (const fs_entry_t& e : reader.entries()) EXPECT_TRUE(e.is_orphan && e.is_deleted) << image;
        // Seen once, never again.
        EXPECT_EQ(reader.observe(0, bytes.data(), bytes.size()), 0u) << image;
    }
}

TEST(fs_reader, damaged_structures_are_survived) {
    std::vector<uint8_t> bytes = read_fs_image("fat16.img");
    memory_source_c clean_source(bytes);
    const fs_volume_t v = fs_reader_c(clean_source).volumes()[0];
    auto set_fat16 = [&](uint32_t c, uint16_t value) {
        bytes[v.fat_offset + 2 * c] = uint8_t(value);
        bytes[v.fat_offset + 2 * c + 1] = uint8_t(value >> 8);
    };
    // The fragmented live photo's chain loops back to its start, the live PNG's leaves the
    // volume, and a live file is made larger than the card: the first two stand without
    // chains, the third is no entry.
    manifest_row_t fragmented = fs_manifest_row("fat16.img", "DCIM/100TESTS/IMG_0002.JPG");
    manifest_row_t png = fs_manifest_row("fat16.img", "DCIM/100TESTS/IMG_0004.PNG");
    manifest_row_t keep = fs_manifest_row("fat16.img", "DCIM/100TESTS/KEEP0.BIN");
    set_fat16(fragmented.first_cluster + 2, uint16_t(fragmented.first_cluster));
    set_fat16(png.first_cluster, 0xFFF0);
    size_t keep_entry = 0;
    for (size_t at = v.data_offset; at + 32 <= bytes.size() && !keep_entry; at += 32)
        if (std::memcmp(&bytes[at], "KEEP0   BIN", 11) == 0) keep_entry = at;
    ASSERT_NE(keep_entry, 0u);
    bytes[keep_entry + 31] = 0x7F;
    {
        memory_source_c source(bytes);
        fs_reader_c reader(source);
        const fs_entry_t* looped = find_entry(reader, fragmented.first_cluster, fragmented.size);
        const fs_entry_t* outside = find_entry(reader, png.first_cluster, png.size);
        ASSERT_NE(looped, nullptr);
        ASSERT_NE(outside, nullptr);
        EXPECT_FALSE(looped->is_deleted);
        EXPECT_EQ(looped->runs_count, 0u);
        EXPECT_EQ(outside->runs_count, 0u);
        for (const fs_entry_t& e : reader.entries()) EXPECT_NE(e.first_cluster, keep.first_cluster);
    }
    // DCIM's subfolder entry pointed at DCIM itself: a cycle the walk does not follow. The
    // folder behind it is still found on the card, as an orphan whose files count as deleted.
    size_t sub_entry = 0;
    for (size_t at = v.data_offset; at + 32 <= bytes.size() && !sub_entry; at += 32)
        if (std::memcmp(&bytes[at], "100TESTS   ", 11) == 0) sub_entry = at;
    ASSERT_NE(sub_entry, 0u);
    uint32_t dcim = v.cluster_at(sub_entry / v.cluster_size * v.cluster_size);
    ASSERT_NE(dcim, 0u);
    bytes[sub_entry + 26] = uint8_t(dcim);
    bytes[sub_entry + 27] = uint8_t(dcim >> 8);
    memory_source_c source(bytes);
    fs_reader_c reader(source);
    EXPECT_TRUE(reader.entries().empty());
    EXPECT_GT(reader.observe(0, bytes.data(), bytes.size()), 0u);
    const fs_entry_t* live = find_entry(reader, fragmented.first_cluster, fragmented.size);
    ASSERT_NE(live, nullptr);
    EXPECT_TRUE(live->is_orphan && live->is_deleted);
}

TEST(fs_reader, exfat_sets_with_a_bad_checksum_are_not_entries) {
    std::vector<uint8_t> bytes = read_fs_image("exfat_gpt.img");
    manifest_row_t row = fs_manifest_row("exfat_gpt.img", "DCIM/100TESTS/IMG_0001.JPG");
    memory_source_c clean_source(bytes);
    fs_reader_c clean(clean_source);
    ASSERT_NE(find_entry(clean, row.first_cluster, row.size), nullptr);
    // Change the size in the stream extension without mending the checksum.
    uint8_t size_bytes[8];
    for (int i = 0; i < 8; ++i) size_bytes[i] = uint8_t(row.size >> (8 * i));
    size_t hits = 0;
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32)
        if ((bytes[at] & 0x7F) == 0x40 && std::memcmp(&bytes[at + 24], size_bytes, 8) == 0) {
            bytes[at + 24] ^= 1;
            ++hits;
        }
    ASSERT_EQ(hits, 1u);
    memory_source_c source(bytes);
    fs_reader_c reader(source);
    reader.observe(0, bytes.data(), bytes.size());
    EXPECT_EQ(find_entry(reader, row.first_cluster, row.size), nullptr);
    EXPECT_EQ(find_entry(reader, row.first_cluster, row.size ^ 1), nullptr);
    EXPECT_EQ(reader.entries().size(), clean.entries().size() - 1);
}

TEST(fs_reader, an_entry_names_its_kind_by_extension_or_short_name) {
    EXPECT_TRUE(extension_matches("jpeg", "jpg"));
    EXPECT_TRUE(extension_matches("nef", "tif"));
    // An 8.3 entry keeps three letters of a longer extension.
    EXPECT_TRUE(extension_matches("web", "webm"));
    EXPECT_TRUE(extension_matches("fla", "flac"));
    EXPECT_TRUE(extension_matches("mts", "m2ts"));
    EXPECT_FALSE(extension_matches("we", "webm"));
    EXPECT_FALSE(extension_matches("png", "jpg"));
    EXPECT_FALSE(extension_matches("", "jpg"));
}

TEST(fs_reader, crafted_names_and_folders_that_hold_each_other_give_bounded_paths) {
    // fuzz/corpus/make_crafted_seeds.py: a 20-part long name of control characters, slashes,
    // lone surrogates and 0xFFFF; long names out of order or with a checksum no 8.3 name has; a
    // deleted long name; a folder that holds itself and a folder that holds it.
    std::ifstream in(std::string(EMBER_FS_CORPUS) + "/crafted_names_and_loops", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(bytes.empty());
    memory_source_c source(bytes);
    fs_reader_c reader(source);
    reader.observe(0, bytes.data(), bytes.size());
    std::vector<std::string> paths;
    for (const fs_entry_t& e : reader.entries()) paths.push_back(reader.path_of(e));
    // Units 1, 9, '\\', '/', D800 DC00 (one character, U+10000), DBFF alone, FFFF, 'A', 7F, ten
    // times 26, cut at 255 units: the last D800 has lost its partner.
    const std::string replaced = "\xEF\xBF\xBD";
    std::string crafted;
    for (int i = 0; i < 25; ++i)
        crafted += replaced + replaced + replaced + replaced + "\xF0\x90\x80\x80" + replaced + "\xEF\xBF\xBF" "A\x7F";
    for (int i = 0; i < 5; ++i) crafted += replaced;
    EXPECT_EQ(std::count(paths.begin(), paths.end(), crafted), 1);
    for (const char* want : {"SWAPPE~1.JPG", "BADSUM.JPG", "IMG_20240614_183012.jpg", "LOOP\\INNER.JPG",
                             "LOOP\\AGAIN\\INNER.JPG"})
        EXPECT_EQ(std::count(paths.begin(), paths.end(), want), 1) << want;
    EXPECT_EQ(paths.size(), 7u);
}
