// Crafted cards whose directory entries would make the scan repeat work: the work stays bounded
// by what the pass reads, however many entries there are, and the finds are those of an honest
// card.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "core/byte_order.h"
#include "core/format_registry.h"
#include "core/scan.h"
#include "ember/image/image_test_support.h"
#include "ember/support/counting_source.h"
#include "ember/support/memory_output.h"
#include "fs/fs_guide.h"
#include "fs/fs_volume.h"
#include "formats/image/crc32.h"
#include "fs/jpeg_entropy_check.h"

using namespace ember;

namespace {

constexpr size_t sector = 512;

void put_le16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v.at(at) = uint8_t(x);
    v.at(at + 1) = uint8_t(x >> 8);
}
void put_le32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.at(at + i) = uint8_t(x >> (8 * i));
}

// A FAT12 card (2 MiB of 1 KiB clusters unless told; `total` sectors) whose root holds `sizes.size()` deleted
// entries ("_MG_nnnn.JPG") all starting at cluster 2, where `photo` lies, followed by free space.
std::vector<uint8_t> fat12_card(const std::vector<uint8_t>& photo, const std::vector<uint32_t>& sizes,
                                uint32_t total = 4096, uint8_t per_cluster = 2) {
    constexpr uint32_t root_entries = 1024, root_sectors = root_entries * 32 / sector;
    const uint32_t fat_sectors = ((total - 1 - root_sectors) / per_cluster + 2) * 3 / 2 / sector + 1;
    const uint32_t data = 1 + 2 * fat_sectors + root_sectors;
    std::vector<uint8_t> card(size_t(total) * sector, 0);
    const uint8_t jump[] = {0xEB, 0x3C, 0x90};
    std::memcpy(card.data(), jump, 3);
    std::memcpy(card.data() + 3, "MSWIN4.1", 8);
    put_le16(card, 11, sector);
    card[13] = per_cluster;
    put_le16(card, 14, 1);
    card[16] = 2;
    put_le16(card, 17, root_entries);
    put_le16(card, 19, total > 0xFFFF ? 0 : total);
    if (total > 0xFFFF) put_le32(card, 32, total);
    card[21] = 0xF8;
    put_le16(card, 22, uint16_t(fat_sectors));
    put_le16(card, 510, 0xAA55);
    for (uint32_t f = 0; f < 2; ++f) {
        size_t fat = (1 + f * fat_sectors) * sector;
        card[fat] = 0xF8, card[fat + 1] = 0xFF, card[fat + 2] = 0xFF;
    }
    EXPECT_LE(sizes.size(), root_entries);
    for (size_t i = 0; i < sizes.size(); ++i) {
        size_t e = (1 + 2 * fat_sectors) * sector + i * 32;
        char name[12];
        std::snprintf(name, sizeof name, "_MG_%04uJPG", unsigned(i % 10000));
        std::memcpy(card.data() + e, name, 11);
        card[e] = 0xE5;  // deleted
        card[e + 11] = 0x20;
        put_le16(card, e + 26, 2);
        put_le32(card, e + 28, sizes[i]);
    }
    std::copy(photo.begin(), photo.end(), card.begin() + data * sector);
    return card;
}

// A baseline photo with one entropy-coded byte changed from halfway through its data on, the
// first change after which it no longer decodes; its markers stand (the carver takes it to its
// EOI).
std::vector<uint8_t> damaged_photo() {
    const std::vector<uint8_t> photo = ember_test::read_bytes(ember_test::fixture("image/large.jpg"));
    size_t sos = 0;
    for (size_t i = 2; i + 1 < photo.size() && !sos; ++i)
        if (photo[i] == 0xFF && photo[i + 1] == 0xDA) sos = i;
    EXPECT_NE(sos, 0u);
    for (size_t at = sos + (photo.size() - sos) / 2; at + 2 < photo.size(); ++at) {
        if (photo[at] == 0xFF || photo[at - 1] == 0xFF || (photo[at] ^ 0x5A) == 0xFF) continue;
        std::vector<uint8_t> damaged = photo;
        damaged[at] ^= 0x5A;
        memory_source_c file(damaged);
        fs::jpeg_entropy_check_c check;
        uint64_t end = 0;
        if (check.start(file) && check.run(file, check.first_state(), &end) == fs::jpeg_entropy_check_c::result_t::error)
            return damaged;
    }
    ADD_FAILURE() << "no damage found that the decoder notices";
    return photo;
}

struct scan_cost_t {
    std::map<uint64_t, std::vector<uint8_t>> files;
    uint64_t bytes_read = 0;
};

