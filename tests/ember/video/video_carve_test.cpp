// The video carvers on real files made by real encoders (fixtures/video, made by its
// make_fixtures.sh) and on camera files from the bench media where present.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/byte_order.h"
#include "core/format_registry.h"
#include "ember/support/carve_test_support.h"

namespace {

using ember_test::carve_bytes;
using ember_test::fixture;
using ember_test::read_bytes;

const ember::format_t& format(std::string_view name) {
    std::string_view names[] = {name};
    static std::vector<const ember::format_t*> keep;
    auto found = ember::formats_named(names);
    EXPECT_EQ(found.size(), 1u) << name;
    keep.push_back(found.at(0));
    return *keep.back();
}

struct sample_t {
    const char* file;
    const char* search_name;
    const char* extension;
};

const sample_t samples[] = {
    {"faststart.mp4", "mov", "mp4"}, {"camera.mp4", "mov", "mp4"},   {"quicktime.mov", "mov", "mov"},
    {"sample.3gp", "mov", "3gp"},    {"clip.avi", "riff", "avi"},    {"tone.wav", "riff", "wav"},
    {"clip.wmv", "asf", "wmv"},      {"tone.wma", "asf", "wma"},     {"clip.flv", "flv", "flv"},
    {"clip.mkv", "mkv", "mkv"},      {"clip.webm", "mkv", "webm"},   {"clip.mpg", "mpg", "mpg"},
    {"clip.ts", "m2ts", "m2t"},      {"clip.m2ts", "m2ts", "m2ts"},  {"frame_ntsc.dv", "dv", "dv"},
    {"clip.rm", "rm", "rm"},     {"clip.swf", "swf", "swf"},     {"frame.dpx", "dpx", "dpx"},
};

std::vector<uint8_t> random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

std::vector<uint8_t> load(const std::string& name) {
    std::vector<uint8_t> bytes = read_bytes(fixture("video/" + name));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

// The whole file comes back, alone or followed by zeros, random data or another copy.
std::vector<uint8_t> load(const std::string& name);
std::vector<uint8_t> random_bytes(size_t n, unsigned seed);

// A source that is not one block of memory, as a card is: the carver reads through the window.
class copying_source_c final : public ember::byte_source_i {
public:
    explicit copying_source_c(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override {
        if (offset >= bytes_.size()) return 0;
        size_t n = size_t(std::min<uint64_t>(len, bytes_.size() - offset));
        std::memcpy(buf, bytes_.data() + offset, n);
        return n;
    }
    uint64_t size() const override { return bytes_.size(); }

private:
    const std::vector<uint8_t>& bytes_;
};

// The file stored at a sector boundary inside a larger image, read as the scan reads it.
uint64_t carve_in_image(const ember::format_t& f, const std::vector<uint8_t>& file) {
    constexpr size_t start = 3 * 512 * 1024 + 512;  // not on a window boundary
    std::vector<uint8_t> image = random_bytes(start, 5);
    image.insert(image.end(), file.begin(), file.end());
    image.resize(image.size() + 64 * 1024, 0);
    copying_source_c source(image);
    ember::carve_input_c in(source, start);
    if (!f.probe(image.data() + start, std::min(file.size(), ember::probe_size))) return 0;
    return f.carve(in).length;
}

// The whole file comes back, alone or followed by zeros, random data or a file of another type
// (a copy of itself would make one longer stream of the frame and packet formats).
void expect_exact(const ember::format_t& f, const std::vector<uint8_t>& file, const char* ext,
                  const std::string& what) {
    // The scan only offers a sector to the types whose lead bytes hold its first byte.
    EXPECT_NE(f.lead_bytes.find(char(file.at(0))), std::string_view::npos) << what;
    std::vector<uint8_t> other = load(f.search_name == "riff" ? "clip.flv" : "tone.wav");
    EXPECT_EQ(carve_in_image(f, file), file.size()) << what << " inside an image";
    std::vector<std::vector<uint8_t>> tails = {{}, std::vector<uint8_t>(4096), random_bytes(4096, 7), other};
    for (size_t t = 0; t < tails.size(); ++t) {
        std::vector<uint8_t> bytes = file;
        bytes.insert(bytes.end(), tails[t].begin(), tails[t].end());
        ember::carve_result_t r = carve_bytes(f, bytes);
        EXPECT_EQ(r.length, file.size()) << what << " tail " << t;
        if (r.length) {
            EXPECT_STREQ(r.extension, ext) << what;
        }
    }
}

TEST(video_carve, every_fixture_carves_to_its_own_length_and_kind) {
    for (const sample_t& s : samples) {
        if (!s.extension) continue;
        expect_exact(format(s.search_name), load(s.file), s.extension, s.file);
    }
}


TEST(video_carve, dv_stream_ends_after_its_last_whole_frame) {
    std::vector<uint8_t> frame = load("frame_ntsc.dv");
    ASSERT_EQ(frame.size(), 120000u);
    std::vector<uint8_t> three;
    for (int i = 0; i < 3; ++i) three.insert(three.end(), frame.begin(), frame.end());
    expect_exact(format("dv"), three, "dv", "three frames");
    std::vector<uint8_t> cut(three.begin(), three.end() - 1000);
    EXPECT_EQ(carve_bytes(format("dv"), cut).length, 240000u);
    // Other bytes from a sector boundary after the last frame's last sequence header (its next
    // fragment lies elsewhere): its sequence headers are in place, its blocks are not.
    std::vector<uint8_t> tail = three;
    const std::vector<uint8_t> foreign = random_bytes(tail.size() - 348672, 3);
    std::copy(foreign.begin(), foreign.end(), tail.begin() + 348672);
    EXPECT_EQ(carve_bytes(format("dv"), tail).length, 240000u);
}

// Cut files never come back longer than what is there; corrupted ones never crash or overrun.
TEST(video_carve, truncated_and_corrupted_files_stay_inside_the_data) {
    for (const sample_t& s : samples) {
        if (!s.extension) continue;
        const ember::format_t& f = format(s.search_name);
        std::vector<uint8_t> file = load(s.file);
        for (size_t cut : {size_t(16), size_t(100), file.size() / 3, file.size() / 2, file.size() - 1}) {
            if (cut >= file.size()) continue;
            std::vector<uint8_t> part(file.begin(), file.begin() + cut);
            EXPECT_LE(carve_bytes(f, part).length, cut) << s.file << " cut at " << cut;
        }
        std::mt19937 rng(1);
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> bad = file;
            for (int k = 0; k < 8; ++k) bad[rng() % bad.size()] = uint8_t(rng());
            ember::carve_result_t r = carve_bytes(f, bad);
            EXPECT_LE(r.length, bad.size()) << s.file;
        }
    }
}

TEST(video_carve, zeros_and_random_data_are_no_video) {
    std::vector<uint8_t> zeros(1 << 20);
    std::vector<uint8_t> noise = random_bytes(1 << 20, 3);
    for (const ember::format_t* f : ember::video_formats()) {
        EXPECT_EQ(carve_bytes(*f, zeros).length, 0u) << f->search_name;
        EXPECT_EQ(carve_bytes(*f, noise).length, 0u) << f->search_name;
    }
}

TEST(video_carve, mp4_without_its_index_is_not_reported) {
    // The camera layout cut before its moov: media without an index is no playable file.
    std::vector<uint8_t> file = load("camera.mp4");
    size_t moov = 0;
    for (size_t i = 4; i + 4 <= file.size(); ++i)
        if (std::memcmp(&file[i], "moov", 4) == 0) moov = i - 4;
    ASSERT_GT(moov, 0u);
    std::vector<uint8_t> cut(file.begin(), file.begin() + moov);
    cut.resize(cut.size() + 4096, 0);
    EXPECT_EQ(carve_bytes(format("mov"), cut).length, 0u);
    // A junk box header after the moov ends the file at the moov.
    std::vector<uint8_t> junk = file;
    std::vector<uint8_t> noise = random_bytes(512, 9);
    junk.insert(junk.end(), noise.begin(), noise.end());
    junk[file.size()] = 0;
    EXPECT_EQ(carve_bytes(format("mov"), junk).length, file.size());
}

TEST(video_carve, ifo_ends_at_its_last_sector) {
    std::vector<uint8_t> ifo(3 * 2048 + 512, 0);
    std::memcpy(ifo.data(), "DVDVIDEO-VTS", 12);
    ifo[0x0F] = 40;  // last sector of the title set
    ifo[0x1F] = 2;   // last sector of the IFO
    ember::carve_result_t r = carve_bytes(format("ifo"), ifo);
    EXPECT_EQ(r.length, 3u * 2048);
    EXPECT_STREQ(r.extension, "ifo");
    ifo[0x0F] = 1;  // an IFO cannot end past its title set
    EXPECT_EQ(carve_bytes(format("ifo"), ifo).length, 0u);
}

// Camera files from the bench media, where present.
TEST(video_carve, bench_media_videos_carve_to_their_own_length) {
    namespace fs = std::filesystem;
    fs::path root = ember_test::bench_media_root();
    if (!fs::is_directory(root)) GTEST_SKIP() << "no bench media at " << root;
    struct kind_t { const char* suffix; const char* search_name; const char* ext; };
    const kind_t kinds[] = {{".mov", "mov", "mov"}, {".mp4", "mov", "mp4"}, {".m4v", "mov", "mp4"},
                            {".3gp", "mov", "3gp"}, {".avi", "riff", "avi"}, {".wav", "riff", "wav"},
                            {".mpg", "mpg", "mpg"}};
    int seen = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::string suffix = entry.path().extension().string();
        for (auto& c : suffix) c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const kind_t& k : kinds) {
            if (suffix != k.suffix) continue;
            std::vector<uint8_t> file = read_bytes(entry.path());
            // This camera writes 4 bytes past the end of its RIFF; the file is what the RIFF holds.
            if (entry.path().filename().string().starts_with("P101000") && k.ext == std::string("wav"))
                file.resize(std::min<size_t>(file.size(), 32216));
            expect_exact(format(k.search_name), file, k.ext, entry.path().string());
            std::vector<uint8_t> half(file.begin(), file.begin() + file.size() / 2);
            EXPECT_LE(carve_bytes(format(k.search_name), half).length, half.size());
            ++seen;
        }
    }
    if (seen == 0) GTEST_SKIP() << "no videos in the bench media";
}

}  // namespace

