// The carving loop over memory and over a device-like source (read-ahead thread, small chunks,
// failing ranges), with two toy formats: "TOY!" + le32 length and "TWIN" + le32 length.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "core/byte_order.h"
#include "core/find_layout.h"
#include "core/format_registry.h"
#include "core/overlap_rule.h"
#include "core/scan.h"
#include "core/sector_retry.h"

using namespace ember;

namespace {

// A file is the magic, its whole length (le32) and filler; a length below 8 or past the end of
// the source is refused.
template <uint32_t magic>
carve_result_t carve_toy(carve_input_c& in) {
    uint32_t length = 0;
    if (!in.le32(4, length) || length < 8 || length > in.size()) return {};
    // Walk the body as a carver does: every byte must be reachable.
    for (uint64_t at = 0; at < length;) {
        auto run = in.run(at);
        if (run.empty()) return {};
        at += run.size();
    }
    return {length, magic == fourcc("TOY!") ? "toy" : "twn"};
}

bool probe_toy(const uint8_t* head, size_t size) { return size >= 8 && std::memcmp(head, "TOY!", 4) == 0; }
bool probe_twin(const uint8_t* head, size_t size) { return size >= 8 && std::memcmp(head, "TWIN", 4) == 0; }
// Accepts the same sectors as toy but never carves: the next format must still be asked.
bool probe_greedy(const uint8_t* head, size_t size) { return size >= 4 && head[0] == 'T'; }
carve_result_t carve_nothing(carve_input_c&) { return {}; }

const format_t toy{"toy", "T", probe_toy, carve_toy<fourcc("TOY!")>};
const format_t twin{"twin", "T", probe_twin, carve_toy<fourcc("TWIN")>};
const format_t greedy{"greedy", "T", probe_greedy, carve_nothing};

struct found_t {
    std::string extension;
    std::vector<uint8_t> bytes;
};

class memory_output_c final : public scan_output_i {
public:
    uint64_t total_sectors = ~0ull;
    std::map<uint64_t, found_t> files;
    uint64_t last_progress = 0;
    bool is_progress_monotonic = true;
    bool is_open = false;
    std::function<void(uint64_t)> on_begin;  // called as each find starts being written

