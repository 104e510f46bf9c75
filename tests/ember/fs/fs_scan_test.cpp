// The scan guided by the card's file system, on the real images: every picture comes back
// byte-exact at its first sector (a fragmented live one by its chain, deleted ones with padding
// at their entry's size, two-fragment deleted ones joined, those of folders a quick format cut
// off), and nothing else is found; progress never goes back, even for files gathered from
// further on.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/format_registry.h"
#include "core/scan.h"
#include "fs/fs_guide.h"
#include "fs_image_support.h"
#include "ember/support/counting_source.h"
#include "ember/support/memory_output.h"

using namespace ember;

namespace {

using ember_test::memory_output_c;

uint64_t first_sector(const fs::fs_volume_t& v, uint32_t cluster) { return v.cluster_offset(cluster) / 512; }

// Scans the card with its file system's guide and checks that the file comes back byte-exact.
void expect_found_whole(memory_source_c& card, const fs::fs_volume_t& volume, const manifest_row_t& row) {
    fs::fs_guide_c guide(card);
    memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    scan_source(card, all_formats(), out, config);
    auto found = out.files.find(first_sector(volume, row.first_cluster));
    ASSERT_NE(found, out.files.end());
    EXPECT_TRUE(found->second == read_fs_original(row));
}


// Scans the card with its file system's guide in several chunks and checks that every picture
// of the manifest comes back byte-exact at its first sector; returns the finds.
std::map<uint64_t, std::vector<uint8_t>> expect_every_picture(const std::vector<uint8_t>& bytes,
                                                              const std::string& image) {
    memory_source_c card(bytes);
    fs::fs_guide_c guide(card);
    EXPECT_EQ(guide.reader().volumes().size(), 1u);
    if (guide.reader().volumes().empty()) return {};
    const fs::fs_volume_t volume = guide.reader().volumes()[0];
    memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    config.chunk_size = 1024 * 1024;  // several chunks even on these small cards
    scan_source(card, all_formats(), out, config);
    for (const manifest_row_t& row : fs_manifest(image)) {
        if (row.extension == "bin") continue;
        SCOPED_TRACE(row.path);
        auto found = out.files.find(first_sector(volume, row.first_cluster));
        if (found == out.files.end()) {
            ADD_FAILURE() << "not found";
            continue;
        }
        std::vector<uint8_t> original = read_fs_original(row);
        EXPECT_EQ(found->second.size(), original.size());
        EXPECT_TRUE(found->second == original);
    }
    EXPECT_TRUE(out.is_progress_monotonic);
    return out.files;
}

// Points the FAT entry of a cluster at another cluster (or an end mark).
void set_fat(std::vector<uint8_t>& bytes, const fs::fs_volume_t& v, uint32_t cluster, uint32_t next) {
    if (v.type == fs::fs_type_t::fat16) {
        bytes[v.fat_offset + 2 * cluster] = uint8_t(next);
        bytes[v.fat_offset + 2 * cluster + 1] = uint8_t(next >> 8);
        return;
    }
    for (int i = 0; i < 4; ++i) bytes[v.fat_offset + 4 * cluster + i] = uint8_t(next >> (8 * i));
}

fs::fs_volume_t volume_of(const std::vector<uint8_t>& bytes) {
    memory_source_c card(bytes);
    std::vector<fs::fs_volume_t> volumes = fs::find_volumes(card);
    return volumes.empty() ? fs::fs_volume_t{} : volumes[0];
}

// The first cluster of the folder of that name: its 8.3 entry's, or the exFAT stream entry's
// before its name entry.
uint32_t folder_cluster(const std::vector<uint8_t>& bytes, const fs::fs_volume_t& v, const std::string& name) {
    std::string short_name = (name + "           ").substr(0, 11), utf16;
    for (char c : name) utf16 += std::string{c, 0};
    for (uint64_t at = v.start + 32; at + 32 <= bytes.size(); at += 32) {
        const uint8_t* e = &bytes[at];
        if (v.type != fs::fs_type_t::exfat) {
            if (std::string(reinterpret_cast<const char*>(e), 11) == short_name && (e[11] & 0x10))
                return uint32_t(e[20] | e[21] << 8) << 16 | uint32_t(e[26] | e[27] << 8);
        } else if (e[0] == 0xC1 && std::string(reinterpret_cast<const char*>(e) + 2, utf16.size() + 2) == utf16 + '\0' + '\0') {
            return uint32_t(e[-12] | e[-11] << 8 | e[-10] << 16 | uint32_t(e[-9]) << 24);
        }
    }
    ADD_FAILURE() << "no folder " << name;
    return 0;
}

}  // namespace