namespace {

void put_be32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (24 - 8 * i));
}

TEST(video_carve, iso_box_sizes_64_bit_and_to_the_end) {
    std::vector<uint8_t> file = load("camera.mp4");  // ftyp 28, free 8, mdat 4384 at 36, moov
    // The same mdat with a 64-bit size in place of the free box before it.
    std::vector<uint8_t> wide = file;
    put_be32(wide, 28, 1);
    std::memcpy(&wide[32], "mdat", 4);
    wide.insert(wide.begin() + 36, {0, 0, 0, 0, 0, 0, 0, 0});
    uint64_t size = 16 + (4384 - 8);
    for (int i = 0; i < 8; ++i) wide[36 + i] = uint8_t(size >> (56 - 8 * i));
    wide.erase(wide.begin() + 44, wide.begin() + 52);  // the old mdat header
    ASSERT_EQ(wide.size(), file.size());
    expect_exact(format("mov"), wide, "mp4", "64-bit mdat");
    // Media data that runs "to the end of the file" ends with its last sample.
    std::vector<uint8_t> open_end = load("faststart.mp4");
    size_t last = 0;
    for (size_t p = 0; p + 8 <= open_end.size();) {
        last = p;
        p += (size_t(open_end[p]) << 24 | open_end[p + 1] << 16 | open_end[p + 2] << 8 | open_end[p + 3]);
    }
    ASSERT_EQ(std::memcmp(&open_end[last + 4], "mdat", 4), 0);
    put_be32(open_end, last, 0);
    expect_exact(format("mov"), open_end, "mp4", "mdat to the end");
}