    void total(uint64_t t) override { total_sectors = t; }
    bool begin_file(uint64_t sector, const char* extension) override {
        if (on_begin) on_begin(sector);
        EXPECT_FALSE(is_open);
        is_open = true;
        current_ = sector;
        files_in_progress_ = {extension, {}};
        return true;
    }
    bool write_file(const uint8_t* data, size_t size) override {
        files_in_progress_.bytes.insert(files_in_progress_.bytes.end(), data, data + size);
        return true;
    }
    bool end_file(bool is_complete) override {
        is_open = false;
        if (is_complete) files[current_] = files_in_progress_;
        return true;
    }
    void progress(uint64_t sector) override {
        if (sector < last_progress && sector != current_) is_progress_monotonic = false;
        last_progress = sector;
    }

private:
    uint64_t current_ = 0;
    found_t files_in_progress_;
};

void put_toy(std::vector<uint8_t>& card, size_t at, const char* magic, uint32_t length, uint8_t fill) {
    ASSERT_LE(at + 8, card.size());
    std::memcpy(card.data() + at, magic, 4);
    for (int i = 0; i < 4; ++i) card[at + 4 + i] = uint8_t(length >> (8 * i));
    for (size_t i = 8; i < length && at + i < card.size(); ++i) card[at + i] = fill;
}

// Behaves like a worn card reader, counting its reads: a read that touches a bad sector fails
// as a whole; once a read touches gone_from (a card pulled out there) every later read fails with
// gone_error; a card shrunk to `available` bytes gives short reads past it.
class worn_reader_c final : public raw_reader_i {
public:
    worn_reader_c(const std::vector<uint8_t>& bytes, std::set<uint64_t> bad) : bytes_(bytes), bad_(std::move(bad)) {}
    int64_t read_raw(uint64_t offset, uint8_t* buf, size_t len) override {
        std::lock_guard lock(mutex_);
        ++reads;
        uint64_t end = std::min<uint64_t>(offset + len, available);
        bool is_bad = false;
        for (uint64_t s = offset / 512; s * 512 < offset + len; ++s) {
            is_bad = is_bad || bad_.count(s);
            is_pulled = is_pulled || s >= gone_from;
        }
        if (is_pulled || is_bad) {
            ++failing_reads;
            if (len <= 512 && is_bad) ++sector_reads_of_bad[offset / 512];
            return is_pulled ? gone_error : raw_read_failed;
        }
        if (offset >= end) return 0;
        std::memcpy(buf, bytes_.data() + offset, size_t(end - offset));
        return int64_t(end - offset);
    }
    std::mutex mutex_;
    uint64_t reads = 0, failing_reads = 0;
    std::map<uint64_t, int> sector_reads_of_bad;
    uint64_t gone_from = ~uint64_t(0);
    int64_t gone_error = raw_device_gone;
    bool is_pulled = false;
    uint64_t available = ~uint64_t(0);

private:
    const std::vector<uint8_t>& bytes_;
    std::set<uint64_t> bad_;
};

// A device source over a worn reader that the test keeps a hand on.
struct worn_card_t {
    worn_card_t(const std::vector<uint8_t>& bytes, std::set<uint64_t> bad)
        : reader(new worn_reader_c(bytes, std::move(bad))),
          source(std::unique_ptr<raw_reader_i>(reader), bytes.size()) {}
    worn_reader_c* reader;  // owned by source
    device_source_c source;
};

// A test card: finds at sectors 0, 3 (2000 bytes, so through sector 6), a false start inside
// that file at sector 5 (skipped), a refused candidate at 9 (length 4), a twin at 10, a toy
// spanning the small chunks at 30, and a toy ending exactly at the end of the card.
std::vector<uint8_t> test_card(size_t sectors) {
    std::vector<uint8_t> card(sectors * 512, 0x5a);
    put_toy(card, 0, "TOY!", 100, 1);
    put_toy(card, 3 * 512, "TOY!", 2000, 2);
    put_toy(card, 5 * 512, "TOY!", 600, 3);
    put_toy(card, 9 * 512, "TOY!", 4, 4);
    put_toy(card, 10 * 512, "TWIN", 512, 5);
    put_toy(card, 30 * 512, "TOY!", 5000, 6);
    put_toy(card, card.size() - 700, "TOY!", 700, 7);  // not on a sector boundary: never seen
    put_toy(card, card.size() - 1024, "TOY!", 1024, 8);
    return card;
}

void expect_test_card_finds(const memory_output_c& out, const std::vector<uint8_t>& card) {
    std::vector<uint64_t> starts;
    for (auto& [sector, file] : out.files) starts.push_back(sector);
    uint64_t last = card.size() / 512 - 2;
    EXPECT_EQ(starts, (std::vector<uint64_t>{0, 3, 10, 30, last}));
    for (auto& [sector, file] : out.files) {
        ASSERT_LE(sector * 512 + file.bytes.size(), card.size());
        EXPECT_TRUE(std::equal(file.bytes.begin(), file.bytes.end(), card.begin() + sector * 512)) << sector;
    }
    EXPECT_EQ(out.files.at(10).extension, "twn");
    EXPECT_EQ(out.files.at(3).bytes.size(), 2000u);
    EXPECT_EQ(out.total_sectors, card.size() / 512);
    EXPECT_EQ(out.last_progress, card.size() / 512);
    EXPECT_TRUE(out.is_progress_monotonic);
}

}  // namespace

TEST(scan, memory_source_dispatch_skip_reject_and_end) {
    std::vector<uint8_t> card = test_card(64);
    memory_source_c source(card);
    memory_output_c out;
    scan_summary_t summary = scan_source(source, {&greedy, &toy, &twin}, out);
    expect_test_card_finds(out, card);
    EXPECT_EQ(summary.files, 5u);
    EXPECT_EQ(summary.bytes_found, 100u + 2000 + 512 + 5000 + 1024);
}

TEST(scan, device_source_through_small_chunks_gives_the_same_finds) {
    std::vector<uint8_t> card = test_card(64);
    worn_card_t device(card, {});
    for (size_t chunk : {512u, 1536u, 4096u}) {
        memory_output_c out;
        scan_config_t config;
        config.chunk_size = chunk;
        config.read_ahead_depth = 2;
        scan_source(device.source, {&toy, &twin}, out, config);
        expect_test_card_finds(out, card);
    }
}

