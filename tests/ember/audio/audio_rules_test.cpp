// The end rules where a file's structure leaves a choice: sizes stated as unknown, damaged
// tracks, an ID3v2 tag over the frames, modules cut short.
#include <gtest/gtest.h>

#include <cstring>

#include "core/format_registry.h"
#include "formats/audio/audio_checks.h"
#include "ember/support/carve_test_support.h"

using namespace ember_test;

namespace {

const ember::format_t& format_named(std::string_view name) {
    for (const ember::format_t* f : ember::audio_formats())
        if (f->search_name == name) return *f;
    ADD_FAILURE() << "no format " << name;
    return *ember::audio_formats().front();
}

void put_be32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

// A streamed AU or CAF file does not state where its samples end: nothing is carved.
TEST(audio_rules, unknown_data_sizes_give_no_file) {
    std::vector<uint8_t> au = read_bytes(fixture("audio/tone.au"));
    ASSERT_EQ(carve_bytes(format_named("au"), au).length, au.size());
    put_be32(au, 8, 0xFFFFFFFF);
    EXPECT_EQ(carve_bytes(format_named("au"), au).length, 0u);

    std::vector<uint8_t> caf = read_bytes(fixture("audio/tone.caf"));
    size_t data = 0;
    for (size_t i = 8; i + 12 <= caf.size() && !data; ++i)
        if (std::memcmp(caf.data() + i, "data", 4) == 0) data = i;
    ASSERT_NE(data, 0u);
    for (int i = 4; i < 12; ++i) caf[data + i] = 0xFF;
    EXPECT_EQ(carve_bytes(format_named("caf"), caf).length, 0u);
}

// A MIDI file whose second track lost its End of Track event ends after the first track.
TEST(audio_rules, damaged_midi_track_cuts_after_the_tracks_before) {
    std::vector<uint8_t> mid = read_bytes(fixture("audio/two_tracks.mid"));
    size_t first_end = 14 + 8 + (size_t(mid[18]) << 24 | mid[19] << 16 | mid[20] << 8 | mid[21]);
    ASSERT_LT(first_end, mid.size());
    mid[mid.size() - 2] = 0x00;  // the 0x2F of the last End of Track
    EXPECT_EQ(carve_bytes(format_named("mid"), mid).length, first_end);
}

// Modules whose sample data is cut short are not carved (their end is stated, not reached).
TEST(audio_rules, modules_cut_short_give_no_file) {
    for (const char* name : {"sine.xm", "sine.it"}) {
        std::vector<uint8_t> module = read_bytes(fixture(std::string("audio/") + name));
        module.resize(module.size() - 100);
        EXPECT_EQ(carve_bytes(format_named(name[5] == 'x' ? "xm" : "it"), module).length, 0u) << name;
    }
}

// An ID3v2 tag with nothing after it, or with a lone frame sync, is no MP3.
TEST(audio_rules, id3v2_without_frames_gives_no_mp3) {
    std::vector<uint8_t> mp3 = read_bytes(fixture("audio/cbr_id3v2.mp3"));
    size_t tag = 10 + (size_t(mp3[6]) << 21 | mp3[7] << 14 | mp3[8] << 7 | mp3[9]);
    std::vector<uint8_t> only_tag(mp3.begin(), mp3.begin() + tag);
    only_tag.resize(tag + 4096, 0);
    EXPECT_EQ(carve_bytes(format_named("mp3"), only_tag).length, 0u);
    only_tag[tag] = 0xFF;
    only_tag[tag + 1] = 0xFB;
    only_tag[tag + 2] = 0x90;
    EXPECT_EQ(carve_bytes(format_named("mp3"), only_tag).length, 0u);
}

}  // namespace

namespace {

// A FLAC file behind an ID3v2 tag (written by some taggers) comes back whole, as FLAC.
TEST(audio_rules, flac_behind_an_id3v2_tag_is_one_flac_file) {
    std::vector<uint8_t> mp3 = read_bytes(fixture("audio/cbr_id3v2.mp3"));
    size_t tag = 10 + (size_t(mp3[6]) << 21 | mp3[7] << 14 | mp3[8] << 7 | mp3[9]);
    std::vector<uint8_t> bytes(mp3.begin(), mp3.begin() + tag);
    std::vector<uint8_t> flac = read_bytes(fixture("audio/plain.flac"));
    bytes.insert(bytes.end(), flac.begin(), flac.end());
    size_t whole = bytes.size();
    bytes.resize(whole + 4096, 0);
    ember::carve_result_t r = carve_bytes(format_named("mp3"), bytes);
    EXPECT_EQ(r.length, whole);
    EXPECT_STREQ(r.extension ? r.extension : "", "flac");
}

// The last frame ends where its CRC-16 first holds, but never closer to its start than the
// smallest frame STREAMINFO states: data in the frame that happens to zero the CRC early does
// not cut the file short.
TEST(audio_rules, flac_last_frame_is_not_cut_where_its_crc_holds_by_chance) {
    std::vector<uint8_t> flac = read_bytes(fixture("audio/plain.flac"));
    size_t min_frame = size_t(flac[12]) << 16 | size_t(flac[13]) << 8 | flac[14];
    size_t last = 0;
    for (size_t i = flac.size() - 8; i > 42 && !last; --i) {
        if (flac[i] != 0xFF || (flac[i + 1] & 0xFE) != 0xF8) continue;
        for (size_t n = 5; n < 16 && i + n < flac.size() && !last; ++n)
            if (ember::flac_crc8(&flac[i], n) == flac[i + n]) last = i;
    }
    const size_t early = 32;
    ASSERT_NE(last, 0u);
    ASSERT_GT(min_frame, early);
    ASSERT_GE(flac.size() - last, min_frame);
    ASSERT_EQ(carve_bytes(format_named("flac"), flac).length, flac.size());

    // Two bytes that zero the CRC at `early`, then the frame's own CRC made right again.
    uint16_t crc = ember::flac_crc16(0, &flac[last], early - 2);
    flac[last + early - 2] = uint8_t(crc >> 8), flac[last + early - 1] = uint8_t(crc);
    ASSERT_EQ(ember::flac_crc16(0, &flac[last], early), 0);
    crc = ember::flac_crc16(0, &flac[last], flac.size() - last - 2);
    flac[flac.size() - 2] = uint8_t(crc >> 8), flac[flac.size() - 1] = uint8_t(crc);
    size_t whole = flac.size();
    flac.resize(whole + 4096, 0x5A);
    EXPECT_EQ(carve_bytes(format_named("flac"), flac).length, whole);
}

}  // namespace