TEST(video_carve, avi_goes_on_in_its_avix_parts) {
    std::vector<uint8_t> avi = load("clip.avi");
    std::vector<uint8_t> part = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', 'X',
                                 'L', 'I', 'S', 'T', 0, 0, 0, 0, 'm', 'o', 'v', 'i'};
    std::vector<uint8_t> chunk = {'0', '0', 'd', 'c', 100, 0, 0, 0};
    chunk.resize(chunk.size() + 100, 0x55);
    part.insert(part.end(), chunk.begin(), chunk.end());
    uint32_t list = uint32_t(4 + chunk.size()), riff = uint32_t(part.size() - 8);
    std::memcpy(&part[16], &list, 4);  // little-endian host
    std::memcpy(&part[4], &riff, 4);
    std::vector<uint8_t> big = avi;
    big.insert(big.end(), part.begin(), part.end());
    expect_exact(format("riff"), big, "avi", "AVI with an AVIX part");
}

size_t after_in(const std::vector<uint8_t>& riff, size_t chunk) {
    uint32_t size = uint32_t(riff[chunk + 4]) | uint32_t(riff[chunk + 5]) << 8 |
                    uint32_t(riff[chunk + 6]) << 16 | uint32_t(riff[chunk + 7]) << 24;
    return chunk + 8 + size + (size & 1);
}