TEST(scan, formats_not_enabled_are_never_asked) {
    std::vector<uint8_t> card = test_card(64);
    memory_source_c source(card);
    memory_output_c out;
    scan_source(source, {&twin}, out);
    ASSERT_EQ(out.files.size(), 1u);
    EXPECT_EQ(out.files.begin()->first, 10u);
    memory_output_c none;
    scan_source(source, {}, none);
    EXPECT_TRUE(none.files.empty());
    EXPECT_EQ(none.last_progress, 64u);
}

TEST(scan, unreadable_sectors_read_as_zeros_and_the_scan_goes_on) {
    std::vector<uint8_t> card = test_card(64);
    // Sector 4 lies inside the file at 3; 20..22 lie between finds; 0 is the first file's head.
    worn_card_t device(card, {0, 4, 20, 21, 22});
    memory_output_c out;
    scan_config_t config;
    config.chunk_size = 8192;
    scan_summary_t summary = scan_source(device.source, {&toy, &twin}, out, config);
    std::vector<uint64_t> starts;
    for (auto& [sector, file] : out.files) starts.push_back(sector);
    EXPECT_EQ(starts, (std::vector<uint64_t>{3, 10, 30, 62}));
    const std::vector<uint8_t>& damaged = out.files.at(3).bytes;
    ASSERT_EQ(damaged.size(), 2000u);
    EXPECT_TRUE(std::all_of(damaged.begin() + 512, damaged.begin() + 1024, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(damaged.begin() + 1024, damaged.end(), card.begin() + 3 * 512 + 1024));
    EXPECT_EQ(summary.unreadable_sectors, 5u);
    EXPECT_EQ(summary.files, 4u);
    EXPECT_EQ(summary.damaged_files, 1u);  // only the file at 3 holds a zero-filled sector
    EXPECT_FALSE(summary.is_source_lost);
    EXPECT_EQ(summary.bytes_scanned, card.size());
}

// A failing chunk is read once more, then sector by sector; each bad sector is asked for on its
// own once, and never again by any later read (the file system, a copy of a find).
TEST(sector_retry, each_bad_sector_is_asked_for_once_and_never_again) {
    std::vector<uint8_t> card = test_card(4096);
    std::set<uint64_t> bad{100, 3000};
    for (uint64_t s = 1000; s < 2000; ++s) bad.insert(s);
    worn_card_t device(card, bad);
    memory_output_c out;
    scan_config_t config;
    config.chunk_size = 256 * 1024;
    scan_summary_t summary = scan_source(device.source, {&toy, &twin}, out, config);
    EXPECT_EQ(summary.unreadable_sectors, bad.size());
    ASSERT_EQ(device.reader->sector_reads_of_bad.size(), bad.size());
    for (auto [sector, reads] : device.reader->sector_reads_of_bad) EXPECT_EQ(reads, 1) << sector;
    // Two whole reads for each failing chunk (five here; a carve may meet one first).
    EXPECT_LE(device.reader->failing_reads, bad.size() + 2 * 8);
    uint64_t failing_after_scan = device.reader->failing_reads;
    std::vector<uint8_t> again(card.size(), 0xee);
    ASSERT_EQ(device.source.read_at(0, again.data(), again.size()), card.size());
    EXPECT_EQ(device.reader->failing_reads, failing_after_scan);
    for (uint64_t s = 0; s < 4096; ++s) {
        bool is_zero = std::all_of(again.begin() + s * 512, again.begin() + (s + 1) * 512, [](uint8_t b) { return b == 0; });
        bool is_card = std::equal(again.begin() + s * 512, again.begin() + (s + 1) * 512, card.begin() + s * 512);
        EXPECT_TRUE(bad.count(s) ? is_zero : is_card) << s;
    }
    EXPECT_TRUE(device.source.has_unreadable(1999 * 512 + 511, 1));
    EXPECT_FALSE(device.source.has_unreadable(2000 * 512, 1000 * 512));
    EXPECT_FALSE(device.source.is_lost());
}

// A card pulled out (the device gone, or every read failing from some moment on, even where it
// read before) ends the scan within a few failing reads; the finds before stay whole.
TEST(scan, a_pulled_card_ends_the_scan_at_once_keeping_the_finds_before) {
    // Pulled out when a read first reaches sector 8192, beyond every carve window before it.
    std::vector<uint8_t> card = test_card(16384);
    put_toy(card, 1000 * 512, "TOY!", 40000, 9);
    put_toy(card, 3000 * 512, "TOY!", 1000, 9);
    for (int64_t error : {raw_device_gone, raw_read_failed}) {
        worn_card_t device(card, {});
        device.reader->gone_from = 8192;
        device.reader->gone_error = error;
        memory_output_c out;
        scan_config_t config;
        config.chunk_size = 64 * 1024;
        scan_summary_t summary = scan_source(device.source, {&toy, &twin}, out, config);
        EXPECT_TRUE(summary.is_source_lost);
        EXPECT_TRUE(device.source.is_lost());
        EXPECT_LE(device.reader->failing_reads, 4u) << error;
        EXPECT_LE(summary.bytes_scanned, 8192u * 512);
        EXPECT_GE(summary.bytes_scanned, 3002u * 512);
        std::vector<uint64_t> starts;
        for (auto& [sector, file] : out.files) starts.push_back(sector);
        EXPECT_EQ(starts, (std::vector<uint64_t>{0, 3, 10, 30, 1000, 3000})) << error;
        EXPECT_EQ(out.files.at(1000).bytes.size(), 40000u);
        EXPECT_EQ(summary.damaged_files, 0u);
    }
}

// A card that shrinks while a find is being copied keeps that find up to where the card ends.
TEST(scan, a_card_that_shrinks_keeps_the_find_being_written_up_to_the_cut) {
    constexpr size_t mib = 1024 * 1024;
    std::vector<uint8_t> card(8 * mib, 0);
    put_toy(card, 0, "TOY!", 1000, 1);
    put_toy(card, 8 * 512, "TOY!", 5 * mib, 2);
    worn_card_t device(card, {});
    memory_output_c out;
    out.on_begin = [&](uint64_t sector) {
        if (sector == 8) device.reader->available = 3 * mib + mib / 2;
    };
    scan_config_t config;
    config.chunk_size = mib;
    scan_summary_t summary = scan_source(device.source, {&toy}, out, config);
    EXPECT_TRUE(summary.is_source_lost);
    ASSERT_EQ(out.files.size(), 2u);
    EXPECT_EQ(out.files.at(0).bytes.size(), 1000u);
    const std::vector<uint8_t>& cut = out.files.at(8).bytes;
    ASSERT_EQ(cut.size(), 3 * mib + mib / 2 - 8 * 512);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), card.begin() + 8 * 512));
    EXPECT_EQ(summary.damaged_files, 1u);
    EXPECT_EQ(summary.files, 2u);
}