TEST(fs_scan, every_picture_whole_and_nothing_else) {
    for (const std::string& image : fs_test_images()) {
        SCOPED_TRACE(image);
        size_t pictures = 0;
        for (const manifest_row_t& row : fs_manifest(image)) pictures += row.extension != "bin";
        EXPECT_EQ(expect_every_picture(read_fs_image(image), image).size(), pictures);
    }
}

TEST(fs_scan, a_folder_whose_chain_runs_into_another_folder_leaves_that_folder_its_own) {
    // One FAT entry changed: a folder's chain goes on into another folder (the root into DCIM,
    // DCIM into its subfolder), which must still be read as a folder of its own, with every
    // picture beneath it (the fragmented live ones by their chains).
    struct case_t { const char* image; const char* from; const char* into; };
    for (case_t c : {case_t{"fat16.img", "DCIM", "100TESTS"}, {"fat32_mbr.img", nullptr, "DCIM"},
                     {"exfat_gpt.img", nullptr, "DCIM"}}) {
        SCOPED_TRACE(c.image);
        std::vector<uint8_t> bytes = read_fs_image(c.image);
        fs::fs_volume_t v = volume_of(bytes);
        set_fat(bytes, v, c.from ? folder_cluster(bytes, v, c.from) : v.root_cluster, folder_cluster(bytes, v, c.into));
        expect_every_picture(bytes, c.image);
    }
}

TEST(fs_scan, cross_linked_chains_keep_the_one_whose_bytes_hold_together) {
    // The contiguous live photo's chain is sent, two clusters before its end, into the last two
    // clusters of the fragmented live photo: both chains are as long as their sizes need and
    // end at an end mark, and share two clusters. Only the second photo's bytes hold together
    // by its chain; the first comes back from its own clusters on the card.
    std::vector<uint8_t> bytes = read_fs_image("fat16.img");
    manifest_row_t contiguous = fs_manifest_row("fat16.img", "DCIM/100TESTS/IMG_0001.JPG");
    manifest_row_t fragmented = fs_manifest_row("fat16.img", "DCIM/100TESTS/IMG_0002.JPG");
    ASSERT_EQ(contiguous.runs, std::to_string(contiguous.first_cluster) + "+10");
    uint32_t last_run = uint32_t(std::stoul(fragmented.runs.substr(fragmented.runs.rfind(' ') + 1)));
    uint32_t last_count = uint32_t(std::stoul(fragmented.runs.substr(fragmented.runs.rfind('+') + 1)));
    ASSERT_GE(last_count, 2u);
    fs::fs_volume_t v = volume_of(bytes);
    set_fat(bytes, v, contiguous.first_cluster + 7, last_run + last_count - 2);
    expect_every_picture(bytes, "fat16.img");
}

TEST(fs_scan, a_fat_of_random_numbers_takes_away_nothing_content_carving_finds) {
    // Every FAT entry a random cluster of the volume: the file system's answers contradict the
    // card's content everywhere. Every picture a scan without the file system finds whole comes
    // back as whole with it.
    for (const std::string& image : fs_test_images()) {
        SCOPED_TRACE(image);
        std::vector<uint8_t> bytes = read_fs_image(image);
        fs::fs_volume_t v = volume_of(bytes);
        uint64_t state = 12345;
        for (uint32_t c = 2; c < v.cluster_count + 2; ++c) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            set_fat(bytes, v, c, 2 + uint32_t((state >> 33) % v.cluster_count));
        }
        memory_source_c card(bytes);
        memory_output_c plain;
        scan_source(card, all_formats(), plain, {});
        fs::fs_guide_c guide(card);
        memory_output_c guided;
        scan_config_t config;
        config.guide = &guide;
        scan_source(card, all_formats(), guided, config);
        size_t whole = 0;
        for (const manifest_row_t& row : fs_manifest(image)) {
            if (row.extension == "bin") continue;
            SCOPED_TRACE(row.path);
            std::vector<uint8_t> original = read_fs_original(row);
            auto found = plain.files.find(first_sector(v, row.first_cluster));
            if (found == plain.files.end() || found->second != original) continue;
            ++whole;
            auto with_fs = guided.files.find(first_sector(v, row.first_cluster));
            ASSERT_NE(with_fs, guided.files.end());
            EXPECT_TRUE(with_fs->second == original);
        }
        EXPECT_GT(whole, 0u);
    }
}