// Where the stream chunks stop, the AVI is cut before the last chunk, whose end nothing confirms.
TEST(video_carve, avi_is_cut_before_the_chunk_that_runs_into_other_data) {
    std::vector<uint8_t> avi = load("clip.avi");
    size_t movi = 0;
    for (size_t i = 0; i + 4 <= avi.size() && !movi; ++i)
        if (std::memcmp(&avi[i], "movi", 4) == 0) movi = i;
    ASSERT_GT(movi, 0u);
    auto after = [&](size_t chunk) { return after_in(avi, chunk); };
    size_t second = after(movi + 4), third = after(second);
    ASSERT_LT(third + 8, avi.size());
    std::vector<uint8_t> whole = avi;
    std::memcpy(&avi[third], "\x01\x02\x03\x04", 4);
    EXPECT_EQ(carve_bytes(format("riff"), avi).length, second);

    // A writer that leaves out the pad byte after odd-sized chunks: the walk goes on. Two pad
    // bytes go, so that the RIFF and movi sizes stay even.
    std::vector<size_t> pads;
    for (size_t c = movi + 4; c + 8 < whole.size() && pads.size() < 2 && std::memcmp(&whole[c], "idx1", 4) != 0;
         c = after_in(whole, c))
        if (whole[c + 4] & 1) pads.push_back(after_in(whole, c) - 1);
    ASSERT_EQ(pads.size(), 2u) << "the clip has two odd-sized chunks";
    std::vector<uint8_t> unpadded = whole;
    unpadded.erase(unpadded.begin() + long(pads[1]));
    unpadded.erase(unpadded.begin() + long(pads[0]));
    for (size_t at : {size_t(4), movi - 4}) {
        uint32_t v;
        std::memcpy(&v, &unpadded[at], 4);
        v -= 2;
        std::memcpy(&unpadded[at], &v, 4);
    }
    EXPECT_EQ(carve_bytes(format("riff"), unpadded).length, unpadded.size());
}

// A recording written straight after another, without an end code between, starts with a pack
// whose clock is earlier than the last one of the first.
TEST(video_carve, program_stream_ends_where_the_next_recording_starts) {
    std::vector<uint8_t> mpg = load("clip.mpg");
    ASSERT_NE(std::vector<uint8_t>(mpg.end() - 4, mpg.end()), (std::vector<uint8_t>{0, 0, 1, 0xB9}));
    std::vector<uint8_t> two = mpg;
    two.insert(two.end(), mpg.begin(), mpg.end());
    EXPECT_EQ(carve_bytes(format("mpg"), two).length, mpg.size());
}

TEST(video_carve, flv_ends_at_the_last_tag_whose_size_matches) {
    std::vector<uint8_t> flv = load("clip.flv");
    // Break the trailing size of the last tag: the file ends after the tag before it.
    std::vector<uint8_t> bad = flv;
    bad[bad.size() - 1] ^= 0x01;
    uint64_t length = carve_bytes(format("flv"), bad).length;
    EXPECT_GT(length, 13u);
    EXPECT_LT(length, flv.size());
}