scan_cost_t guided_scan(const std::vector<uint8_t>& card) {
    counting_source_c source(card);
    fs::fs_guide_c guide(source);
    ember_test::memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    config.chunk_size = 4096;  // the photo spans many chunks: looking back at it reads the card
    scan_source(source, all_formats(), out, config);
    return {out.files, source.bytes_read};
}

}  // namespace

// One start cluster named by many deleted entries, each stating a size larger than the damaged
// photo there (none confirms its carve, each could be the file in two fragments): the photo is
// decoded and searched for once, not once per entry.
TEST(crafted_card, a_start_named_by_many_entries_is_decoded_once) {
    const std::vector<uint8_t> photo = damaged_photo();
    auto sizes = [&](size_t n) {
        std::vector<uint32_t> s;
        for (size_t i = 0; i < n; ++i) s.push_back(uint32_t(photo.size() + (i + 1) * 1024));
        return s;
    };
    scan_cost_t one = guided_scan(fat12_card(photo, sizes(1)));
    scan_cost_t many = guided_scan(fat12_card(photo, sizes(1024)));
    const uint64_t card_size = 4096 * sector;
    ASSERT_EQ(one.files.size(), 1u);
    EXPECT_EQ(one.files.begin()->second, photo);
    EXPECT_EQ(many.files, one.files);
    // The pass, plus a few carve windows (1 MiB each) for the photo and the trials to join it;
    // it used to decode and search the photo once per entry (250 MB read for 1,024 entries).
    EXPECT_LE(one.bytes_read, 3 * card_size);
    EXPECT_LE(many.bytes_read, one.bytes_read + card_size);
}

// Live entries that each need one cluster more than the chain at cluster 2 holds (it runs over
// nearly the whole card): every one used to follow it to its end before giving up, entries x
// clusters steps. Chains that fail cost at most about twice the volume's clusters in all, and
// the photo at cluster 2 is still found whole.
TEST(crafted_card, live_entries_naming_a_chain_too_short_cost_a_bounded_walk) {
    const std::vector<uint8_t> photo = ember_test::read_bytes(ember_test::fixture("image/large.jpg"));
    constexpr uint32_t chain = 2000;
    std::vector<uint8_t> card = fat12_card(photo, std::vector<uint32_t>(1024, (chain + 1) * 1024));
    for (size_t i = 0; i < 1024; ++i) card[(1 + 2 * 6) * sector + i * 32] = '_';  // live again
    for (uint32_t f = 0; f < 2; ++f) {
        size_t fat = (1 + f * 6) * sector;
        for (uint32_t c = 2; c < 2 + chain; ++c) {
            uint32_t next = c + 1 == 2 + chain ? 0xFFF : c + 1;
            size_t at = fat + c * 3 / 2;
            uint16_t pair = uint16_t(card[at] | card[at + 1] << 8);
            pair = c & 1 ? uint16_t((pair & 0x000F) | next << 4) : uint16_t((pair & 0xF000) | next);
            put_le16(card, at, pair);
        }
    }
    memory_source_c source(card);
    fs::fs_reader_c reader(source);
    ASSERT_EQ(reader.volumes().size(), 1u);
    ASSERT_EQ(reader.entries().size(), 1024u);
    EXPECT_EQ(reader.entries()[0].runs_count, 0u);
    EXPECT_LE(reader.failed_chain_steps(), 4 * (uint64_t(reader.volumes()[0].cluster_count) + 2) + 4096);
    scan_cost_t scan = guided_scan(card);
    auto found = scan.files.find(reader.volumes()[0].data_offset / sector);
    // Taken at the entries' size, which the zeros after the photo do not contradict.
    ASSERT_TRUE(found != scan.files.end());
    EXPECT_TRUE(found->second.size() >= photo.size() && std::equal(photo.begin(), photo.end(), found->second.begin()));
}

