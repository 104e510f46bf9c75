// The whole scan over cards where a file is damaged, cut short or partly overwritten, built from
// real encoder output (fixtures/) and camera files (bench media, where present): a find claims
// only what its structure holds, the intact photos after or inside it are found whole, and a
// file's own embedded pictures are not reported on their own.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "core/byte_order.h"
#include "core/format_registry.h"
#include "core/scan.h"
#include "ember/image/image_test_support.h"
#include "ember/support/memory_output.h"

namespace {

using ember_test::fixture;
using ember_test::read_bytes;

constexpr size_t sector = 512;

using ember_test::memory_output_c;

// A card image: files laid on sector boundaries, with what lies between them.
struct card_t {
    std::vector<uint8_t> bytes;
    size_t put(const std::vector<uint8_t>& file) {
        bytes.resize((bytes.size() + sector - 1) / sector * sector, 0);
        size_t at = bytes.size();
        bytes.insert(bytes.end(), file.begin(), file.end());
        return at;
    }
    void zeros(size_t n) { bytes.resize(bytes.size() + n, 0); }
};

std::map<uint64_t, std::vector<uint8_t>> scan(const card_t& card) {
    ember::memory_source_c source(card.bytes);
    memory_output_c out;
    static const std::vector<const ember::format_t*> formats = ember::all_formats();
    ember::scan_source(source, formats, out);
    return out.files;
}

// Ten intact photos laid from the card's end on (the small ones only, to fit inside a small
// file); their places.
std::vector<std::pair<size_t, std::vector<uint8_t>>> put_photos(card_t& card, bool small = false) {
    static const char* const names[] = {"baseline.jpg", "progressive.jpg", "thumb.jpg", "large.jpg",
                                        "large_progressive.jpg"};
    std::vector<std::pair<size_t, std::vector<uint8_t>>> photos;
    for (int i = 0; i < 10; ++i) {
        std::vector<uint8_t> photo = read_bytes(fixture(std::string("image/") + names[i % (small ? 3 : 5)]));
        photos.emplace_back(card.put(photo), photo);
    }
    return photos;
}

void expect_photos_found(const std::map<uint64_t, std::vector<uint8_t>>& found,
                         const std::vector<std::pair<size_t, std::vector<uint8_t>>>& photos,
                         const std::string& what) {
    int lost = 0;
    for (const auto& [at, photo] : photos) {
        auto f = found.find(at / sector);
        if (f == found.end() || f->second != photo) ++lost;
    }
    EXPECT_EQ(lost, 0) << what << ": intact photos lost";
}

void put_be32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.at(at + i) = uint8_t(x >> (24 - 8 * i));
}
void put_le32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.at(at + i) = uint8_t(x >> (8 * i));
}
void put_be64(std::vector<uint8_t>& v, size_t at, uint64_t x) {
    for (int i = 0; i < 8; ++i) v.at(at + i) = uint8_t(x >> (56 - 8 * i));
}
void put_le64(std::vector<uint8_t>& v, size_t at, uint64_t x) {
    for (int i = 0; i < 8; ++i) v.at(at + i) = uint8_t(x >> (8 * i));
}
size_t find_bytes(const std::vector<uint8_t>& v, const char* text, size_t n) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    auto it = std::search(v.begin(), v.end(), bytes, bytes + n);
    EXPECT_NE(it, v.end()) << text;
    return size_t(it - v.begin());
}

struct damage_t {
    const char* file;
    std::function<void(std::vector<uint8_t>&)> damage;
};