TEST(video_carve, matroska_segment_of_unknown_size_ends_at_the_first_foreign_element) {
    std::vector<uint8_t> mkv = load("clip.mkv");
    size_t seg = 0;
    for (size_t i = 0; i + 4 <= mkv.size() && !seg; ++i)
        if (mkv[i] == 0x18 && mkv[i + 1] == 0x53 && mkv[i + 2] == 0x80 && mkv[i + 3] == 0x67) seg = i;
    ASSERT_GT(seg, 0u);
    ASSERT_EQ(mkv[seg + 4], 0x01);  // an 8-byte size, overwritten with "unknown"
    std::memset(&mkv[seg + 5], 0xFF, 7);
    expect_exact(format("mkv"), mkv, "mkv", "unknown-size segment");
}

// Other bytes from a sector boundary inside a Cluster on (the file's next fragment lies
// elsewhere): the block they cut is not kept, though its header and size looked sound.
TEST(video_carve, matroska_cluster_cut_by_other_bytes_ends_before_its_last_block) {
    const std::vector<uint8_t> mkv = load("clip.mkv");
    for (size_t cut = 1024; cut + 1024 < mkv.size(); cut += 512) {
        std::vector<uint8_t> broken(mkv.begin(), mkv.begin() + long(cut));
        const std::vector<uint8_t> foreign = random_bytes(8192, unsigned(cut));
        broken.insert(broken.end(), foreign.begin(), foreign.end());
        const uint64_t length = carve_bytes(format("mkv"), broken).length;
        EXPECT_LE(length, cut) << "cut at " << cut;
    }
}

// A RealMedia file whose packets give way to other bytes at a sector boundary ends at or before
// that boundary, not at its DATA chunk's stated size.
TEST(video_carve, realmedia_cut_by_other_bytes_ends_before_the_packet_they_cut) {
    const std::vector<uint8_t> rm = load("clip.rm");
    for (size_t cut = 1024; cut + 1024 < rm.size(); cut += 512) {
        std::vector<uint8_t> broken(rm.begin(), rm.begin() + long(cut));
        const std::vector<uint8_t> foreign = random_bytes(16384, unsigned(cut));
        broken.insert(broken.end(), foreign.begin(), foreign.end());
        const uint64_t length = carve_bytes(format("rm"), broken).length;
        EXPECT_LE(length, cut) << "cut at " << cut;
    }
}

// An ASF file whose data states more packets than lie here, other bytes from a sector boundary
// inside its second packet on: the packet whose flags are in place but whose tail is not the
// file's is not kept.
TEST(video_carve, asf_data_cut_by_other_bytes_ends_before_the_packet_they_cut) {
    std::vector<uint8_t> wma = load("tone.wma");
    const size_t data = size_t(ember::load_le64(&wma[16]));
    ASSERT_EQ(ember::load_le64(&wma[data + 40]), 2u);  // two packets of 3200 bytes
    auto put_le64 = [&](size_t at, uint64_t v) {
        for (int i = 0; i < 8; ++i) wma[at + i] = uint8_t(v >> (8 * i));
    };
    put_le64(data + 16, 50 + 10 * 3200);
    put_le64(data + 40, 10);
    const size_t cut = 4096;  // inside the second packet, past its flags
    ASSERT_LT(data + 50 + 3200, cut);
    wma.resize(cut);
    const std::vector<uint8_t> foreign = random_bytes(32768, 11);
    wma.insert(wma.end(), foreign.begin(), foreign.end());
    EXPECT_EQ(carve_bytes(format("asf"), wma).length, data + 50 + 3200);
}