namespace {

// Real camera photos (from the bench media, when present) of a size that takes several pieces.
std::vector<std::vector<uint8_t>> camera_photos(size_t count) {
    std::vector<std::vector<uint8_t>> out;
    std::error_code ec;
    std::vector<std::filesystem::path> paths;
    for (auto it = std::filesystem::recursive_directory_iterator(TESSERA_BENCH_MEDIA, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string ext = it->path().extension().string();
        uint64_t size = it->is_regular_file(ec) ? it->file_size(ec) : 0;
        if ((ext == ".jpg" || ext == ".JPG") && size >= 300 * 1024 && size <= 2200 * 1024) paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& p : paths) {
        std::vector<uint8_t> bytes = ember_test::read_bytes(p.string());
        memory_source_c file(bytes);
        fs::jpeg_entropy_check_c check;
        uint64_t end = 0;
        // Photos the decoder reads whole, ending at their EOI (no bytes after it).
        if (check.start(file) && check.run(file, check.first_state(), &end) == fs::jpeg_entropy_check_c::result_t::complete &&
            end == bytes.size())
            out.push_back(std::move(bytes));
        if (out.size() == count) break;
    }
    return out;
}

// A deleted photo in three pieces on a 16 MiB FAT12 card of 4 KiB clusters, its entry still
// there: the first piece at cluster 2, then 3 clusters of deleted noise, the second piece, 2
// clusters of a deleted text file, the third piece (or, with `lost_end`, noise where it was).
std::vector<uint8_t> three_piece_card(const std::vector<uint8_t>& photo, bool lost_end) {
    constexpr size_t cluster = 4096;
    const size_t a = photo.size() / 3 / cluster * cluster, b = 2 * photo.size() / 3 / cluster * cluster;
    std::vector<uint8_t> laid(photo.begin(), photo.begin() + a);
    std::vector<uint8_t> noise = ember_test::noise(3 * cluster, 7);
    laid.insert(laid.end(), noise.begin(), noise.end());
    laid.insert(laid.end(), photo.begin() + a, photo.begin() + b);
    std::string text;
    while (text.size() < 2 * cluster) text += "notes about the photos of a summer by the sea\n";
    laid.insert(laid.end(), text.begin(), text.begin() + 2 * cluster);
    if (lost_end) {
        std::vector<uint8_t> other = ember_test::noise(photo.size() - b, 9);
        laid.insert(laid.end(), other.begin(), other.end());
    } else {
        laid.insert(laid.end(), photo.begin() + b, photo.end());
    }
    return fat12_card(laid, {uint32_t(photo.size())}, 32000, 8);
}

}  // namespace

// Camera photos in three pieces with deleted data between them come back whole; when the last
// piece is gone, what comes back is the photo's own head, never a join that differs from it.
TEST(crafted_card, a_photo_in_three_pieces_is_joined_and_a_lost_piece_gives_its_head) {
    std::vector<std::vector<uint8_t>> photos = camera_photos(3);
    if (photos.empty()) GTEST_SKIP() << "no camera photos in " << TESSERA_BENCH_MEDIA;
    for (const std::vector<uint8_t>& photo : photos) {
        const uint64_t first = (1 + 2 * 12 + 64) * sector / sector;  // cluster 2's sector
        scan_cost_t whole = guided_scan(three_piece_card(photo, false));
        auto found = whole.files.find(first);
        ASSERT_NE(found, whole.files.end());
        EXPECT_TRUE(found->second == photo) << photo.size() << " bytes, " << found->second.size() << " found";
        scan_cost_t head = guided_scan(three_piece_card(photo, true));
        found = head.files.find(first);
        ASSERT_NE(found, head.files.end());
        EXPECT_LT(found->second.size(), photo.size());
        EXPECT_TRUE(std::equal(found->second.begin(), found->second.end(), photo.begin()));
    }
}

// A TIFF (which a JPEG's carve may hold as its EXIF) written over a deleted photo's tail: the
// photo's carve runs through it and is held for a rest that is gone. Given up, the photo comes
// back as its head, and the stretch the scan skipped for the carve is scanned again: the TIFF
// is found whole, with or without the photo's entry.
TEST(crafted_card, a_file_written_over_a_given_up_photos_tail_is_found) {
    const std::vector<uint8_t> photo = ember_test::read_bytes(ember_test::fixture("image/large.jpg"));
    const std::vector<uint8_t> tiff = ember_test::read_bytes(ember_test::fixture("image/plain.tif"));
    constexpr size_t head = 3 * 1024;  // three clusters
    std::vector<uint8_t> laid(photo.begin(), photo.begin() + head);
    laid.insert(laid.end(), tiff.begin(), tiff.end());
    const std::vector<uint8_t> noise = ember_test::noise(8192, 7);
    laid.insert(laid.end(), noise.begin(), noise.end());
    const uint64_t first = 1 + 2 * 6 + 64;  // cluster 2's sector
    for (const std::vector<uint32_t>& entries : {std::vector<uint32_t>{}, {uint32_t(photo.size())}}) {
        scan_cost_t scan = guided_scan(fat12_card(laid, entries));
        ASSERT_EQ(scan.files.size(), 2u) << entries.size() << " entries";
        EXPECT_TRUE(scan.files[first] == std::vector<uint8_t>(photo.begin(), photo.begin() + head));
        EXPECT_TRUE(scan.files[first + head / sector] == tiff);
    }
}

namespace {

// The motion-JPEG clip with its movie box moved before the media data (as phones write it for
// streaming), its chunk offsets moved on by the box's size.
std::vector<uint8_t> movie_box_first(const std::vector<uint8_t>& mov) {
    auto be32 = [&](size_t at) {
        return uint32_t(mov.at(at)) << 24 | mov.at(at + 1) << 16 | mov.at(at + 2) << 8 | mov.at(at + 3);
    };
    size_t mdat = 0, moov = 0;
    for (size_t at = 0; at + 8 <= mov.size(); at += be32(at)) {
        if (std::memcmp(&mov[at + 4], "mdat", 4) == 0) mdat = at;
        if (std::memcmp(&mov[at + 4], "moov", 4) == 0) moov = at;
        if (be32(at) < 8) break;
    }
    EXPECT_TRUE(mdat && moov > mdat && moov + be32(moov) == mov.size());
    std::vector<uint8_t> box(mov.begin() + long(moov), mov.end());
    const uint8_t stco[] = {'s', 't', 'c', 'o'};
    auto it = std::search(box.begin(), box.end(), std::begin(stco), std::end(stco));
    EXPECT_NE(it, box.end());
    const size_t table = size_t(it - box.begin()) + 8;
    const uint32_t count = uint32_t(box[table] << 24 | box[table + 1] << 16 | box[table + 2] << 8 | box[table + 3]);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* p = &box[table + 4 + 4 * i];
        const uint32_t offset = uint32_t(p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]) + uint32_t(box.size());
        p[0] = uint8_t(offset >> 24), p[1] = uint8_t(offset >> 16), p[2] = uint8_t(offset >> 8), p[3] = uint8_t(offset);
    }
    std::vector<uint8_t> out(mov.begin(), mov.begin() + long(mdat));
    out.insert(out.end(), box.begin(), box.end());
    out.insert(out.end(), mov.begin() + long(mdat), mov.begin() + long(moov));
    return out;
}

}  // namespace

