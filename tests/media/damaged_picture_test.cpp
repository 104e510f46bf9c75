// Damaged pictures through the real thumbnail builder and GDI+: files cut at any length or with
// lengths that claim more than the file holds are decoded as far as they go or refused, never
// crash the program, and leave no thumbnail when refused.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/wide_text_win.h"
#include "media/jpeg_header.h"
#include "picture/jpeg_library_win.h"
#include "picture/picture_io_win.h"
#include "media/thumbnail_win.h"
#include "support/picture_check_win.h"
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

// The mean difference of two thumbnails' colour values over rows [top, bottom).
double mean_difference(const read_back_t& a, const read_back_t& b, int top, int bottom) {
    double sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < int(a.width); ++x)
            for (int shift : {0, 8, 16}) sum += std::abs(int((a.rgb(x, y) >> shift) & 0xFF) - int((b.rgb(x, y) >> shift) & 0xFF));
    return sum / (3.0 * a.width * (bottom - top));
}

class damaged_picture : public ::testing::Test {
protected:
    temp_folder_c folder_{L"damaged"};
    int written_ = 0;

    // Writes `size` bytes of `bytes` as a found file and has the builder make its thumbnail:
    // refused, it leaves no thumbnail; made, the thumbnail is there.
    // With `made`, the record and its thumbnail as read back are kept; jpeg_, when set, is the
    // JPEG decoder used.
    const jpeg_library_c* jpeg_ = nullptr;
    int build_from(const std::vector<uint8_t>& bytes, size_t size, const wchar_t* extension = L".jpg",
                   found_file_t* made = nullptr, read_back_t* thumb = nullptr) {
        std::wstring path = folder_ / (L"f" + std::to_wstring(written_++) + extension);
        EXPECT_TRUE(write_file(path, std::string(bytes.begin(), bytes.begin() + size)));
        std::string ansi = to_ansi(from_wide(path.c_str()));
        found_file_t record = make_found_file(ansi.c_str(), ansi.size());
        make_thumb_path(record.path, record.thumb_path);
        int result = jpeg_ ? build_thumbnail(record, *jpeg_) : build_thumbnail(record);
        EXPECT_EQ(exists(record.thumb_path), result == 0) << size;
        if (result != 0) {
            EXPECT_EQ(record.width, 0) << size;
        }
        if (made) {
            *made = record;
            if (result == 0) read_back(wide(from_ansi(record.thumb_path)), *thumb);
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

// Real camera JPEGs with their preview, damaged after it as cards damage files: the second half
// zeroed, cut at 60 %, an 8 KiB block of another photo laid over the middle. None gets the clean
// preview as its thumbnail. With the decoder the thumbnail is the photo itself, its top as the
// clean photo's (decoded with its preview spoilt, so that the preview does not stand in) and its
// bottom grey or garbled, and a cut photo reports only the rows it has.
TEST_F(damaged_picture, a_damaged_camera_photo_shows_its_damage_not_its_preview) {
    std::vector<std::wstring> photos;
    find_files(widen(camera_photos), L".jpg", photos);
    std::sort(photos.begin(), photos.end());
    std::vector<std::vector<uint8_t>> with_preview;
    for (size_t i = 0; i < photos.size() && with_preview.size() < 4; i += 7) {
        std::vector<uint8_t> bytes = bytes_of(to_ansi(from_wide(photos[i].c_str())));
        jpeg_header_t header;
        if (read_jpeg_header(bytes.data(), bytes.size(), header) == jpeg_header_result_t::ok &&
            header.thumbnail_size > 0 && header.width >= 1600)
            with_preview.push_back(std::move(bytes));
    }
    if (with_preview.size() < 2) GTEST_SKIP() << "no camera photos with previews at " << camera_photos;
    const jpeg_library_c no_decoder(L"");
    const std::vector<uint8_t>& foreign = with_preview.back();
    for (size_t p = 0; p + 1 < with_preview.size(); ++p) {
        const std::vector<uint8_t>& clean = with_preview[p];
        SCOPED_TRACE("photo " + std::to_string(p));
        found_file_t clean_record;
        read_back_t clean_photo, clean_preview;
        jpeg_header_t header;
        ASSERT_EQ(read_jpeg_header(clean.data(), clean.size(), header), jpeg_header_result_t::ok);
        std::vector<uint8_t> no_preview = clean;
        no_preview[header.thumbnail_offset] = 0;  // no start-of-image marker: no preview
        ASSERT_EQ(build_from(no_preview, no_preview.size(), L".jpg", &clean_record, &clean_photo), 0);
        jpeg_ = &no_decoder;
        ASSERT_EQ(build_from(clean, clean.size(), L".jpg", &clean_record, &clean_preview), 0);
        jpeg_ = nullptr;
        std::vector<uint8_t> zeroed = clean, cut = clean, overlaid = clean;
        std::fill(zeroed.begin() + zeroed.size() / 2, zeroed.end(), 0);
        cut.resize(clean.size() * 6 / 10);
        std::copy_n(foreign.begin() + foreign.size() / 2, 8192, overlaid.begin() + overlaid.size() / 2);
        for (const auto* damaged : {&zeroed, &cut, &overlaid}) {
            SCOPED_TRACE(damaged == &zeroed ? "zeroed" : damaged == &cut ? "cut" : "overlaid");
            found_file_t record;
            read_back_t thumb, thumb_without_decoder;
            ASSERT_EQ(build_from(*damaged, damaged->size(), L".jpg", &record, &thumb), 0);
            EXPECT_EQ(record.width, clean_record.width);
            EXPECT_LT(mean_difference(thumb, clean_photo, 0, 20), 6.0);
            EXPECT_GT(mean_difference(thumb, clean_photo, 66, 82), 12.0);
            EXPECT_GT(mean_difference(thumb, clean_preview, 66, 82), 12.0);
            if (damaged == &cut) {
                EXPECT_LT(record.height, clean_record.height * 8 / 10);
                EXPECT_GT(record.height, 0);
            }
            jpeg_ = &no_decoder;
            if (build_from(*damaged, damaged->size(), L".jpg", &record, &thumb_without_decoder) == 0) {
                EXPECT_GT(mean_difference(thumb_without_decoder, clean_preview, 0, 82), 0.0);
            }
            jpeg_ = nullptr;
        }
    }
}