TEST(video_carve, transport_stream_needs_its_program_table_and_drops_a_chance_packet) {
    std::vector<uint8_t> ts = load("clip.ts");
    ASSERT_EQ(ts.size() % 188, 0u);
    // After the learning packets a packet in sync of a PID never seen, followed by junk, is chance.
    std::vector<uint8_t> longer = ts;
    while (longer.size() < 1100 * 188) longer.insert(longer.end(), ts.begin() + 188 * 3, ts.end());
    longer.resize(longer.size() / 188 * 188);
    size_t whole = longer.size();
    std::vector<uint8_t> stray(188, 0xAA);
    stray[0] = 0x47, stray[1] = 0x12, stray[2] = 0x34;
    longer.insert(longer.end(), stray.begin(), stray.end());
    longer.push_back(0x00);
    EXPECT_EQ(carve_bytes(format("m2ts"), longer).length, whole);
    // Without its program table (PID 0) a run of packets is a fragment, not a file.
    std::vector<uint8_t> no_pat;
    for (size_t p = 0; p + 188 <= ts.size(); p += 188)
        if (((ts[p + 1] & 0x1F) << 8 | ts[p + 2]) != 0) no_pat.insert(no_pat.end(), ts.begin() + p, ts.begin() + p + 188);
    const std::vector<uint8_t> some(no_pat.begin(), no_pat.begin() + 188 * 10);
    while (no_pat.size() < 1100 * 188) no_pat.insert(no_pat.end(), some.begin(), some.end());
    EXPECT_EQ(carve_bytes(format("m2ts"), no_pat).length, 0u);
}

// 192-byte streams come in units of 32 packets, often closed with a null packet of a PID not seen
// before: that packet belongs to the stream.
TEST(video_carve, a_null_packet_that_completes_an_aligned_unit_is_kept) {
    std::vector<uint8_t> m2ts = load("clip.m2ts");
    ASSERT_EQ(m2ts.size() % 192, 0u);
    std::vector<uint8_t> packets;  // the clip's packets without its null packets
    for (size_t p = 0; p < m2ts.size(); p += 192)
        if (((m2ts[p + 5] & 0x1F) << 8 | m2ts[p + 6]) != 0x1FFF)
            packets.insert(packets.end(), m2ts.begin() + long(p), m2ts.begin() + long(p + 192));
    std::vector<uint8_t> longer = packets;
    while (longer.size() < 1100 * 192) longer.insert(longer.end(), packets.begin() + 3 * 192, packets.end());
    longer.resize(longer.size() / 6144 * 6144 - 192);  // one packet short of a whole unit
    std::vector<uint8_t> null_packet(192, 0xFF);
    null_packet[0] = null_packet[1] = null_packet[2] = null_packet[3] = 0;
    null_packet[4] = 0x47, null_packet[5] = 0x1F, null_packet[6] = 0xFF, null_packet[7] = 0x10;
    longer.insert(longer.end(), null_packet.begin(), null_packet.end());
    size_t whole = longer.size();
    longer.resize(whole + 512, 0x00);
    EXPECT_EQ(carve_bytes(format("m2ts"), longer).length, whole);
}

// A 192-byte stream that stops inside an aligned unit was cut by other data written from a sector
// boundary on: the packet that runs on into that sector is not the stream's.
TEST(video_carve, a_192_byte_stream_cut_inside_a_unit_ends_before_the_foreign_sector) {
    const std::vector<uint8_t> m2ts = load("clip.m2ts");
    std::vector<uint8_t> longer = m2ts;
    while (longer.size() < 1100 * 192) longer.insert(longer.end(), m2ts.begin() + 3 * 192, m2ts.end());
    const size_t cut = 1100 * 192 / 512 * 512;  // a sector boundary inside a packet, past its sync byte
    ASSERT_GT(cut % 192, 4u);
    std::vector<uint8_t> foreign = random_bytes(4096, 7);
    foreign[cut / 192 * 192 + 192 + 4 - cut] = 0x00;  // where the next sync byte would be
    longer.resize(cut);
    longer.insert(longer.end(), foreign.begin(), foreign.end());
    EXPECT_EQ(carve_bytes(format("m2ts"), longer).length, cut / 192 * 192);
}

// What the carver gives for the candidate at `start` of an image read as a card is read.
uint64_t carve_at(const ember::format_t& f, const std::vector<uint8_t>& image, uint64_t start) {
    copying_source_c source(image);
    ember::carve_input_c in(source, start);
    return f.carve(in).length;
}