// A movie, its movie box first, with 2 KiB of another file written over its media data at a
// cluster boundary: the carver (movie box, media data's size) takes it whole, its samples do
// not (motion-JPEG samples start with SOI, MPEG-4 video ones with a start code). Whether no entry
// names it or a deleted entry states its size, it comes back as its head, up to where they stop,
// never with the other file's bytes.
TEST(crafted_card, a_movie_with_other_bytes_in_its_media_data_comes_back_as_its_head) {
    struct variant_t {
        const char* fixture;
        bool is_named;  // a deleted entry states its size
        size_t foreign;  // where the other bytes begin in it, at a cluster boundary
    };
    const variant_t variants[] = {{"video/motion_jpeg.mov", false, 32 * 1024},
                                  {"video/motion_jpeg.mov", true, 32 * 1024},
                                  {"video/faststart.mp4", false, 4096}};
    for (const variant_t& t : variants) {
        SCOPED_TRACE(std::string(t.fixture) + (t.is_named ? ", named" : ""));
        std::vector<uint8_t> movie = ember_test::read_bytes(ember_test::fixture(t.fixture));
        if (std::string(t.fixture).ends_with(".mov")) movie = movie_box_first(movie);
        std::vector<uint8_t> card =
            fat12_card(movie, t.is_named ? std::vector<uint32_t>{uint32_t(movie.size())} : std::vector<uint32_t>{});
        if (t.is_named) std::memcpy(&card[(1 + 2 * 6) * sector + 8], "MOV", 3);
        memory_source_c source(card);
        const fs::fs_volume_t v = fs::find_volumes(source).at(0);
        EXPECT_EQ(guided_scan(card).files[v.data_offset / sector], movie);  // the walk holds on the whole movie
        std::mt19937 rng(5);
        for (size_t i = 0; i < 2048; ++i) card[v.data_offset + t.foreign + i] = uint8_t(rng());
        const std::vector<uint8_t> found = guided_scan(card).files[v.data_offset / sector];
        ASSERT_FALSE(found.empty());
        EXPECT_LE(found.size(), t.foreign);
        EXPECT_TRUE(std::equal(found.begin(), found.end(), movie.begin()));
    }
}

