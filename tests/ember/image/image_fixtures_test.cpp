// Every photo fixture made by a real encoder carves to exactly its own length with the right
// extension, alone and followed by noise, zeros or another file; cut short it never grows, and
// damaged it never crashes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ember/image/image_test_support.h"

namespace ember_test {
namespace {

struct fixture_t {
    const char* file;
    const char* extension;
};

const fixture_t fixtures[] = {
    {"baseline.jpg", "jpg"}, {"large.jpg", "jpg"}, {"progressive.jpg", "jpg"}, {"thumb.jpg", "jpg"},
    {"rgb.png", "png"},      {"alpha.png", "png"},       {"palette.png", "png"}, {"still.gif", "gif"},
    {"animated.gif", "gif"}, {"rgb24.bmp", "bmp"},       {"palette8.bmp", "bmp"}, {"icon.ico", "ico"},
    {"psd.psd", "psd"},      {"plain.tif", "tif"},       {"lzw.tif", "tif"},     {"multipage.tif", "tif"},
};

std::vector<uint8_t> load(const fixture_t& f) {
    std::vector<uint8_t> bytes = read_bytes(fixture(std::string("image/") + f.file));
    EXPECT_FALSE(bytes.empty()) << f.file << " is missing; run make_image_fixtures.sh";
    return bytes;
}

TEST(photo_fixtures, each_carves_to_its_own_length_alone_and_with_anything_after_it) {
    std::vector<uint8_t> other = read_bytes(fixture("image/baseline.jpg"));
    for (const fixture_t& f : fixtures) {
        std::vector<uint8_t> bytes = load(f);
        const std::vector<uint8_t> tails[] = {{}, noise(70000, 7), std::vector<uint8_t>(70000, 0), other,
                                              std::vector<uint8_t>(9000, 0xFF)};
        for (const std::vector<uint8_t>& tail : tails) {
            ember::carve_result_t r = carve_photo(joined(bytes, tail));
            EXPECT_EQ(r.length, bytes.size()) << f.file << " with a tail of " << tail.size();
            EXPECT_STREQ(r.extension ? r.extension : "", f.extension) << f.file;
        }
    }
}

TEST(photo_fixtures, a_file_cut_short_never_comes_back_longer) {
    for (const fixture_t& f : fixtures) {
        std::vector<uint8_t> bytes = load(f);
        for (size_t cut = 1; cut < bytes.size(); cut += 1 + cut / 7) {
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
            EXPECT_LE(carve_photo(part).length, cut) << f.file << " cut at " << cut;
            // Followed by zeros (unwritten space), the cut file must not swallow them whole.
            std::vector<uint8_t> padded = joined(part, std::vector<uint8_t>(4096, 0));
            EXPECT_LE(carve_photo(padded).length, padded.size()) << f.file;
        }
    }
}

TEST(photo_fixtures, damaged_bytes_never_crash_and_stay_inside_the_input) {
    std::mt19937 rng(11);
    for (const fixture_t& f : fixtures) {
        std::vector<uint8_t> bytes = load(f);
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> damaged = bytes;
            for (int k = 0; k < 1 + round % 8; ++k) damaged[rng() % damaged.size()] = uint8_t(rng());
            ember::carve_result_t r = carve_photo(damaged);
            EXPECT_LE(r.length, damaged.size());
        }
    }
}

TEST(photo_fixtures, noise_and_zeros_are_not_photos) {
    for (uint32_t seed = 0; seed < 64; ++seed) {
        std::vector<uint8_t> bytes = noise(65536, seed);
        EXPECT_EQ(carve_photo(bytes).length, 0u) << seed;
        // Noise behind each type's signature byte is still not a file.
        for (char lead : std::string("\xFF\x89GBIMF8")) {
            bytes[0] = uint8_t(lead);
            EXPECT_EQ(carve_photo(bytes).length, 0u) << seed << " " << int(uint8_t(lead));
        }
    }
    EXPECT_EQ(carve_photo(std::vector<uint8_t>(65536, 0)).length, 0u);
}

// ImageMagick writes a source's colour profile behind the pixels of a BMP3, whose header cannot
// point to it; the file-size field counts it, and the file comes back with it.
TEST(photo_fixtures, a_colour_profile_behind_bmp_pixels_belongs_to_the_file) {
    std::vector<uint8_t> bmp = read_file(fixture("image/rgb24.bmp"));
    size_t pixels_end = bmp.size();
    std::vector<uint8_t> icc(560, 0x20);
    icc[0] = 0, icc[1] = 0, icc[2] = uint8_t(icc.size() >> 8), icc[3] = uint8_t(icc.size());
    std::memcpy(&icc[36], "acsp", 4);
    bmp.insert(bmp.end(), icc.begin(), icc.end());
    uint32_t size = uint32_t(bmp.size());
    std::memcpy(&bmp[2], &size, 4);  // little-endian host
    std::vector<uint8_t> followed = bmp;
    followed.resize(bmp.size() + 4096, 0x33);
    EXPECT_EQ(carve_photo(followed).length, bmp.size());
    // Bytes the size field counts that are not a profile are left out.
    followed[pixels_end + 36] = 'x';
    EXPECT_EQ(carve_photo(followed).length, pixels_end);
}

}  // namespace
}  // namespace ember_test
