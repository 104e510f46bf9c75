// The JPEG header walk and the choice of an embedded preview: portable, built from bytes here.
#include "media/jpeg_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "picture/preview_area.h"
#include "support/exif_preview.h"

namespace {

using bytes_t = std::vector<uint8_t>;

void segment(bytes_t& out, uint8_t marker, const bytes_t& body) {
    out.insert(out.end(), {0xFF, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)});
    out.insert(out.end(), body.begin(), body.end());
}

bytes_t exif_block(bool big, const bytes_t& thumbnail, uint32_t thumbnail_length) {
    std::string b = exif_preview::block(big, std::string(thumbnail.begin(), thumbnail.end()), thumbnail_length);
    return bytes_t(b.begin(), b.end());
}

const bytes_t small_thumbnail = {0xFF, 0xD8, 0xFF, 0xD9};

// SOI, an optional Exif block, a table, the frame header (baseline unless told) and a scan.
bytes_t jpeg(uint16_t width, uint16_t height, const bytes_t& exif = {}, uint8_t frame = 0xC0) {
    bytes_t out = {0xFF, 0xD8};
    if (!exif.empty()) segment(out, 0xE1, exif);
    segment(out, 0xDB, bytes_t(65, 1));
    segment(out, frame, {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), 1, 1, 0x11, 0});
    segment(out, 0xDA, {1, 1, 0, 0, 63, 0});
    out.insert(out.end(), {0x12, 0x34, 0xFF, 0xD9});
    return out;
}

jpeg_header_result_t read(const bytes_t& b, jpeg_header_t& h) { return read_jpeg_header(b.data(), b.size(), h); }

}  // namespace

TEST(jpeg_header, size_comes_from_the_frame_header_and_the_thumbnail_from_either_byte_order) {
    for (bool big : {false, true}) {
        bytes_t file = jpeg(4000, 3000, exif_block(big, small_thumbnail, 4));
        jpeg_header_t h;
        ASSERT_EQ(read(file, h), jpeg_header_result_t::ok) << big;
        EXPECT_EQ(h.width, 4000u);
        EXPECT_EQ(h.height, 3000u);
        ASSERT_EQ(h.thumbnail_size, 4u);
        EXPECT_EQ(bytes_t(file.begin() + h.thumbnail_offset, file.begin() + h.thumbnail_offset + 4), small_thumbnail);
    }
    jpeg_header_t h;
    EXPECT_EQ(read(jpeg(640, 480, {}, 0xC2), h), jpeg_header_result_t::ok) << "progressive";
    EXPECT_EQ(h.width, 640u);
    EXPECT_EQ(h.thumbnail_size, 0u) << "no Exif block, no thumbnail";
}

TEST(jpeg_header, a_thumbnail_is_offered_only_when_it_lies_inside_its_block_and_starts_a_jpeg) {
    jpeg_header_t h;
    ASSERT_EQ(read(jpeg(100, 80, exif_block(false, small_thumbnail, 5)), h), jpeg_header_result_t::ok);
    EXPECT_EQ(h.thumbnail_size, 0u) << "one byte past the block";
    ASSERT_EQ(read(jpeg(100, 80, exif_block(false, small_thumbnail, 0xFFFFFFFF)), h), jpeg_header_result_t::ok);
    EXPECT_EQ(h.thumbnail_size, 0u) << "a length that wraps";
    ASSERT_EQ(read(jpeg(100, 80, exif_block(true, {0x00, 0xD8, 0xFF, 0xD9}, 4)), h), jpeg_header_result_t::ok);
    EXPECT_EQ(h.thumbnail_size, 0u) << "not a JPEG";
    ASSERT_EQ(read(jpeg(100, 80, exif_block(false, {0xFF, 0xD8, 0x12, 0x34}, 4)), h), jpeg_header_result_t::ok);
    EXPECT_EQ(h.thumbnail_size, 0u) << "cut short: no end marker";
    ASSERT_EQ(read(jpeg(100, 80, exif_block(false, {0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0x00}, 6)), h),
              jpeg_header_result_t::ok);
    EXPECT_EQ(h.thumbnail_size, 6u) << "padding after the end marker";
    bytes_t looping = exif_block(true, small_thumbnail, 4);
    looping[6 + 4 + 3] = 200;  // IFD0's offset, far past the block
    ASSERT_EQ(read(jpeg(100, 80, looping), h), jpeg_header_result_t::ok);
    EXPECT_EQ(h.thumbnail_size, 0u);
    EXPECT_EQ(h.width, 100u) << "a broken Exif block does not hide the size";
}

