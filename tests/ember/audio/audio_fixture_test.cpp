// The audio carvers on files made by real encoders (fixtures/audio/make_fixtures.sh): whole,
// followed by other data, cut short and damaged.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "core/format_registry.h"
#include "ember/support/carve_test_support.h"

using namespace ember_test;

namespace {

struct fixture_t {
    const char* file;
    const char* search_name;
    const char* extension;
    bool is_damage_found;  // the format has the structure (frames, CRCs) to notice damaged data
};

const fixture_t fixtures[] = {
    {"cbr_id3v2.mp3", "mp3", "mp3", true},   {"vbr_id3v1v2.mp3", "mp3", "mp3", true},
    {"bare_cbr.mp3", "mp3", "mp3", true},    {"mpeg2_id3v1.mp3", "mp3", "mp3", true},
    {"plain.flac", "flac", "flac", true},    {"bare.flac", "flac", "flac", true},
    {"picture.flac", "flac", "flac", true},  {"vorbis.ogg", "ogg", "ogg", true},
    {"opus.ogg", "ogg", "ogg", true},        {"theora.ogv", "ogg", "ogm", true},
    {"plain.aif", "aif", "aif", false},      {"compressed.aifc", "aif", "aif", false},
    {"tone.au", "au", "au", false},          {"tone.caf", "caf", "caf", false},
    {"tone.wv", "wv", "wv", false},          {"lossy.wv", "wv", "wv", false},
    // Laid out by make_built.py from the formats' structure (no Debian encoder writes them).
    {"ape_tagged.mp3", "mp3", "mp3", true},  {"ape_header_tagged.wv", "wv", "wv", false},
    {"two_tracks.mid", "mid", "mid", false}, {"sine.xm", "xm", "xm", false},
    {"sine.it", "it", "it", false},          {"layout.ape", "ape", "ape", false},
};

const ember::format_t& format_named(std::string_view name) {
    static const std::vector<const ember::format_t*> all = ember::all_formats();
    for (const ember::format_t* f : all)
        if (f->search_name == name) return *f;
    ADD_FAILURE() << "no format " << name;
    return *all.front();
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = uint8_t(gen());
    return bytes;
}

std::vector<uint8_t> joined(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class audio_fixture_test : public testing::TestWithParam<fixture_t> {};

TEST_P(audio_fixture_test, carves_exactly_the_file_whatever_follows) {
    const fixture_t& f = GetParam();
    std::vector<uint8_t> file = read_bytes(fixture("audio/" + std::string(f.file)));
    ASSERT_GT(file.size(), 1000u) << f.file;
    const ember::format_t& format = format_named(f.search_name);
    std::vector<uint8_t> other = read_bytes(fixture("audio/vorbis.ogg"));
    if (std::string_view(f.search_name) == "ogg") other = read_bytes(fixture("audio/tone.au"));
    for (const auto& bytes : {file, joined(file, std::vector<uint8_t>(65536, 0)),
                              joined(file, random_bytes(65536, 7)), joined(file, other),
                              joined(file, file)}) {
        // Two bare frame runs (no info frame, no tag) of the same stream are one stream.
        if (bytes.size() == 2 * file.size() && std::string_view(f.file) == "bare_cbr.mp3") continue;
        ember::carve_result_t r = carve_bytes(format, bytes);
        EXPECT_EQ(r.length, file.size()) << f.file << " in " << bytes.size() << " bytes";
        EXPECT_STREQ(r.extension ? r.extension : "", f.extension) << f.file;
    }
}

TEST_P(audio_fixture_test, cut_short_never_grows) {
    const fixture_t& f = GetParam();
    std::vector<uint8_t> file = read_bytes(fixture("audio/" + std::string(f.file)));
    const ember::format_t& format = format_named(f.search_name);
    for (size_t cut : {size_t(4), size_t(40), size_t(200), file.size() / 3, file.size() / 2,
                       file.size() - 1}) {
        std::vector<uint8_t> bytes(file.begin(), file.begin() + std::min(cut, file.size()));
        EXPECT_LE(carve_bytes(format, bytes).length, bytes.size()) << f.file << " cut at " << cut;
    }
}

TEST_P(audio_fixture_test, damage_ends_the_file_where_its_data_stops_being_sound) {
    const fixture_t& f = GetParam();
    std::vector<uint8_t> file = read_bytes(fixture("audio/" + std::string(f.file)));
    const ember::format_t& format = format_named(f.search_name);
    size_t damage = std::min(file.size() * 3 / 4, file.size() - 512);
    for (uint32_t seed : {1u, 2u, 3u}) {
        std::vector<uint8_t> bytes = file;
        std::vector<uint8_t> noise = random_bytes(512, seed);
        std::copy(noise.begin(), noise.end(), bytes.begin() + damage);
        bytes = joined(bytes, std::vector<uint8_t>(8192, 0));
        ember::carve_result_t r = carve_bytes(format, bytes);
        if (f.is_damage_found) {
            if (file.size() >= 6000) {
                EXPECT_GT(r.length, 0u) << f.file << ": the sound part before the damage is kept";
            }
            EXPECT_LT(r.length, file.size()) << f.file;
            EXPECT_LE(r.length, damage + 512 + 4096) << f.file;
        } else {
            EXPECT_LE(r.length, bytes.size()) << f.file;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(real_files, audio_fixture_test, testing::ValuesIn(fixtures),
                         [](const testing::TestParamInfo<fixture_t>& info) {
                             std::string name = info.param.file;
                             for (char& c : name)
                                 if (!isalnum(uint8_t(c))) c = '_';
                             return name;
                         });

// A chained Ogg file (one link after another) is one file; a link that is cut short is dropped.
TEST(ogg_carve, chained_links_are_one_file) {
    std::vector<uint8_t> a = read_bytes(fixture("audio/vorbis.ogg"));
    std::vector<uint8_t> b = read_bytes(fixture("audio/opus.ogg"));
    const ember::format_t& ogg = format_named("ogg");
    EXPECT_EQ(carve_bytes(ogg, joined(a, b)).length, a.size() + b.size());
    std::vector<uint8_t> cut = joined(a, b);
    cut.resize(a.size() + b.size() / 2);
    EXPECT_EQ(carve_bytes(ogg, cut).length, a.size());
}

// A WavPack file whose second block header is overwritten ends after its first block.
// The blocks state the stream's length; other bytes written over it from a sector boundary on
// stop them short of it. The block they stop in is not kept, though its header is sound: its
// tail is the other bytes. Where that is the first block, only its header's sector is.
TEST(wavpack_carve, blocks_cut_short_of_the_stated_length_end_before_the_block_cut) {
    auto block_starts = [](const std::vector<uint8_t>& bytes) {
        std::vector<size_t> starts;
        for (size_t i = 0; i + 4 <= bytes.size(); ++i)
            if (std::memcmp(bytes.data() + i, "wvpk", 4) == 0) starts.push_back(i);
        return starts;
    };
    const std::vector<uint8_t> lossy = read_bytes(fixture("audio/lossy.wv"));
    const std::vector<size_t> blocks = block_starts(lossy);
    ASSERT_EQ(blocks.size(), 4u);
    std::vector<uint8_t> cut(lossy.begin(), lossy.begin() + long((blocks[2] + 32 + 511) / 512 * 512));
    const std::vector<uint8_t> other = random_bytes(16384, 9);
    cut.insert(cut.end(), other.begin(), other.end());
    EXPECT_EQ(carve_bytes(format_named("wv"), cut).length, blocks[2]);
    const std::vector<uint8_t> file = read_bytes(fixture("audio/tone.wv"));
    const size_t second = block_starts(file).at(1);
    std::vector<uint8_t> header_gone = file;
    std::fill(header_gone.begin() + long(second), header_gone.begin() + long(second) + 32, 0);
    EXPECT_EQ(carve_bytes(format_named("wv"), header_gone).length, 512u);
    // Blocks that reach the stated length end the file: a block of another stream that would
    // follow on does not make it longer.
    std::vector<uint8_t> longer = file;
    longer.insert(longer.end(), file.begin() + long(second), file.end());
    const uint64_t at = uint64_t(33075);  // the index right after the stream's last sample
    for (int i = 0; i < 4; ++i) longer[file.size() + 16 + size_t(i)] = uint8_t(at >> (8 * i));
    EXPECT_EQ(carve_bytes(format_named("wv"), longer).length, file.size());
}

// The blocks of a recording from its second block on (its head written over) start no file.
TEST(wavpack_carve, a_stream_that_starts_past_its_first_sample_is_no_file) {
    const std::vector<uint8_t> file = read_bytes(fixture("audio/lossy.wv"));
    size_t second = 4;
    while (second + 4 <= file.size() && std::memcmp(file.data() + second, "wvpk", 4) != 0) ++second;
    ASSERT_LT(second + 32, file.size());
    const std::vector<uint8_t> rest(file.begin() + long(second), file.end());
    EXPECT_FALSE(format_named("wv").probe(rest.data(), std::min<size_t>(rest.size(), 512)));
    EXPECT_EQ(carve_bytes(format_named("wv"), rest).length, 0u);
}

// An MP3 whose info frame states its frame count, other bytes written over it from a sector
// boundary on: the frames stop well short of the count, and the frame they cut is not kept.
TEST(mp3_carve, frames_cut_short_of_the_stated_count_end_before_the_frame_cut) {
    const std::vector<uint8_t> file = read_bytes(fixture("audio/cbr_id3v2.mp3"));
    for (size_t cut = 4096; cut + 2048 < file.size(); cut += 1536) {
        std::vector<uint8_t> bytes(file.begin(), file.begin() + long(cut));
        const std::vector<uint8_t> other = random_bytes(16384, uint32_t(cut));
        bytes.insert(bytes.end(), other.begin(), other.end());
        const uint64_t length = carve_bytes(format_named("mp3"), bytes).length;
        EXPECT_GT(length, 0u) << "cut at " << cut;
        EXPECT_LE(length, cut) << "cut at " << cut;
    }
}

// Random data, offered sector by sector to every audio carver, is never taken for a file.
TEST(audio_random, random_sectors_give_no_file) {
    std::vector<uint8_t> noise = random_bytes(4 << 20, 42);
    for (const ember::format_t* f : ember::audio_formats()) {
        int found = 0;
        for (size_t s = 0; s < noise.size(); s += 512) {
            if (f->lead_bytes.find(char(noise[s])) == std::string_view::npos) continue;
            std::vector<uint8_t> tail(noise.begin() + s, noise.begin() + std::min(noise.size(), s + 65536));
            found += carve_bytes(*f, tail).length != 0;
        }
        EXPECT_EQ(found, 0) << f->search_name;
    }
}

// Random data behind a forced frame sync or signature at every sector: still no mp3.
TEST(audio_random, frame_syncs_in_noise_give_no_mp3) {
    std::vector<uint8_t> noise = random_bytes(2 << 20, 43);
    const ember::format_t& mp3 = format_named("mp3");
    int found = 0;
    for (size_t s = 0; s + 4 <= noise.size(); s += 512) {
        noise[s] = 0xFF;
        noise[s + 1] |= 0xE0;
        std::vector<uint8_t> tail(noise.begin() + s, noise.begin() + std::min(noise.size(), s + 65536));
        found += carve_bytes(mp3, tail).length != 0;
    }
    EXPECT_EQ(found, 0);
}

}  // namespace
