// The JPEG entropy-data checker that decides fragment joins: real pictures decode whole, to
// their EOI; a damaged byte or restart markers out of sequence are errors; a progressive file
// decodes scan by scan, and a wrong cluster in any of its scans is an error.
#include <gtest/gtest.h>

#include <filesystem>

#include "fs/jpeg_entropy_check.h"
#include "ember/support/carve_test_support.h"
#include "ember/support/counting_source.h"

using namespace ember;
using check_c = fs::jpeg_entropy_check_c;

namespace {

check_c::result_t check(const std::vector<uint8_t>& bytes, uint64_t* end = nullptr) {
    memory_source_c file(bytes);
    check_c c;
    if (!c.start(file)) return check_c::result_t::unsupported;
    return c.run(file, c.first_state(), end);
}

std::vector<std::filesystem::path> camera_jpegs() {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(TESSERA_BENCH_MEDIA, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string ext = it->path().extension().string();
        // Up to 1 MiB each, which keeps the test quick under the sanitizers.
        if ((ext == ".jpg" || ext == ".JPG") && it->file_size(ec) <= 1024 * 1024) out.push_back(it->path());
    }
    return out;
}

}  // namespace

TEST(jpeg_entropy_check, real_pictures_decode_to_their_end_and_damage_is_an_error) {
    for (const char* name : {"baseline.jpg", "large.jpg", "thumb.jpg"}) {
        std::vector<uint8_t> bytes = ember_test::read_bytes(ember_test::fixture(std::string("image/") + name));
        uint64_t end = 0;
        ASSERT_EQ(check(bytes, &end), check_c::result_t::complete) << name;
        EXPECT_EQ(end, bytes.size()) << name;
        // Halfway through the scan data, another picture's scan data from its middle on, as a
        // wrong join gives.
        std::vector<uint8_t> other = ember_test::read_bytes(
            ember_test::fixture(std::string(name) == "large.jpg" ? "image/baseline.jpg" : "image/large.jpg"));
        size_t sos = 0;
        while (sos + 1 < bytes.size() && !(bytes[sos] == 0xFF && bytes[sos + 1] == 0xDA)) ++sos;
        std::vector<uint8_t> joined(bytes.begin(), bytes.begin() + (sos + bytes.size()) / 2);
        joined.insert(joined.end(), other.begin() + other.size() / 2, other.end());
        EXPECT_EQ(check(joined), check_c::result_t::error) << name;
    }
}

TEST(jpeg_entropy_check, progressive_pictures_decode_scan_by_scan_and_a_wrong_cluster_in_any_scan_is_an_error) {
    std::vector<uint8_t> other = ember_test::read_bytes(ember_test::fixture("image/large.jpg"));
    for (const char* name : {"progressive.jpg", "large_progressive.jpg"}) {
        std::vector<uint8_t> bytes = ember_test::read_bytes(ember_test::fixture(std::string("image/") + name));
        uint64_t end = 0;
        ASSERT_EQ(check(bytes, &end), check_c::result_t::complete) << name;
        EXPECT_EQ(end, bytes.size()) << name;
        // From the middle of each scan's data on, another picture's data, as a wrong join gives.
        std::vector<size_t> sos;
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) sos.push_back(i);
        ASSERT_GT(sos.size(), 4u) << name;
        for (size_t n = 0; n < sos.size(); ++n) {
            size_t data = sos[n] + 2 + (bytes[sos[n] + 2] << 8 | bytes[sos[n] + 3]), scan_end = data;
            while (scan_end + 1 < bytes.size() &&
                   !(bytes[scan_end] == 0xFF && bytes[scan_end + 1] != 0 && (bytes[scan_end + 1] & 0xF8) != 0xD0))
                ++scan_end;
            size_t from = (data + scan_end) / 2;
            std::vector<uint8_t> joined(bytes.begin(), bytes.begin() + from);
            joined.insert(joined.end(), other.begin() + 4096, other.end());
            EXPECT_EQ(check(joined, &end), check_c::result_t::error) << name << " scan " << n;
            EXPECT_GE(end, from) << name << " scan " << n;
        }
        // A file that ends after its first scans is not complete.
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + sos[3]);
        cut.insert(cut.end(), {0xFF, 0xD9});
        EXPECT_EQ(check(cut), check_c::result_t::error) << name;
    }
}