TEST(jpeg_header, truncated_corrupt_and_foreign_data_are_told_apart) {
    bytes_t file = jpeg(4000, 3000, exif_block(false, small_thumbnail, 4));
    size_t frame_end = file.size() - 14;  // the scan header and data follow the frame header
    jpeg_header_t h;
    for (size_t cut = 2; cut < frame_end; ++cut) {
        bytes_t part(file.begin(), file.begin() + cut);
        EXPECT_EQ(read(part, h), jpeg_header_result_t::truncated) << cut;
    }
    EXPECT_EQ(read({0x89, 'P', 'N', 'G'}, h), jpeg_header_result_t::not_this_format);
    EXPECT_EQ(read({0xFF}, h), jpeg_header_result_t::not_this_format);

    bytes_t filled = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF};  // fill bytes before a marker are allowed
    bytes_t rest = jpeg(10, 20);
    filled.insert(filled.end(), rest.begin() + 3, rest.end());
    ASSERT_EQ(read(filled, h), jpeg_header_result_t::ok);
    EXPECT_EQ(h.height, 20u);

    EXPECT_EQ(read(jpeg(0, 20), h), jpeg_header_result_t::corrupt) << "width 0";
    EXPECT_EQ(read(jpeg(10, 0), h), jpeg_header_result_t::corrupt) << "height left to a DNL marker";
    EXPECT_EQ(h.width, 0u);
    EXPECT_EQ(read({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x01}, h), jpeg_header_result_t::corrupt) << "length 1";
    EXPECT_EQ(read({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}, h), jpeg_header_result_t::corrupt) << "scan first";
    EXPECT_EQ(read({0xFF, 0xD8, 0x12, 0xFF}, h), jpeg_header_result_t::corrupt) << "no marker";
}

namespace {

// A 24-bit preview of w x h: black, with a grey middle of mw x mh (the picture).
struct preview_t {
    std::vector<uint8_t> bits;
    pixel_rows_t rows;
    preview_t(int32_t w, int32_t h, int32_t mw, int32_t mh, uint8_t band = 0) {
        size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
        bits.assign(stride * size_t(h), band);
        for (int32_t y = (h - mh) / 2; y < (h - mh) / 2 + mh; ++y)
            for (int32_t x = (w - mw) / 2; x < (w - mw) / 2 + mw; ++x)
                for (int c = 0; c < 3; ++c) bits[size_t(y) * stride + size_t(x) * 3 + c] = 160;
        rows = {bits.data(), w, h, stride, 3};
    }
};

}  // namespace

TEST(preview_area, a_preview_of_the_photo_s_shape_is_used_whole_and_black_bands_are_cut_off) {
    pixel_area_t area;
    preview_t same(160, 120, 160, 120);
    ASSERT_TRUE(find_preview_area(same.rows, 4000, 3000, 117, 82, area));
    EXPECT_EQ(area.width, 160);
    EXPECT_EQ(area.height, 120);
    ASSERT_TRUE(find_preview_area(same.rows, 4032, 3024, 117, 82, area));
    EXPECT_EQ(area.height, 120);

    preview_t letterbox(160, 120, 160, 107);  // a 3:2 photo in a DCF preview
    ASSERT_TRUE(find_preview_area(letterbox.rows, 6000, 4000, 117, 82, area));
    EXPECT_EQ(area.top, 6);
    EXPECT_EQ(area.height, 107);
    EXPECT_EQ(area.width, 160);

    preview_t pillarbox(160, 120, 120, 120);
    ASSERT_TRUE(find_preview_area(pillarbox.rows, 2000, 2000, 117, 82, area));
    EXPECT_EQ(area.left, 20);
    EXPECT_EQ(area.width, 120);
}

TEST(preview_area, a_preview_of_another_shape_or_too_small_cannot_stand_in) {
    pixel_area_t area;
    preview_t stretched(160, 120, 160, 120);  // a 3:2 photo squeezed into 4:3: no bands
    EXPECT_FALSE(find_preview_area(stretched.rows, 6000, 4000, 117, 82, area));
    preview_t grey_bands(160, 120, 160, 107, 90);
    EXPECT_FALSE(find_preview_area(grey_bands.rows, 6000, 4000, 117, 82, area));
    preview_t tiny(80, 60, 80, 60);
    EXPECT_FALSE(find_preview_area(tiny.rows, 4000, 3000, 117, 82, area));
    preview_t narrow(160, 120, 160, 60);  // 8:3: 60 rows are fewer than a thumbnail's 82
    EXPECT_FALSE(find_preview_area(narrow.rows, 8000, 3000, 117, 82, area));
    EXPECT_FALSE(find_preview_area(stretched.rows, 0, 3000, 117, 82, area));
}

TEST(jpeg_header, the_exif_block_gives_the_camera_and_the_moment_the_photo_was_taken) {
    for (bool big : {false, true}) {
        std::string b = exif_preview::camera_block(big, "Canon", "Canon EOS 5D", "2024:06:14 18:30:12");
        jpeg_header_t h;
        ASSERT_EQ(read(jpeg(4000, 3000, bytes_t(b.begin(), b.end())), h), jpeg_header_result_t::ok);
        EXPECT_STREQ(h.make, "Canon");
        EXPECT_STREQ(h.model, "Canon EOS 5D");
        EXPECT_STREQ(h.date_taken, "2024:06:14 18:30:12");
    }
    // A string's count running past the block is not read; a long one is cut to its field.
    std::string b = exif_preview::camera_block(false, std::string(60, 'M'), "X", "2024:06:14 18:30:12");
    jpeg_header_t h;
    read(jpeg(10, 10, bytes_t(b.begin(), b.end())), h);
    EXPECT_EQ(std::string(h.make), std::string(31, 'M'));
    b[6 + 8 + 2 + 4] = char(0xFF);  // Make's count: far past the block
    read(jpeg(10, 10, bytes_t(b.begin(), b.end())), h);
    EXPECT_STREQ(h.make, "");
    EXPECT_STREQ(h.model, "X");
}
