// Crafted cards on which one sector's header states a length far beyond what follows: rejecting
// such candidates, one after another, costs a bounded multiple of what the pass reads, and the
// intact files after them are found whole.
#include <gtest/gtest.h>

#include <cstring>

#include "core/format_registry.h"
#include "core/scan.h"
#include "ember/image/image_test_support.h"
#include "ember/support/counting_source.h"
#include "ember/support/memory_output.h"
#include "formats/image/crc32.h"

namespace {

using ember::counting_source_c;

constexpr size_t sector = 512;

struct scan_cost_t {
    std::map<uint64_t, std::vector<uint8_t>> files;
    uint64_t bytes_read = 0;
};

scan_cost_t counted_scan(const std::vector<uint8_t>& card) {
    counting_source_c source(card);
    ember_test::memory_output_c out;
    ember::scan_config_t config;
    config.chunk_size = 1024 * 1024;
    static const std::vector<const ember::format_t*> formats = ember::all_formats();
    ember::scan_source(source, formats, out, config);
    return {out.files, source.bytes_read};
}

void put_be32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.at(at + i) = uint8_t(x >> (24 - 8 * i));
}

// Appends a PNG chunk (with its CRC) whose data is `body`, or states `length` when given.
void put_chunk(std::vector<uint8_t>& v, const char* type, const std::vector<uint8_t>& body, uint32_t length = 0) {
    size_t at = v.size();
    v.resize(at + 8);
    put_be32(v, at, length ? length : uint32_t(body.size()));
    std::memcpy(v.data() + at + 4, type, 4);
    v.insert(v.end(), body.begin(), body.end());
    if (length) return;
    v.resize(v.size() + 4);
    put_be32(v, v.size() - 4, ember::crc32_update(0, v.data() + at + 4, 4 + body.size()));
}

void put_le32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.at(at + i) = uint8_t(x >> (8 * i));
}

// Lays `files` one per sector boundary from the card's start, then `noise_bytes` of noise (or of
// the byte `fill` when one is given, also after each header), then the intact photos; returns
// where the photos lie.
std::vector<std::pair<size_t, std::vector<uint8_t>>> lay_card(std::vector<uint8_t>& card,
                                                              const std::vector<std::vector<uint8_t>>& headers,
                                                              size_t noise_bytes, int fill_byte = -1) {
    auto filler = [&](size_t n, uint32_t seed) {
        return fill_byte < 0 ? ember_test::noise(n, seed) : std::vector<uint8_t>(n, uint8_t(fill_byte));
    };
    for (const std::vector<uint8_t>& h : headers) {
        std::vector<uint8_t> s = filler(sector, uint32_t(card.size()));
        std::copy(h.begin(), h.end(), s.begin());
        card.insert(card.end(), s.begin(), s.end());
    }
    std::vector<uint8_t> fill = filler(noise_bytes, 3);
    card.insert(card.end(), fill.begin(), fill.end());
    std::vector<std::pair<size_t, std::vector<uint8_t>>> photos;
    for (const char* name : {"image/palette.png", "image/large.jpg"}) {
        photos.emplace_back(card.size(), ember_test::read_bytes(ember_test::fixture(name)));
        card.insert(card.end(), photos.back().second.begin(), photos.back().second.end());
        card.resize((card.size() + sector - 1) / sector * sector, 0);
    }
    card.resize(card.size() + 64 * 1024, 0);
    return photos;
}

void expect_bounded_and_found(const std::vector<uint8_t>& card,
                              const std::vector<std::pair<size_t, std::vector<uint8_t>>>& photos,
                              const std::string& what) {
    scan_cost_t scan = counted_scan(card);
    EXPECT_EQ(scan.files.size(), photos.size()) << what;
    for (const auto& [at, photo] : photos) {
        auto f = scan.files.find(at / sector);
        EXPECT_TRUE(f != scan.files.end() && f->second == photo) << what << ": photo at " << at;
    }
    EXPECT_LE(scan.bytes_read, 3 * card.size()) << what;
}

}  // namespace