// A deleted photo whose camera wrote the rest far on, past 64 MiB of clusters then in use (a
// nearly full card), unwritten space between: it is joined by its size.
TEST(crafted_card, a_photo_whose_rest_lies_far_on_is_joined) {
    std::vector<std::vector<uint8_t>> photos = camera_photos(1);
    if (photos.empty()) GTEST_SKIP() << "no camera photos in " << TESSERA_BENCH_MEDIA;
    const std::vector<uint8_t>& photo = photos[0];
    constexpr size_t cluster = 32 * 1024, mib = 1024 * 1024;
    const size_t head = photo.size() / 2 / cluster * cluster;
    std::vector<uint8_t> laid(photo.begin(), photo.begin() + long(head));
    laid.resize(80 * mib);
    laid.insert(laid.end(), photo.begin() + long(head), photo.end());
    const std::vector<uint8_t> card = fat12_card(laid, {uint32_t(photo.size())}, 96 * 2048, 64);
    memory_source_c source(card);
    fs::fs_guide_c guide(source);
    ember_test::memory_output_c out;
    scan_config_t config;
    config.guide = &guide;
    config.chunk_size = mib;
    scan_source(source, all_formats(), out, config);
    const fs::fs_volume_t v = fs::find_volumes(source).at(0);
    auto found = out.files.find(v.cluster_offset(2) / sector);
    ASSERT_NE(found, out.files.end());
    EXPECT_TRUE(found->second == photo) << photo.size() << " bytes, " << found->second.size() << " found";
}

namespace {

void put_be32(uint8_t* p, uint32_t x) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(x >> (24 - 8 * i));
}

// The PNG with its image data split into chunks of 600 bytes, as encoders write it in chunks of
// a few KiB: every cluster of a small card holds a chunk's header.
std::vector<uint8_t> png_in_small_chunks(const std::vector<uint8_t>& png) {
    std::vector<uint8_t> out(png.begin(), png.begin() + 8);
    auto chunk = [&](const uint8_t* type, const uint8_t* data, uint32_t length) {
        const size_t at = out.size();
        out.resize(at + 12 + length);
        put_be32(&out[at], length);
        std::copy(type, type + 4, out.begin() + long(at) + 4);
        std::copy(data, data + length, out.begin() + long(at) + 8);
        put_be32(&out[at + 8 + length], crc32_update(0, &out[at + 4], 4 + length));
    };
    for (size_t pos = 8; pos + 12 <= png.size();) {
        const uint32_t length = load_be32(&png[pos]);
        const uint8_t* type = &png[pos + 4];
        for (uint32_t done = 0; std::equal(type, type + 4, "IDAT") && done < length; done += 600)
            chunk(type, &png[pos + 8 + done], std::min<uint32_t>(600, length - done));
        if (!std::equal(type, type + 4, "IDAT")) chunk(type, &png[pos + 8], length);
        pos += 12 + length;
    }
    return out;
}

}  // namespace

// A deleted PNG in three pieces on a card of 512-byte clusters, deleted noise between them and
// no other entry to tell which clusters the camera went round: where a chunk's CRC breaks, the
// file goes on in the one free cluster holding an image data chunk's header at that place.
TEST(crafted_card, a_png_in_three_pieces_is_put_together_by_its_chunks) {
    const std::vector<uint8_t> png = png_in_small_chunks(ember_test::read_bytes(ember_test::fixture("image/alpha.png")));
    ASSERT_GT(png.size(), 16 * sector);
    const size_t a = 4 * sector, b = 10 * sector;
    std::vector<uint8_t> laid(png.begin(), png.begin() + long(a));
    std::vector<uint8_t> noise = ember_test::noise(3 * sector, 5);
    laid.insert(laid.end(), noise.begin(), noise.end());
    laid.insert(laid.end(), png.begin() + long(a), png.begin() + long(b));
    noise = ember_test::noise(2 * sector, 6);
    laid.insert(laid.end(), noise.begin(), noise.end());
    laid.insert(laid.end(), png.begin() + long(b), png.end());
    std::vector<uint8_t> card = fat12_card(laid, {uint32_t(png.size())}, 4096, 1);
    const char name[] = "MG_0000JPG";  // the deleted entry's name after its first byte
    auto entry = std::search(card.begin(), card.end(), name, name + 10);
    ASSERT_NE(entry, card.end());
    std::copy_n("PNG", 3, entry + 7);
    scan_cost_t scan = guided_scan(card);
    memory_source_c source(card);
    const fs::fs_volume_t v = fs::find_volumes(source).at(0);
    auto found = scan.files.find(v.cluster_offset(2) / sector);
    ASSERT_NE(found, scan.files.end());
    EXPECT_TRUE(found->second == png) << png.size() << " bytes, " << found->second.size() << " found";
}