TEST(fs_scan, a_live_file_whose_chain_is_damaged_comes_back_from_its_own_clusters) {
    // The contiguous live photo's chain is sent through free clusters after its third one; its
    // bytes on the card are whole.
    std::vector<uint8_t> bytes = read_fs_image("fat16.img");
    manifest_row_t row = fs_manifest_row("fat16.img", "DCIM/100TESTS/IMG_0001.JPG");
    ASSERT_EQ(row.runs, std::to_string(row.first_cluster) + "+10");
    memory_source_c card(bytes);
    const fs::fs_volume_t volume = fs::fs_guide_c(card).reader().volumes()[0];
    uint32_t from = row.first_cluster + 2, free_cluster = 4000;
    auto set_fat16 = [&](uint32_t c, uint32_t next) {
        bytes[volume.fat_offset + 2 * c] = uint8_t(next);
        bytes[volume.fat_offset + 2 * c + 1] = uint8_t(next >> 8);
    };
    set_fat16(from, free_cluster);
    for (uint32_t i = 0; i < 7; ++i) set_fat16(free_cluster + i, i == 6 ? 0xFFFF : free_cluster + i + 1);
    expect_found_whole(card, volume, row);
}

TEST(fs_scan, a_device_like_source_gives_the_same_finds) {
    // Through the read-ahead thread in small chunks, as a card is read.
    const std::vector<const format_t*> formats = all_formats();
    std::vector<uint8_t> bytes = read_fs_image("fat32_mbr.img");
    memory_source_c memory(bytes);
    counting_source_c device(bytes);
    memory_output_c from_memory, from_device;
    fs::fs_guide_c memory_guide(memory), device_guide(device);
    scan_config_t config;
    config.guide = &memory_guide;
    scan_source(memory, formats, from_memory, config);
    config.guide = &device_guide;
    config.chunk_size = 64 * 1024;
    config.read_ahead_depth = 2;
    scan_source(device, formats, from_device, config);
    EXPECT_EQ(from_memory.files, from_device.files);
    EXPECT_FALSE(from_memory.files.empty());
}

TEST(fs_scan, a_deleted_photo_whose_carve_ends_in_another_file_is_joined_not_padded) {
    // The two-fragment deleted JPEG's head is followed by the picture in its gap. With the FATs
    // and the root wiped (as a quick format leaves them) and that picture's header gone, the
    // head's carve runs on to the other picture's EOI: an end that is not the photo's, so its
    // entry's size is no padding, and its second fragment is found.
    std::vector<uint8_t> bytes = read_fs_image("fat32_mbr.img");
    manifest_row_t frag = fs_manifest_row("fat32_mbr.img", "DCIM/100TESTS/FRAG.JPG");
    manifest_row_t fill = fs_manifest_row("fat32_mbr.img", "DCIM/100TESTS/FILL.JPG");
    memory_source_c card(bytes);
    const fs::fs_volume_t volume = fs::fs_guide_c(card).reader().volumes()[0];
    ASSERT_EQ(volume.cluster_size, 512u);
    std::fill(bytes.begin() + volume.fat_offset, bytes.begin() + volume.data_offset, 0);
    std::fill_n(bytes.begin() + volume.cluster_offset(volume.root_cluster), 512, 0);
    std::fill_n(bytes.begin() + volume.cluster_offset(fill.first_cluster), 2 * 512, 0);
    expect_found_whole(card, volume, frag);
}

TEST(fs_scan, a_deleted_photo_whose_entry_is_gone_is_joined_across_the_live_file_in_its_gap) {
    // The two-fragment JPEG's directory slot holds another deleted file (a later one took it and
    // went too): no entry names the photo.
    // Its head's carve runs into the live picture in the gap; the rest, in the first free
    // clusters after that picture, decodes on from the head to the picture's EOI.
    std::vector<uint8_t> bytes = read_fs_image("fat32_mbr.img");
    manifest_row_t frag = fs_manifest_row("fat32_mbr.img", "DCIM/100TESTS/FRAG.JPG");
    const uint8_t entry[] = {0xE5, 'R', 'A', 'G', ' ', ' ', ' ', ' ', 'J', 'P', 'G'};
    auto slot = std::search(bytes.begin(), bytes.end(), std::begin(entry), std::end(entry));
    ASSERT_NE(slot, bytes.end());
    const char other[] = "\xE5THER   TXT\x20";
    std::copy_n(other, 12, slot);
    std::fill_n(slot + 12, 20, 0);
    memory_source_c card(bytes);
    const fs::fs_volume_t volume = fs::fs_guide_c(card).reader().volumes()[0];
    expect_found_whole(card, volume, frag);
}