// Sectors that each start a PNG whose first IDAT states nearly 2 GiB, or 3 MiB: every one used to
// have the carve check the CRC of everything up to that length (or the card's end) before it
// failed and the scan moved on one sector. A chunk that runs past the card, or past what the
// picture's samples can take, ends the candidate at once; one whose data holds the next
// sector's PNG signature is not intact.
TEST(crafted, png_headers_stating_huge_image_data) {
    auto header = [](uint32_t width, uint32_t height, uint32_t idat) {
        std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        std::vector<uint8_t> ihdr(13, 0);
        put_be32(ihdr, 0, width);
        put_be32(ihdr, 4, height);
        ihdr[8] = 8, ihdr[9] = 6;  // 8-bit RGBA
        put_chunk(png, "IHDR", ihdr);
        put_chunk(png, "IDAT", {}, idat);
        return png;
    };
    std::vector<std::vector<uint8_t>> past_card, on_card, too_small;
    for (int i = 0; i < 48; ++i) {
        past_card.push_back(header(40000, 40000, 0x7FFFFFF0));
        on_card.push_back(header(40000, 40000, 3 << 20));
        too_small.push_back(header(16, 16, 3 << 20));
    }
    for (const auto& [what, headers] : {std::pair{"past the card", past_card}, std::pair{"on the card", on_card},
                                        std::pair{"larger than its picture", too_small}}) {
        std::vector<uint8_t> card;
        auto photos = lay_card(card, headers, 4 << 20);
        expect_bounded_and_found(card, photos, what);
    }
}

// Sectors that each start a sound file whose size nothing confirms and which states nearly
// 2 GiB: its samples end at a long run of zero sectors, at the card's end, or (so that a run of
// such headers is not read to the end once per header) at the next sector that starts a file
// with the same signature. Each header comes back as a file of one sector, and the photos after
// them whole.
TEST(crafted, sound_headers_stating_huge_unconfirmed_sizes) {
    std::vector<uint8_t> au = {'.', 's', 'n', 'd', 0, 0, 0, 24, 0x7F, 0xFF, 0xFF, 0xF0, 0, 0, 0, 2,
                               0, 0, 0x1F, 0x40, 0, 0, 0, 1};
    // A RIFF of nearly 2 GiB whose data chunk states a little less: its end is confirmed by
    // neither.
    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 0xF0, 0xFF, 0xFF, 0x7F, 'W', 'A', 'V', 'E',
                                'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0,
                                0x80, 0x3E, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0xFF, 0xFF, 0x7F};
    for (const auto& [what, header] : {std::pair{"au", au}, std::pair{"wav", wav}}) {
        std::vector<uint8_t> card;
        auto photos = lay_card(card, std::vector<std::vector<uint8_t>>(64, header), 4 << 20);
        scan_cost_t scan = counted_scan(card);
        for (size_t at = 0; at < 64 * sector; at += sector) {
            auto f = scan.files.find(at / sector);
            EXPECT_TRUE(f != scan.files.end() && f->second.size() == (at == 63 * sector ? 4 * 1024 * 1024 + sector : sector))
                << what << " at " << at;
        }
        EXPECT_LE(scan.bytes_read, 3 * card.size()) << what;
    }
}

// Sectors that each start a sound file stating a few KiB: each is cut by the next, whose carve,
// run while the one before is copied, reads the bytes the copy holds (it used to fetch a
// megabyte window from the card for each of them).
TEST(crafted, files_cut_one_sector_in_cost_what_they_read) {
    for (const char* name : {"audio/tone.au", "audio/plain.aif", "audio/tone.caf"}) {
        std::vector<uint8_t> head = ember_test::read_bytes(ember_test::fixture(name));
        head.resize(sector);
        std::vector<uint8_t> card;
        auto photos = lay_card(card, std::vector<std::vector<uint8_t>>(64, head), 1 << 20);
        scan_cost_t scan = counted_scan(card);
        EXPECT_GE(scan.files.size(), 64u) << name;
        EXPECT_LE(scan.bytes_read, 2 * card.size()) << name;
    }
}

