// JPEG end rules on real encoder output with EXIF and MPF blocks built around it: a thumbnail's
// EOI never ends the photo, MPF images after the EOI belong to the file, and damage cuts the
// photo where its data stops being valid.
#include <gtest/gtest.h>

#include "ember/image/image_test_support.h"

namespace ember_test {
namespace {

std::vector<uint8_t> jpeg_fixture(const char* name) { return read_file(fixture(std::string("image/") + name)); }

void put_be16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = uint8_t(x >> 8);
    v[at + 1] = uint8_t(x);
}

// A segment (marker, length, body) inserted right after SOI.
std::vector<uint8_t> with_segment(const std::vector<uint8_t>& jpeg, uint8_t marker, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> seg = {0xFF, marker, 0, 0};
    put_be16(seg, 2, uint16_t(body.size() + 2));
    seg.insert(seg.end(), body.begin(), body.end());
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), seg.begin(), seg.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// "Exif\0\0" and a little-endian TIFF: empty IFD0 chained to IFD1, which holds the thumbnail.
std::vector<uint8_t> exif_with_thumbnail(const std::vector<uint8_t>& thumb) {
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    auto le16 = [&](uint16_t x) { b.push_back(uint8_t(x)); b.push_back(uint8_t(x >> 8)); };
    auto le32 = [&](uint32_t x) { le16(uint16_t(x)); le16(uint16_t(x >> 16)); };
    le16(1);  // IFD0 at 8: orientation, then IFD1 at 26
    le16(274); le16(3); le32(1); le32(1);
    le32(26);
    le16(2);  // IFD1: JPEGInterchangeFormat (at 56) and its length
    le16(513); le16(4); le32(1); le32(56);
    le16(514); le16(4); le32(1); le32(uint32_t(thumb.size()));
    le32(0);
    b.insert(b.end(), thumb.begin(), thumb.end());
    return b;
}

TEST(jpeg_carver, a_thumbnails_end_marker_inside_exif_does_not_end_the_photo) {
    std::vector<uint8_t> photo = with_segment(jpeg_fixture("large.jpg"), 0xE1, exif_with_thumbnail(jpeg_fixture("thumb.jpg")));
    ember::carve_result_t r = carve_photo(joined(photo, noise(5000, 1)));
    EXPECT_EQ(r.length, photo.size());
    EXPECT_STREQ(r.extension, "jpg");
}

TEST(jpeg_carver, mpf_images_after_the_first_eoi_belong_to_the_file) {
    std::vector<uint8_t> second = jpeg_fixture("thumb.jpg");
    // MPF body: "MPF\0", TIFF header, one IFD with MPEntry: two 16-byte entries.
    std::vector<uint8_t> body = {'M', 'P', 'F', 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    auto le16 = [&](uint16_t x) { body.push_back(uint8_t(x)); body.push_back(uint8_t(x >> 8)); };
    auto le32 = [&](uint32_t x) { le16(uint16_t(x)); le16(uint16_t(x >> 16)); };
    le16(1);
    le16(0xB002); le16(7); le32(32); le32(26);
    le32(0);
    size_t first_entry = body.size();
    body.resize(body.size() + 32, 0);
    std::vector<uint8_t> photo = with_segment(jpeg_fixture("large.jpg"), 0xE2, body);
    // The MPF TIFF header sits 2 (SOI) + 4 (marker, length) + 4 ("MPF\0") bytes in.
    uint32_t offset = uint32_t(photo.size() - 10), size = uint32_t(second.size());
    size_t e = 2 + 4 + first_entry + 16;
    for (int k = 0; k < 4; ++k) {
        photo[e + 4 + k] = uint8_t(size >> 8 * k);
        photo[e + 8 + k] = uint8_t(offset >> 8 * k);
    }
    std::vector<uint8_t> file = joined(photo, second);
    EXPECT_EQ(carve_photo(joined(file, noise(3000, 2))).length, file.size());
    // An index that points at anything but a JPEG is not followed.
    std::vector<uint8_t> broken = file;
    broken[photo.size() + 1] = 0x00;
    EXPECT_EQ(carve_photo(broken).length, photo.size());
}

TEST(jpeg_carver, scan_data_that_meets_an_invalid_marker_is_cut_there) {
    std::vector<uint8_t> photo = jpeg_fixture("large.jpg");
    size_t at = photo.size() * 3 / 4;
    photo[at] = 0xFF;
    photo[at + 1] = 0x01;
    EXPECT_EQ(carve_photo(photo).length, at);
}

// The segments between the scans of a progressive photo are checked: a Huffman table that does
// not fill its segment, or an application segment there, is data that is not the photo.
TEST(jpeg_carver, a_broken_table_or_an_application_segment_between_scans_cuts_the_photo) {
    std::vector<uint8_t> photo = jpeg_fixture("large_progressive.jpg");
    ASSERT_EQ(carve_photo(photo).length, photo.size());
    // A scan header that follows a scan long enough to keep (stuffing keeps FF DA out of scan
    // data, so the marker can be looked for directly).
    size_t sos = 0, at = 0;
    for (size_t i = 2; i + 1 < photo.size() && !at; ++i) {
        if (photo[i] != 0xFF || photo[i + 1] != 0xDA) continue;
        if (sos && i > sos + 1100) at = i;
        sos = i;
    }
    ASSERT_NE(at, 0u) << "the fixture has a scan of over 1100 bytes followed by another";

    std::vector<uint8_t> broken = photo;
    std::vector<uint8_t> table = {0xFF, 0xC4, 0x00, 0x13, 0x00, 200};  // 200 codes in 17 bytes
    table.resize(4 + 17, 0);
    broken.insert(broken.begin() + long(at), table.begin(), table.end());
    EXPECT_EQ(carve_photo(broken).length, at);
    std::vector<uint8_t> application = photo;
    application[at + 1] = 0xE5;
    EXPECT_EQ(carve_photo(application).length, at);
}

// A JPEG right behind an AVI stream chunk header is a motion-JPEG frame of a video whose head is
// gone, not a photo; the same JPEG behind other data is one.
TEST(jpeg_carver, a_frame_behind_an_avi_chunk_header_is_not_a_photo) {
    std::vector<uint8_t> photo = jpeg_fixture("large.jpg");
    const ember::format_t* jpg = nullptr;
    for (const ember::format_t* f : ember::image_formats())
        if (f->search_name == "jpg") jpg = f;
    ASSERT_NE(jpg, nullptr);
    auto carve_after = [&](const std::vector<uint8_t>& header) {
        std::vector<uint8_t> image(1024 - header.size(), 0x11);
        image.insert(image.end(), header.begin(), header.end());
        image.insert(image.end(), photo.begin(), photo.end());
        ember::memory_source_c source(image);
        ember::carve_input_c in(source, 1024);
        return jpg->carve(in).length;
    };
    uint32_t size = uint32_t(photo.size());
    std::vector<uint8_t> chunk = {'0', '0', 'd', 'c', uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), 0};
    EXPECT_EQ(carve_after(chunk), 0u);
    EXPECT_EQ(carve_after({'J', 'U', 'N', 'K', 0, 0, 0, 0}), photo.size());
}

// Encoders write long zero runs for flat areas, so zeros alone do not end a photo; zeros that
// are followed by data that is not this photo's cut it at the first zero sector.
TEST(jpeg_carver, a_zero_sector_cuts_the_photo_only_when_other_data_follows) {
    std::vector<uint8_t> photo = jpeg_fixture("large.jpg");
    ASSERT_GT(photo.size(), 4096u);
    size_t sector = (photo.size() / 2) & ~size_t(511);
    std::fill(photo.begin() + long(sector), photo.begin() + long(sector + 512), 0);
    EXPECT_EQ(carve_photo(photo).length, photo.size());

    std::vector<uint8_t> erased(photo.begin(), photo.begin() + long(sector + 512));
    std::vector<uint8_t> other = jpeg_fixture("large.jpg");  // the next file: SOI is no scan data
    EXPECT_EQ(carve_photo(joined(erased, other)).length, sector);
    EXPECT_EQ(carve_photo(erased).length, sector);
}

TEST(jpeg_carver, headers_without_scan_data_are_not_kept) {
    std::vector<uint8_t> photo = jpeg_fixture("large.jpg");
    // Cut right after the frame and table headers, then zeros.
    size_t sos = 0;
    for (size_t i = 2; i + 1 < photo.size(); ++i)
        if (photo[i] == 0xFF && photo[i + 1] == 0xDA) { sos = i; break; }
    ASSERT_GT(sos, 0u);
    std::vector<uint8_t> head(photo.begin(), photo.begin() + long(sos + 200));
    EXPECT_EQ(carve_photo(joined(head, std::vector<uint8_t>(4096, 0))).length, 0u);
}

}  // namespace
}  // namespace ember_test