std::vector<uint8_t> ts_packet(uint32_t pid, unsigned counter) {
    std::vector<uint8_t> p(188, 0xFF);
    p[0] = 0x47, p[1] = uint8_t(0x40 | pid >> 8), p[2] = uint8_t(pid), p[3] = uint8_t(0x10 | (counter & 15));
    p[4] = 0;  // pointer field / payload start
    return p;
}

// A stream's later part behind overwritten clusters, or a later fragment, starts on a sector
// with the stream's own data right before it: it is not reported as a file. A recording that
// merely follows another (fresh counters, an earlier clock) still is.
TEST(video_carve, a_stream_found_in_its_own_middle_is_not_a_file) {
    // DV: eight NTSC frames end on a sector boundary.
    std::vector<uint8_t> frame = load("frame_ntsc.dv"), dv;
    for (int i = 0; i < 10; ++i) dv.insert(dv.end(), frame.begin(), frame.end());
    EXPECT_EQ(carve_at(format("dv"), dv, 8 * 120000), 0u);
    std::vector<uint8_t> after_other = random_bytes(8 * 120000, 3);
    after_other.insert(after_other.end(), frame.begin(), frame.end());
    EXPECT_EQ(carve_at(format("dv"), after_other, 8 * 120000), 120000u);

    // Transport stream: a table packet every eight, video between; 128 packets fill 47 sectors.
    auto stream = [](unsigned first_counter, size_t packets) {
        std::vector<uint8_t> ts;
        unsigned counters[2] = {first_counter, first_counter};
        for (size_t k = 0; k < packets; ++k) {
            bool table = k % 8 == 0;
            std::vector<uint8_t> p = ts_packet(table ? 0 : 0x100, counters[table ? 0 : 1]++);
            ts.insert(ts.end(), p.begin(), p.end());
        }
        return ts;
    };
    std::vector<uint8_t> ts = stream(0, 256);
    ASSERT_EQ(128 * 188 % 512, 0u);
    EXPECT_EQ(carve_at(format("m2ts"), ts, 128 * 188), 0u);
    std::vector<uint8_t> two = stream(0, 128), next = stream(7, 128);
    two.insert(two.end(), next.begin(), next.end());
    EXPECT_EQ(carve_at(format("m2ts"), two, 128 * 188), 128u * 188);

    // Program stream: packs of 2048 bytes; a copy written straight after starts its clock anew.
    std::vector<uint8_t> mpg = load("clip.mpg");
    std::vector<uint8_t> again = mpg;
    again.insert(again.end(), mpg.begin(), mpg.end());
    EXPECT_EQ(carve_at(format("mpg"), again, mpg.size()), mpg.size());
    size_t last_pack = mpg.size() - 2048;
    ASSERT_EQ(mpg[last_pack + 3], 0xBA);
    std::copy(mpg.begin() + long(last_pack + 4), mpg.begin() + long(last_pack + 10), again.begin() + long(mpg.size() + 4));
    EXPECT_EQ(carve_at(format("mpg"), again, mpg.size()), 0u);
}

// Inputs that once crashed, hung or misparsed a carver, with the outcome they must have now:
// tests/crashers/video/<search name>/<expected length>_<what>.bin
TEST(video_carve, crashers_keep_their_outcome) {
    namespace fs = std::filesystem;
    fs::path root = fs::path(TESSERA_SOURCE_DIR) / "tests/crashers/video";
    ASSERT_TRUE(fs::is_directory(root)) << root;
    int count = 0;
    for (const auto& dir : fs::directory_iterator(root)) {
        if (!dir.is_directory()) continue;
        const ember::format_t& f = format(dir.path().filename().string());
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            std::string name = entry.path().filename().string();
            if (name.ends_with(".txt")) continue;
            uint64_t expected = std::stoull(name.substr(0, name.find('_')));
            EXPECT_EQ(carve_bytes(f, read_bytes(entry.path())).length, expected) << name;
            ++count;
        }
    }
    EXPECT_GT(count, 0);
}

}  // namespace