// Each header states far more than the file holds, as after a damaged sector or a writer that
// was stopped before it set its sizes.
const damage_t damaged_sizes[] = {
    {"video/faststart.mp4", [](auto& v) { put_be32(v, 1714, 0x7FFFFFF0); }},
    {"video/faststart.mp4", [](auto& v) {  // the free box and mdat header become a 64-bit mdat
         put_be32(v, 1706, 1);
         std::memcpy(&v[1710], "mdat", 4);
         put_be64(v, 1714, 6400000000ull);
     }},
    {"video/clip.wmv", [](auto& v) {
         size_t data = find_bytes(v, "\x36\x26\xB2\x75\x8E\x66\xCF\x11", 8);
         put_le64(v, data + 16, 6400000000ull);
     }},
    {"video/clip.avi", [](auto& v) { put_le32(v, 4, 0x7FFFFFF0); }},
    {"video/tone.wav", [](auto& v) {
         put_le32(v, 4, 0x7FFFFFF0);
         put_le32(v, find_bytes(v, "data", 4) + 4, 0x7FFFFFD0);
     }},
    {"video/tone.wav", [](auto& v) { put_le32(v, find_bytes(v, "data", 4) + 4, 0x7FFFFFD0); }},
    {"audio/tone.au", [](auto& v) { put_be32(v, 8, 0x7FFFFFF0); }},
    {"audio/tone.caf", [](auto& v) { put_be64(v, find_bytes(v, "data", 4) + 4, uint64_t(1) << 36); }},
    {"audio/plain.aif", [](auto& v) {
         put_be32(v, 4, 0x7FFFFFF0);
         put_be32(v, find_bytes(v, "SSND", 4) + 4, 0x7FFFFF00);
     }},
    {"video/frame.dpx", [](auto& v) { put_be32(v, 16, 0x7FFFFFF0); }},
    {"video/clip.swf", [](auto& v) { put_le32(v, 4, 0x7FFFFFF0); }},
    {"image/plain.tif", [](auto& v) {  // the byte count of its one strip
         size_t ifd = ember::load_le32(&v[4]);
         for (size_t e = ifd + 2; e + 12 <= v.size(); e += 12)
             if (ember::load_le16(&v[e]) == 279) put_le32(v, e + 8, 0x7FFFFFF0);
     }},
};

}  // namespace

// A damaged size never makes a find swallow the photos after it, nor grow past twice its file,
// whether free space (zeros) or the photos follow it.
TEST(damage, a_damaged_size_claims_only_what_the_structure_holds) {
    for (const damage_t& d : damaged_sizes) {
        std::vector<uint8_t> file = read_bytes(fixture(d.file));
        ASSERT_FALSE(file.empty()) << d.file;
        std::vector<uint8_t> damaged = file;
        d.damage(damaged);
        for (size_t gap : {size_t(0), size_t(256 * 1024)}) {
            card_t card;
            card.put(damaged);
            card.zeros(gap);
            auto photos = put_photos(card);
            card.zeros(512 * 1024);
            auto found = scan(card);
            std::string what = std::string(d.file) + " with " + std::to_string(gap) + " zero bytes after it";
            expect_photos_found(found, photos, what);
            if (found.count(0)) EXPECT_LE(found[0].size(), 2 * file.size()) << what;
        }
    }
}

TEST(damage, photos_written_over_the_middle_of_a_video_are_found_and_cut_it) {
    for (const char* name : {"video/long.mp4", "video/motion_jpeg.mov"}) {
        std::vector<uint8_t> video = read_bytes(fixture(name));
        card_t card;
        card.put(video);
        card.zeros(64 * 1024);
        // The photos go where the video's second third was.
        card_t over;
        over.bytes.assign(card.bytes.begin(), card.bytes.begin() + video.size() / 3 / sector * sector);
        auto photos = put_photos(over, true);
        ASSERT_LT(over.bytes.size(), video.size()) << name;
        std::copy(over.bytes.begin(), over.bytes.end(), card.bytes.begin());
        auto found = scan(card);
        expect_photos_found(found, photos, name);
        ASSERT_TRUE(found.count(0)) << name;
        EXPECT_EQ(found[0].size(), photos.front().first) << name << " is cut at the first photo";
    }
}