TEST(fs_scan, a_photo_no_entry_names_is_not_joined_through_a_deleted_text_file_in_its_gap) {
    // The two-fragment JPEG with a deleted 8 KiB text file in its gap, its slot taken by another
    // deleted file: the carve runs on through the text to the photo's EOI, with no marker and no
    // live file to stop it. The picture does not decode through the text, so the text is left
    // out and the rest joined.
    std::vector<uint8_t> bytes = read_fs_image("fat32_mbr.img");
    manifest_row_t frag = fs_manifest_row("fat32_mbr.img", "DCIM/103TESTS/FRAG.JPG");
    const uint8_t entry[] = {0xE5, 'R', 'A', 'G', ' ', ' ', ' ', ' ', 'J', 'P', 'G'};
    auto slot = bytes.begin();
    for (; (slot = std::search(slot, bytes.end(), std::begin(entry), std::end(entry))) != bytes.end(); ++slot)
        if (uint32_t(slot[26] | slot[27] << 8 | slot[20] << 16 | slot[21] << 24) == frag.first_cluster) break;
    ASSERT_NE(slot, bytes.end());
    const char other[] = "\xE5THER   TXT\x20";
    std::copy_n(other, 12, slot);
    std::fill_n(slot + 12, 20, 0);
    memory_source_c card(bytes);
    const fs::fs_volume_t volume = fs::fs_guide_c(card).reader().volumes()[0];
    expect_found_whole(card, volume, frag);
}

TEST(fs_scan, a_carve_from_free_space_ends_where_a_live_file_begins) {
    std::vector<uint8_t> bytes = read_fs_image("fat32_mbr.img");
    manifest_row_t frag = fs_manifest_row("fat32_mbr.img", "DCIM/100TESTS/FRAG.JPG");
    manifest_row_t fill = fs_manifest_row("fat32_mbr.img", "DCIM/100TESTS/FILL.JPG");
    memory_source_c card(bytes);
    fs::fs_guide_c guide(card);
    const fs::fs_volume_t& volume = guide.reader().volumes()[0];
    uint64_t from = volume.cluster_offset(frag.first_cluster), live = volume.cluster_offset(fill.first_cluster);
    EXPECT_EQ(guide.free_length(from, 1 << 20), live - from);
    EXPECT_EQ(guide.free_length(from, live - from), live - from);
    EXPECT_EQ(guide.free_length(live, 1 << 20), 1u << 20);  // a live file's own clusters
}

TEST(fs_scan, a_deleted_photo_whose_rest_is_gone_is_named_and_cut) {
    // The two-fragment deleted JPEG's second fragment (the clusters after the live picture in
    // its gap) is wiped: its head comes back alone, up to the live picture, named by its entry
    // and marked cut; the live picture comes back whole by its chain.
    std::vector<uint8_t> bytes = read_fs_image("fat32_mbr.img");
    manifest_row_t frag = fs_manifest_row("fat32_mbr.img", "DCIM/100TESTS/FRAG.JPG");
    manifest_row_t fill = fs_manifest_row("fat32_mbr.img", "DCIM/100TESTS/FILL.JPG");
    const fs::fs_volume_t volume = volume_of(bytes);
    uint64_t head = fill.first_cluster - frag.first_cluster, rest = (frag.size + 511) / 512 - head;
    uint32_t after_fill = fill.first_cluster + uint32_t((fill.size + 511) / 512);
    std::fill_n(bytes.begin() + std::ptrdiff_t(volume.cluster_offset(after_fill)), rest * 512, 0);
    memory_source_c card(bytes);
    fs::fs_guide_c guide(card);
    memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    scan_source(card, all_formats(), out, config);
    const find_record_t& cut = out.records[first_sector(volume, frag.first_cluster)];
    EXPECT_EQ(out.files[first_sector(volume, frag.first_cluster)].size(), head * 512);
    EXPECT_EQ(cut.path, "DCIM\\100TESTS\\_RAG.JPG");
    EXPECT_EQ(cut.entry, find_entry_t::deleted);
    EXPECT_EQ(cut.assembly, find_assembly_t::carved);
    EXPECT_EQ(cut.end, find_end_t::cut);
    const find_record_t& live = out.records[first_sector(volume, fill.first_cluster)];
    EXPECT_EQ(live.path, "DCIM\\100TESTS\\FILL.JPG");
    EXPECT_EQ(live.entry, find_entry_t::live);
    EXPECT_EQ(live.assembly, find_assembly_t::chain);
    EXPECT_EQ(live.end, find_end_t::whole);
}
