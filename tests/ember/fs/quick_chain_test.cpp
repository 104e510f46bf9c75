// Fragmented files that were on a quick-formatted card (make_quick_chain_cards.py): a WAV that
// went round a file whose stated size reaches over the clusters it went on in, and a photo whose
// entry's size takes in padding after its EOI, each come back whole by its first-fit chain, the
// same whether the card is scanned from memory or read in small chunks. Camera clips whose movie
// box follows their media data (make_quick_chain_cards.py): one that went round a folder's later
// cluster comes back whole; one whose movie box was written over comes back as its first piece,
// one that a DV clip was written over up to where that clip starts, and the DV clip whole. A
// motion-JPEG clip that went round another file's second piece comes back whole: the frame the
// break lies in decodes whole at one cluster boundary only. A DV clip that went round another
// DV clip of the same length comes back whole, though that clip's clusters past its start read
// as well as its own rest. So does a WMA recording that went round another file's second piece,
// by its data packets, and a Flash video by its tags.
#include <gtest/gtest.h>

#include "core/format_registry.h"
#include "core/scan.h"
#include "ember/support/memory_output.h"
#include "fs/fs_guide.h"
#include "fs_image_support.h"

using namespace ember;

namespace {

const char image[] = "quick_chain_fat32.img";

// The card read as a device is, in chunks, not scanned in place.
class device_like_source_c final : public byte_source_i {
public:
    explicit device_like_source_c(byte_source_i& inner) : inner_(inner) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override { return inner_.read_at(offset, buf, len); }
    uint64_t size() const override { return inner_.size(); }

private:
    byte_source_i& inner_;
};

std::map<uint64_t, std::vector<uint8_t>> scan_card(byte_source_i& card, size_t chunk_size) {
    fs::fs_guide_c guide(card);
    ember_test::memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    config.chunk_size = chunk_size;
    scan_source(card, all_formats(), out, config);
    return out.files;
}

// A card image scanned whole, and the find at a manifest row's first cluster (null when none).
struct scanned_image_t {
    fs::fs_volume_t volume;
    std::map<uint64_t, std::vector<uint8_t>> found;

    explicit scanned_image_t(const char* image) {
        const std::vector<uint8_t> bytes = read_fs_image(image);
        memory_source_c card(bytes);
        volume = fs::find_volumes(card).at(0);
        found = scan_card(card, 1 << 20);
    }
    const std::vector<uint8_t>* at(const manifest_row_t& row) const {
        auto it = found.find(volume.cluster_offset(row.first_cluster) / 512);
        return it == found.end() ? nullptr : &it->second;
    }
};

}  // namespace

TEST(quick_chain, files_on_the_card_at_its_quick_format_come_back_whole) {
    if (fs_manifest(image).empty()) GTEST_SKIP() << "no quick-format chain card (sox is not installed)";
    std::vector<uint8_t> bytes = read_fs_image(image);
    memory_source_c card(bytes);
    const fs::fs_volume_t volume = fs::find_volumes(card).at(0);
    const auto whole = scan_card(card, 8 << 20);
    device_like_source_c device(card);
    for (const manifest_row_t& row : fs_manifest(image)) {
        SCOPED_TRACE(row.path);
        auto it = whole.find(volume.cluster_offset(row.first_cluster) / 512);
        ASSERT_NE(it, whole.end());
        EXPECT_TRUE(it->second == read_fs_original(row));
    }
    EXPECT_TRUE(scan_card(device, 64 * 1024) == whole);
}

TEST(quick_chain, a_clip_that_went_round_a_folder_cluster_comes_back_whole) {
    const char video[] = "quick_video_fat32.img";
    if (fs_manifest(video).empty()) GTEST_SKIP() << "no quick-format video card (ffmpeg is not installed)";
    const scanned_image_t card(video);
    const manifest_row_t row = fs_manifest_row(video, "DCIM/102CAMRA/MVI_0001.MOV");
    ASSERT_NE(card.at(row), nullptr);
    EXPECT_TRUE(*card.at(row) == read_fs_original(row));
}

TEST(quick_chain, a_clip_whose_movie_box_was_written_over_comes_back_as_its_first_piece) {
    const char video[] = "quick_video_fat32.img";
    if (fs_manifest(video).empty()) GTEST_SKIP() << "no quick-format video card (ffmpeg is not installed)";
    const scanned_image_t card(video);
    const manifest_row_t row = fs_manifest_row(video, "DCIM/104CAMRA/MVI_0002.MOV");
    const std::vector<uint8_t>* head = card.at(row);
    ASSERT_NE(head, nullptr);
    // The first piece ("first+count" of the chain), up to the photo the camera went round.
    const uint64_t first_piece = std::stoull(row.runs.substr(row.runs.find('+') + 1)) * card.volume.cluster_size;
    const std::vector<uint8_t> original = read_fs_original(row);
    ASSERT_EQ(head->size(), first_piece);
    EXPECT_TRUE(std::equal(head->begin(), head->end(), original.begin()));
}

TEST(quick_chain, a_clip_that_a_dv_clip_was_written_over_ends_where_that_clip_starts) {
    const char video[] = "quick_video_fat32.img";
    if (fs_manifest(video).empty()) GTEST_SKIP() << "no quick-format video card (ffmpeg is not installed)";
    const scanned_image_t card(video);
    const manifest_row_t mov = fs_manifest_row(video, "DCIM/105CAMRA/MVI_0003.MOV");
    const manifest_row_t dv = fs_manifest_row(video, "DCIM/105CAMRA/MVI_0004.DV");
    const std::vector<uint8_t>* head = card.at(mov);
    const std::vector<uint8_t>* whole = card.at(dv);
    ASSERT_NE(head, nullptr);
    ASSERT_NE(whole, nullptr);
    const std::vector<uint8_t> original = read_fs_original(mov);
    ASSERT_EQ(head->size(), uint64_t(dv.first_cluster - mov.first_cluster) * card.volume.cluster_size);
    EXPECT_TRUE(std::equal(head->begin(), head->end(), original.begin()));
    EXPECT_TRUE(*whole == read_fs_original(dv));
}

TEST(quick_chain, files_that_went_round_another_files_piece_come_back_whole) {
    // A motion-JPEG MOV, a DV clip that went round another DV clip, a WMA and a Flash video, each
    // on a quick-formatted card of its own: each is put together by its own structure.
    const struct {
        const char* image;
        const char* path;
    } cases[] = {{"quick_mjpeg_fat32.img", "DCIM/100CAMRA/MVI_0010.MOV"},
                 {"quick_dv_fat16.img", "DCIM/100CAMRA/MVI_0020.DV"},
                 {"quick_wma_fat16.img", "RECORD/REC_0001.WMA"},
                 {"quick_flv_fat16.img", "DCIM/100CAMRA/CLIP0001.FLV"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (fs_manifest(c.image).empty()) GTEST_SKIP() << "no quick-format card " << c.image << " (ffmpeg is not installed)";
        const scanned_image_t card(c.image);
        const manifest_row_t row = fs_manifest_row(c.image, c.path);
        ASSERT_NE(card.at(row), nullptr);
        EXPECT_TRUE(*card.at(row) == read_fs_original(row));
    }
}