// The first half of a file, then photos written after it (the rest of the file's clusters were
// reused): every photo is found.
TEST(damage, a_truncated_file_leaves_the_photos_after_it) {
    std::vector<std::string> names = {"video/long.mp4", "video/camera.mp4", "video/faststart.mp4",
                                      "video/sample.3gp", "video/quicktime.mov", "video/motion_jpeg.mov",
                                      "video/clip.wmv", "video/clip.mkv", "video/clip.avi",
                                      "image/multipage.tif", "image/lzw.tif", "audio/tone.caf"};
    std::vector<std::vector<uint8_t>> files;
    for (const std::string& name : names) files.push_back(read_bytes(fixture(name)));
    for (const std::filesystem::path& camera :
         ember_test::bench_files({".nef", ".cr2", ".dng", ".rw2", ".raf", ".mrw", ".kdc", ".tif", ".mp4",
                                  ".m4v", ".3gp", ".mov"})) {
        names.push_back(camera.filename().string());
        files.push_back(ember_test::read_file(camera));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        card_t card;
        card.put(std::vector<uint8_t>(files[i].begin(), files[i].begin() + files[i].size() / 2));
        auto photos = put_photos(card);
        card.zeros(64 * 1024);
        expect_photos_found(scan(card), photos, "half of " + names[i]);
    }
}

// Motion-JPEG frames (one starts on a sector boundary) and the previews and strips of camera
// RAW files are the file's own: one find, the whole file.
TEST(damage, embedded_pictures_stay_inside_their_file) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"motion_jpeg.mov", read_bytes(fixture("video/motion_jpeg.mov"))}};
    ASSERT_EQ(std::memcmp(&files[0].second[10752], "\xFF\xD8\xFF", 3), 0);
    for (const std::filesystem::path& raw : ember_test::bench_raw_files())
        files.emplace_back(raw.filename().string(), ember_test::read_file(raw));
    for (const auto& [name, file] : files) {
        card_t card;
        card.put(file);
        card.zeros(64 * 1024);
        auto found = scan(card);
        EXPECT_EQ(found.size(), 1u) << name;
        ASSERT_TRUE(found.count(0)) << name;
        size_t same = std::mismatch(file.begin(), file.end(), found[0].begin(), found[0].end()).first - file.begin();
        EXPECT_GE(same, std::min(file.size(), found[0].size())) << name << ": not the file's bytes";
        if (name == "motion_jpeg.mov") EXPECT_EQ(found[0].size(), file.size());
    }
}

namespace {

// A device-like source that remembers the furthest byte asked of it.
class watching_source_c final : public ember::byte_source_i {
public:
    explicit watching_source_c(const std::vector<uint8_t>& bytes) : inner_(bytes) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override {
        size_t n = inner_.read_at(offset, buf, len);
        furthest = std::max<uint64_t>(furthest, offset + n);
        return n;
    }
    uint64_t size() const override { return inner_.size(); }
    uint64_t furthest = 0;

private:
    ember::memory_source_c inner_;
};

}  // namespace

// Carvers that search forward for a file's last structure (CRW's heap table, X3F's directory)
// end their search at the next file's header: with a header on every sector of a card, each
// candidate's search reads no further than its first window, so a whole scan costs linear work
// (it used to read the rest of the card from every sector).
TEST(damage, forward_searches_end_at_the_next_header) {
    std::vector<uint8_t> crw = {'I', 'I', 0x1A, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'};
    std::vector<uint8_t> x3f = {'F', 'O', 'V', 'b', 0, 0, 2, 0};
    for (const auto& [name, header] : {std::pair{"crw", crw}, std::pair{"x3f", x3f}}) {
        std::vector<uint8_t> card = ember_test::noise(3 * 1024 * 1024, 7);
        for (size_t at = 0; at < card.size(); at += sector) {
            std::copy(header.begin(), header.end(), card.begin() + at);
            std::fill(card.begin() + at + header.size(), card.begin() + at + 40, 0);
        }
        watching_source_c source(card);
        std::string_view names[] = {name};
        const ember::format_t* f = ember::formats_named(names).at(0);
        ASSERT_TRUE(f->probe(card.data(), sector)) << name;
        ember::carve_input_c in(source, 0);
        EXPECT_EQ(f->carve(in).length, 0u) << name;
        EXPECT_LE(source.furthest, uint64_t(1) << 20) << name;
    }
}
