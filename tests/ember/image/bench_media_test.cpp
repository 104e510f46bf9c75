// The real camera files of the bench-media folder, where it is present: each photo carves to
// exactly its own length with its type's extension, also with noise, zeros or another file
// after it; cut short at random points it never comes back longer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include "ember/image/image_test_support.h"

namespace ember_test {
namespace {

namespace fs = std::filesystem;

// What a camera file's name says it should carve as; empty for files that are not photos.
std::string expected_extension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    static const std::map<std::string, std::string> table = {
        {".jpg", "jpg"}, {".jpeg", "jpg"}, {".tif", "tif"}, {".tiff", "tif"}, {".dng", "dng"},
        {".gpr", "dng"}, {".nef", "nef"}, {".cr2", "cr2"}, {".crw", "crw"}, {".raf", "raf"},
        {".x3f", "x3f"}, {".mrw", "mrw"}, {".rw2", "rw2"}, {".orf", "orf"}, {".pef", "pef"},
        {".arw", "arw"}, {".sr2", "sr2"}, {".dcr", "dcr"}, {".kdc", "dcr"}, {".gif", "gif"},
        {".bmp", "bmp"}, {".png", "png"}, {".psd", "psd"}, {".ico", "ico"}};
    auto it = table.find(ext);
    return it == table.end() ? std::string() : it->second;
}

// Files whose own bytes disagree with their structure (test stubs, odd padding), and what the
// structure says.
struct stub_t {
    const char* name;
    uint64_t length;         // what the structure describes; 0: the stub's own size
    bool grows_into_tail;    // the structure points past the stub (stripped sensor data)
    const char* why;
};
const stub_t stubs[] = {
    {"CanonRaw.cr2", 8706, false, "18 bytes of test text after the TIFF structure"},
    {"Panasonic.rw2", 12321, false, "a dummy sensor block that no byte count covers"},
    {"Minolta.mrw", 0, true, "sensor data stripped; the header still gives its full size"},
    {"_DSC3755.JPG", 3145728, false, "a second 32 KiB block of FF padding that nothing describes"},
};

const stub_t* stub_for(const fs::path& path) {
    for (const stub_t& s : stubs)
        if (path.filename() == s.name) return &s;
    return nullptr;
}

// JPEG cameras that write bytes after the final EOI which nothing in the file describes (HP,
// some Olympus and Panasonic models): the carve ends at the EOI and leaves those out.
bool ends_at_eoi_before_trailer(const std::vector<uint8_t>& bytes, const ember::carve_result_t& r) {
    constexpr uint64_t max_trailer = 1024;
    return r.extension && std::string(r.extension) == "jpg" && r.length >= 2 && r.length < bytes.size() &&
           bytes.size() - r.length < max_trailer && bytes[r.length - 2] == 0xFF && bytes[r.length - 1] == 0xD9;
}

std::vector<fs::path> bench_photos() {
    std::vector<fs::path> photos;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(bench_media_root(), ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file() && !expected_extension(it->path()).empty()) photos.push_back(it->path());
    std::sort(photos.begin(), photos.end());
    return photos;
}

TEST(bench_media_photos, each_carves_exactly_with_its_extension_whatever_follows) {
    std::vector<fs::path> photos = bench_photos();
    if (photos.empty()) GTEST_SKIP() << "no camera files under " << bench_media_root();
    std::vector<uint8_t> other = read_bytes(fixture("image/baseline.jpg"));
    int exact = 0, trailer = 0, stubbed = 0;
    for (const fs::path& path : photos) {
        std::vector<uint8_t> bytes = read_file(path);
        std::string want = expected_extension(path);
        const stub_t* stub = stub_for(path);
        uint64_t length = stub && stub->length ? stub->length : bytes.size();
        const std::vector<uint8_t> tails[] = {{}, noise(100000, 3), std::vector<uint8_t>(100000, 0), other};
        bool all = true, cut_trailer = false;
        for (const std::vector<uint8_t>& tail : tails) {
            ember::carve_result_t r = carve_photo(joined(bytes, tail));
            bool ok = r.extension && want == r.extension;
            if (stub && stub->grows_into_tail) ok = ok && r.length >= length;
            else if (ends_at_eoi_before_trailer(bytes, r)) cut_trailer = true;
            else ok = ok && r.length == length;
            EXPECT_TRUE(ok) << path << " (" << bytes.size() << " bytes) with a tail of " << tail.size()
                            << ": carved " << r.length << " as " << (r.extension ? r.extension : "-");
            all = all && ok;
        }
        if (all && stub) ++stubbed;
        else if (all && cut_trailer) ++trailer;
        else if (all) ++exact;
    }
    std::printf("bench-media: %zu photos: %d exact, %d end at their EOI before an undescribed trailer, "
                "%d test stubs as their structure says\n", photos.size(), exact, trailer, stubbed);
}

TEST(bench_media_photos, cut_short_they_never_come_back_longer) {
    std::vector<fs::path> photos = bench_photos();
    if (photos.empty()) GTEST_SKIP() << "no camera files under " << bench_media_root();
    std::mt19937 rng(5);
    for (const fs::path& path : photos) {
        std::vector<uint8_t> bytes = read_file(path);
        for (int k = 0; k < 4 && bytes.size() > 1; ++k) {
            size_t cut = 1 + rng() % (bytes.size() - 1);
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
            EXPECT_LE(carve_photo(part).length, cut) << path << " cut at " << cut;
        }
    }
}

}  // namespace
}  // namespace ember_test
