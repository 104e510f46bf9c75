// Damaged pictures through the real thumbnail builder and GDI+: files cut at any length or with
// lengths that claim more than the file holds are decoded as far as they go or refused, never
// crash the program, and leave no thumbnail when refused.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/wide_text_win.h"
#include "media/picture_io_win.h"
#include "media/thumbnail_win.h"
#include "support/temp_folder_win.h"

namespace {

const std::string fixtures = "Z:" TESSERA_MEDIA_FIXTURES "/";
const std::string crashers = "Z:" TESSERA_SOURCE_DIR "/tests/crashers/picture/";
const std::string bench_media = "Z:" TESSERA_SOURCE_DIR "/../shared/bench-media/";
const std::string camera_photos = bench_media + "thorsted+digicam_corpus/";

std::vector<uint8_t> bytes_of(const std::string& path) {
    std::vector<uint8_t> bytes;
    read_whole_file(from_ansi(path), bytes);
    return bytes;
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool exists(const char* path) { return GetFileAttributesW(wide(from_ansi(path))) != INVALID_FILE_ATTRIBUTES; }

// Every file below `folder` whose name ends in `extension` (lower case), in the order found.
void find_files(const std::wstring& folder, const std::wstring& extension, std::vector<std::wstring>& found) {
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            find_files(folder + L"\\" + name, extension, found);
            continue;
        }
        std::transform(name.begin(), name.end(), name.begin(), ::towlower);
        if (name.size() > extension.size() && name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            found.push_back(folder + L"\\" + entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

class damaged_picture : public ::testing::Test {
protected:
    temp_folder_c folder_{L"damaged"};
    int written_ = 0;

    // Writes `size` bytes of `bytes` as a found file and has the builder make its thumbnail:
    // refused, it leaves no thumbnail; made, the thumbnail is there.
    int build_from(const std::vector<uint8_t>& bytes, size_t size, const wchar_t* extension = L".jpg") {
        std::wstring path = folder_ / (L"f" + std::to_wstring(written_++) + extension);
        EXPECT_TRUE(write_file(path, std::string(bytes.begin(), bytes.begin() + size)));
        std::string ansi = to_ansi(from_wide(path.c_str()));
        found_file_t record = make_found_file(ansi.c_str(), ansi.size());
        make_thumb_path(record.path, record.thumb_path);
        int result = build_thumbnail(record);
        EXPECT_EQ(exists(record.thumb_path), result == 0) << size;
        if (result != 0) {
            EXPECT_EQ(record.width, 0) << size;
        }
        DeleteFileW(path.c_str());
        DeleteFileW(wide(from_ansi(record.thumb_path)));
        return result;
    }
};

}  // namespace

TEST_F(damaged_picture, kept_crashers_are_refused) {
    std::vector<std::wstring> kept;
    find_files(widen(crashers), L"", kept);
    ASSERT_FALSE(kept.empty());
    for (const std::wstring& file : kept) {
        SCOPED_TRACE(to_ansi(from_wide(file.c_str())));
        std::vector<uint8_t> bytes = bytes_of(to_ansi(from_wide(file.c_str())));
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(build_from(bytes, bytes.size()), -1);
    }
}

// Each format cut at every length through its headers and at every 101st beyond: a cut either
// decodes to the whole picture's size or is refused.
TEST_F(damaged_picture, every_cut_of_every_format_decodes_or_is_refused) {
    for (const char* name : {"quad_400x300.jpg", "quad_400x300_progressive.jpg", "quad_40x40.gif",
                             "quad_bmp.bmp", "quad_alpha.png", "quad_tiff.tiff"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = bytes_of(fixtures + name);
        ASSERT_FALSE(bytes.empty());
        picture_t whole;
        ASSERT_EQ(decode_picture(bytes, whole), 0);
        int decoded = 0;
        for (size_t size = 1; size < bytes.size(); size += size < 640 ? 1 : 101) {
            picture_t cut;
            if (decode_picture(bytes.data(), size, cut) != 0) continue;
            ++decoded;
            EXPECT_EQ(cut.width, whole.width) << size;
            EXPECT_EQ(cut.height, whole.height) << size;
        }
        RecordProperty(name, decoded);
    }
}

// Real camera JPEGs carry tens of kilobytes of Exif data and preview before their pixels; cut
// there, the file once crashed the decoder. Cut inside the header they are refused; cut later
// they show what they hold.
TEST_F(damaged_picture, camera_jpegs_cut_anywhere_in_their_first_half_megabyte_never_crash) {
    std::vector<std::wstring> photos;
    find_files(widen(camera_photos), L".jpg", photos);
    if (photos.empty()) GTEST_SKIP() << "no camera photos at " << camera_photos;
    std::sort(photos.begin(), photos.end());
    for (size_t i = 0; i < photos.size(); i += std::max<size_t>(1, photos.size() / 10)) {
        std::string name = to_ansi(from_wide(photos[i].c_str()));
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = bytes_of(name);
        ASSERT_FALSE(bytes.empty());
        for (size_t size = 2; size < std::min<size_t>(bytes.size(), 1 << 19); size = size * 5 / 4 + 7)
            build_from(bytes, size);
        EXPECT_EQ(build_from(bytes, bytes.size()), 0);
    }
}

// A RAW file goes to libraw as it is; cut short it is refused or shown, never a crash.
TEST_F(damaged_picture, a_raw_photo_cut_short_never_crashes) {
    std::vector<uint8_t> bytes = bytes_of(bench_media + "syoyo+tinydng/colorchart.dng");
    if (bytes.empty()) GTEST_SKIP() << "no sample DNG at " << bench_media;
    for (size_t size = 8; size < bytes.size(); size = size * 2 + 1) build_from(bytes, size, L".dng");
    EXPECT_EQ(build_from(bytes, bytes.size(), L".dng"), 0);
}