// An overwritten file still states its old length; a newer file of another type that starts on
// one of its sectors cuts it there and is found whole. One of its own type does not.
TEST(scan, a_newer_file_inside_an_earlier_find_cuts_it) {
    std::vector<uint8_t> card(32 * 512, 0);
    put_toy(card, 0, "TOY!", 4000, 1);
    put_toy(card, 2 * 512, "TWIN", 700, 2);
    put_toy(card, 10 * 512, "TOY!", 2000, 3);
    put_toy(card, 12 * 512, "TOY!", 300, 4);
    for (bool through_device : {false, true}) {
        memory_source_c memory(card);
        worn_card_t device(card, {});
        memory_output_c out;
        scan_config_t config;
        config.chunk_size = 1536;
        scan_source(through_device ? static_cast<byte_source_i&>(device.source) : memory, {&toy, &twin}, out, config);
        ASSERT_EQ(out.files.size(), 3u);
        EXPECT_EQ(out.files[0].bytes, std::vector<uint8_t>(card.begin(), card.begin() + 1024));
        EXPECT_EQ(out.files[2].extension, "twn");
        EXPECT_EQ(out.files[2].bytes.size(), 700u);
        EXPECT_EQ(out.files[10].bytes.size(), 2000u);
    }
    // A find that reaches only a few bytes into the sector where the newer file starts is cut
    // there too: the newer file's probe sees its whole first sector.
    std::vector<uint8_t> edge(8 * 512, 0);
    put_toy(edge, 0, "TOY!", 2 * 512 + 4, 1);
    put_toy(edge, 2 * 512, "TWIN", 900, 2);
    memory_source_c memory(edge);
    memory_output_c out;
    scan_source(memory, {&toy, &twin}, out, scan_config_t{});
    ASSERT_EQ(out.files.size(), 2u);
    EXPECT_EQ(out.files[0].bytes.size(), 1024u);
    EXPECT_EQ(out.files[2].bytes.size(), 900u);
}