TEST(jpeg_entropy_check, camera_pictures_decode_whole_and_restart_markers_keep_their_order) {
    std::vector<std::filesystem::path> cameras = camera_jpegs();
    if (cameras.empty()) GTEST_SKIP() << "no camera JPEGs under " << TESSERA_BENCH_MEDIA;
    size_t with_restarts = 0;
    for (const auto& path : cameras) {
        std::vector<uint8_t> bytes = ember_test::read_bytes(path);
        check_c::result_t result = check(bytes);
        if (result == check_c::result_t::unsupported) continue;
        EXPECT_EQ(result, check_c::result_t::complete) << path;
        // Two restart markers of the scan data swapped: decoding stops at the first one out of
        // sequence.
        memory_source_c file(bytes);
        check_c c;
        ASSERT_TRUE(c.start(file));
        std::vector<size_t> markers;
        for (size_t i = size_t(c.first_state().pos); i + 1 < bytes.size() && markers.size() < 4; ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] >= 0xD0 && bytes[i + 1] <= 0xD7) markers.push_back(i + 1);
        if (markers.size() < 4) continue;
        ++with_restarts;
        std::swap(bytes[markers[1]], bytes[markers[2]]);
        uint64_t end = 0;
        EXPECT_EQ(check(bytes, &end), check_c::result_t::error) << path;
        EXPECT_LE(end, markers[1] + 1) << path;
    }
    EXPECT_GT(with_restarts, 0u);
}

// The walk reads ahead of what it decodes, yet the states it saves resume where they were taken:
// from each, damaged or not, the walk ends as the walk from the start does, and reading the
// card in blocks or the file from memory changes no verdict, end or saved state.
TEST(jpeg_entropy_check, saved_states_resume_to_the_same_end_however_the_bytes_are_read) {
    std::vector<std::filesystem::path> paths = camera_jpegs();
    for (const char* name : {"baseline.jpg", "large.jpg"}) paths.push_back(ember_test::fixture(std::string("image/") + name));
    size_t resumed = 0;
    for (size_t p = 0; p < paths.size(); p += 1 + paths.size() / 6) {
        std::vector<uint8_t> whole = ember_test::read_bytes(paths[p]);
        std::vector<uint8_t> damaged = whole;
        for (size_t i = damaged.size() * 2 / 3; i < damaged.size() * 2 / 3 + 512 && i < damaged.size(); ++i) damaged[i] = 0;
        for (const auto* bytes : {&whole, &damaged}) {
            memory_source_c memory(*bytes);
            // The same bytes without the memory shortcut: read in blocks, as a card is.
            counting_source_c blocks(*bytes);
            check_c a, b;
            if (!a.start(memory) || a.is_progressive()) continue;
            ASSERT_TRUE(b.start(blocks)) << paths[p];
            std::vector<check_c::state_t> in_memory, in_blocks;
            uint64_t end = 0, end_in_blocks = 0;
            const check_c::result_t result = a.run(memory, a.first_state(), &end, &in_memory, 4096);
            EXPECT_EQ(b.run(blocks, b.first_state(), &end_in_blocks, &in_blocks, 4096), result) << paths[p];
            EXPECT_EQ(end_in_blocks, end) << paths[p];
            ASSERT_EQ(in_blocks.size(), in_memory.size()) << paths[p];
            for (size_t i = 0; i < in_memory.size(); ++i) {
                EXPECT_EQ(in_blocks[i].pos, in_memory[i].pos);
                EXPECT_EQ(in_blocks[i].bit_count, in_memory[i].bit_count);
                EXPECT_EQ(in_blocks[i].mcu, in_memory[i].mcu);
            }
            for (size_t i = 0; i < in_memory.size(); i += 1 + in_memory.size() / 4) {
                uint64_t resumed_end = 0;
                EXPECT_EQ(a.run(blocks, in_memory[i], &resumed_end), result) << paths[p] << " state " << i;
                EXPECT_EQ(resumed_end, end) << paths[p] << " state " << i;
                ++resumed;
            }
        }
    }
    EXPECT_GT(resumed, 0u);
}