// Sectors that each start a TIFF whose first IFD names 16 SubIFDs and an EXIF IFD far across the
// card, where noise lies: every one of those offsets used to cost a fetch of 16 KiB, so each
// sector cost 272 KiB. Far offsets that led to no IFD end the walk after two, and the headers
// of the run share what the ones before them fetched.
TEST(crafted, tiff_headers_pointing_far_away) {
    std::vector<uint8_t> tiff(40 + 16 * 4, 0);
    std::memcpy(tiff.data(), "II*\0", 4);
    put_le32(tiff, 4, 8);
    tiff[8] = 2;
    auto entry = [&](size_t at, uint16_t tag, uint32_t count, uint32_t value) {
        tiff[at] = uint8_t(tag), tiff[at + 1] = uint8_t(tag >> 8), tiff[at + 2] = 4;  // LONG
        put_le32(tiff, at + 4, count);
        put_le32(tiff, at + 8, value);
    };
    entry(10, 330, 16, 40);         // SubIFDs, their offsets at 40
    entry(22, 34665, 1, 3 << 20);  // EXIF IFD
    for (uint32_t k = 0; k < 16; ++k) put_le32(tiff, 40 + 4 * k, (1 << 20) + k * 64 * 1024);
    std::vector<uint8_t> card;
    auto photos = lay_card(card, std::vector<std::vector<uint8_t>>(1024, tiff), 4 << 20);
    expect_bounded_and_found(card, photos, "tiff");
}

// Sectors that each start a 16 x 16 GIF whose image data is a chain of sub-blocks that never
// ends (0xFF bytes up to the photos): each used to be walked into the photos, and the first one
// kept as a GIF that swallowed them. A chain that meets the next sector's GIF signature, or runs
// past what its frame can hold, is not whole.
TEST(crafted, gif_sub_block_chains_that_never_end) {
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 16, 0, 0, 0, 0,
                                0x2C, 0, 0, 0, 0, 16, 0, 16, 0, 0, 8};
    std::vector<uint8_t> card;
    auto photos = lay_card(card, std::vector<std::vector<uint8_t>>(64, gif), 4 << 20, 0xFF);
    expect_bounded_and_found(card, photos, "gif");
}

// A TIFF of 8192 one-row strips whose offsets and byte counts lie 1 MiB apart, read through a
// source with no read-ahead in front (as the file system's carve reads the card): looking at one
// array and then the other used to fetch 16 KiB for every strip, 256 MiB in all. The arrays are
// read in windows, so the carve reads about what the file holds.
TEST(crafted, tiff_strip_arrays_far_apart) {
    constexpr uint32_t strips = 8192, offsets_at = 4096, counts_at = offsets_at + (1 << 20);
    constexpr uint32_t data_at = counts_at + 4 * strips, width = 64;
    std::vector<uint8_t> tiff(data_at + strips * width, 0x80);
    std::fill_n(tiff.begin(), offsets_at, 0);
    std::memcpy(tiff.data(), "II*\0", 4);
    put_le32(tiff, 4, 8);
    const uint32_t entries[][3] = {{256, 1, width}, {257, 1, strips}, {258, 1, 8}, {262, 1, 1},
                                   {273, strips, offsets_at}, {277, 1, 1}, {278, 1, 1}, {279, strips, counts_at}};
    tiff[8] = std::size(entries);
    for (size_t i = 0; i < std::size(entries); ++i) {
        size_t at = 10 + 12 * i;
        tiff[at] = uint8_t(entries[i][0]), tiff[at + 1] = uint8_t(entries[i][0] >> 8), tiff[at + 2] = 4;  // LONG
        put_le32(tiff, at + 4, entries[i][1]);
        put_le32(tiff, at + 8, entries[i][2]);
    }
    put_le32(tiff, 10 + 12 * std::size(entries), 0);
    for (uint32_t s = 0; s < strips; ++s) {
        put_le32(tiff, offsets_at + 4 * s, data_at + s * width);
        put_le32(tiff, counts_at + 4 * s, width);
    }
    std::vector<uint8_t> card = tiff;
    card.resize(card.size() + 64 * 1024, 0);
    counting_source_c source(card);
    ember::carve_input_c in(source, 0);
    const ember::format_t* tif = nullptr;
    for (const ember::format_t* f : ember::all_formats())
        if (f->search_name == "tif") tif = f;
    ASSERT_NE(tif, nullptr);
    EXPECT_EQ(tif->carve(in).length, tiff.size());
    EXPECT_LE(source.bytes_read, tiff.size());
}