TEST(overlap_rule, only_types_that_never_live_inside_the_earlier_one_cut_it) {
    EXPECT_TRUE(nested_find_cuts("avi", "caf"));
    EXPECT_TRUE(nested_find_cuts("wav", "jpg"));
    EXPECT_FALSE(nested_find_cuts("avi", "jpg"));   // motion JPEG frames
    EXPECT_FALSE(nested_find_cuts("nef", "tif"));   // previews
    EXPECT_FALSE(nested_find_cuts("mov", "mp3"));   // audio streams
    EXPECT_FALSE(nested_find_cuts("wv", "wv"));     // its own blocks
    EXPECT_FALSE(nested_find_cuts("ogm", "ogg"));   // chained links
    EXPECT_FALSE(nested_find_cuts("ico", "png"));   // icon images
    // Streams cut what cannot carry them, and leave the containers that do.
    EXPECT_TRUE(nested_find_cuts("wav", "m2ts"));
    EXPECT_FALSE(nested_find_cuts("m2ts", "m2ts"));
    EXPECT_TRUE(nested_find_cuts("mkv", "mpg"));
    EXPECT_TRUE(nested_find_cuts("bmp", "mpg"));
    EXPECT_TRUE(nested_find_cuts("wav", "dv"));
    EXPECT_FALSE(nested_find_cuts("avi", "dv"));
    EXPECT_TRUE(nested_find_cuts("jpg", "mp3"));
    EXPECT_FALSE(nested_find_cuts("wav", "mp3"));
    EXPECT_FALSE(nested_find_cuts("flv", "mp3"));
    EXPECT_TRUE(nested_find_cuts("mkv", "mkv"));  // no EBML header inside a segment
    // Where the earlier find's structure says: its own pictures stay, anything else written over
    // its payload cuts it, and streams its payload may carry are left to the rules above.
    EXPECT_FALSE(nested_find_cuts("wav", "jpg", nested_place_t::embedded));
    EXPECT_TRUE(nested_find_cuts("mov", "jpg", nested_place_t::payload));
    EXPECT_TRUE(nested_find_cuts("mov", "mov", nested_place_t::payload));
    EXPECT_TRUE(nested_find_cuts("nef", "tif", nested_place_t::payload));
    EXPECT_FALSE(nested_find_cuts("avi", "mp3", nested_place_t::payload));
    EXPECT_FALSE(nested_find_cuts("mov", "jpg", nested_place_t::other));
}

TEST(find_layout, places_of_payload_and_embedded_starts) {
    find_layout_c layout;
    EXPECT_EQ(layout.place_of(512), nested_place_t::other);
    layout.add_payload(1000, 3000);  // [1000, 4000)
    layout.add_payload(4000, 1000);  // joins it
    layout.add_payload(9000, 100);
    layout.add_embedded(2048);
    layout.add_embedded(3000);  // off a sector boundary: never a candidate
    EXPECT_EQ(layout.place_of(512), nested_place_t::other);
    EXPECT_EQ(layout.place_of(1024), nested_place_t::payload);
    EXPECT_EQ(layout.place_of(2048), nested_place_t::embedded);
    EXPECT_EQ(layout.place_of(4608), nested_place_t::payload);
    EXPECT_EQ(layout.place_of(5120), nested_place_t::other);
    EXPECT_EQ(layout.place_of(9000 / 512 * 512), nested_place_t::other);
    layout.clear();
    EXPECT_EQ(layout.place_of(1024), nested_place_t::other);
}
