// The thumbnail builder against real GDI+, real files made by ImageMagick and the real worker.
#include "media/thumbnail_win.h"

#include <gtest/gtest.h>
#include <process.h>

#include <string>
#include <vector>

#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "picture/jpeg_library_win.h"
#include "picture/picture_io_win.h"
#include "support/exif_preview.h"
#include "support/picture_check_win.h"
#include "support/temp_folder_win.h"

namespace {

const std::string fixtures = "Z:" TESSERA_MEDIA_FIXTURES "/";
const std::string videos = "Z:" TESSERA_SOURCE_DIR "/tests/ember/fixtures/video/";
const std::string camera_videos = "Z:" TESSERA_SOURCE_DIR "/../shared/bench-media/drewnoakes+metadata-extractor-images/avi/";

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<char>(c));  // test paths are ASCII
    return out;
}

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool exists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool copy_to(const std::string& source, const std::string& target) {
    return CopyFileW(widen(source).c_str(), widen(target).c_str(), FALSE) != 0;
}

found_file_t record_for(const std::string& path) {
    found_file_t record = make_found_file(path.c_str(), path.size());
    make_thumb_path(record.path, record.thumb_path);
    return record;
}

// A file of `size` bytes that starts with `head`; the rest reads as zeros.
bool make_sized_file(const std::wstring& path, const std::string& head, uint64_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    ok = ok && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

std::string file_bytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    read_whole_file(from_ansi(path), bytes);
    return std::string(bytes.begin(), bytes.end());
}

// The thumbnail is 117 x 82, 24-bit, and shows the four quarters of the source in place.
void expect_whole_quad_thumbnail(const std::string& thumb_path) {
    read_back_t thumb;
    read_back(widen(thumb_path), thumb);
    ASSERT_TRUE(thumb.is_read) << thumb_path;
    EXPECT_EQ(thumb.width, 117u);
    EXPECT_EQ(thumb.height, 82u);
    EXPECT_EQ(thumb.bits_per_pixel, 24u);
    EXPECT_FALSE(thumb.has_alpha);
    EXPECT_EQ(colour_name(thumb.rgb(2, 2)), "red");
    EXPECT_EQ(colour_name(thumb.rgb(114, 2)), "green");
    EXPECT_EQ(colour_name(thumb.rgb(2, 79)), "blue");
    EXPECT_EQ(colour_name(thumb.rgb(114, 79)), "white");
    EXPECT_EQ(colour_name(thumb.rgb(50, 35)), "red");
    EXPECT_EQ(colour_name(thumb.rgb(66, 46)), "white");
}

class thumbnail : public ::testing::Test {
protected:
    temp_folder_c folder{L"thumb"};
    std::string dir = narrow(folder.path()) + "/";
};

TEST_F(thumbnail, every_picture_format_gets_a_whole_stretched_thumbnail_and_its_size) {
    struct case_t {
        const char* name;
        int32_t width, height;
    } cases[] = {
        {"quad_400x300.jpg", 400, 300},  {"quad_400x300_progressive.jpg", 400, 300},
        {"IMG_0001.JPG", 400, 300},      {"quad_40x40.gif", 40, 40},
        {"quad_bmp.bmp", 64, 48},            {"quad_alpha.png", 64, 48},
        {"quad_palette.png", 64, 48},    {"quad_tiff.tiff", 64, 48},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir + c.name;
        ASSERT_TRUE(copy_to(fixtures + c.name, path));
        found_file_t record = record_for(path);
        ASSERT_EQ(build_thumbnail(record), 0);
        EXPECT_EQ(record.width, c.width);
        EXPECT_EQ(record.height, c.height);
        EXPECT_EQ(record.taken_time, 0);
        EXPECT_STREQ(record.camera_model, "");
        expect_whole_quad_thumbnail(record.thumb_path);
    }
    EXPECT_TRUE(exists(dir + "thumb_IMG_0001.png"));
}

TEST_F(thumbnail, decoding_keeps_palettes_and_alpha) {
    struct case_t {
        const char* name;
        int32_t bits_per_pixel;
    } cases[] = {{"quad_palette.png", 8}, {"quad_40x40.gif", 8}, {"quad_alpha.png", 32},
                 {"quad_400x300.jpg", 24}};
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes;
        ASSERT_EQ(read_whole_file(from_ansi(fixtures + c.name), bytes), 0);
        picture_t picture;
        ASSERT_EQ(decode_picture(bytes, picture), 0);
        EXPECT_EQ(picture.bits_per_pixel, c.bits_per_pixel);
    }
    picture_t nothing;
    EXPECT_EQ(decode_picture(std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', 'n', 'y'}, nothing), -1);
    EXPECT_FALSE(nothing.bitmap.is_valid());
}

TEST_F(thumbnail, files_of_one_byte_to_64_mib_are_read_and_no_others) {
    std::string head = "Tessera size limit";
    ASSERT_TRUE(make_sized_file(folder / L"limit.bin", head, 67108864));
    ASSERT_TRUE(make_sized_file(folder / L"over.bin", head, 67108865));
    ASSERT_TRUE(make_sized_file(folder / L"one.bin", "x", 1));
    ASSERT_TRUE(make_sized_file(folder / L"empty.bin", "", 0));
    std::vector<uint8_t> bytes;
    ASSERT_EQ(read_whole_file(from_ansi(dir + "limit.bin"), bytes), 0);
    EXPECT_EQ(bytes.size(), 67108864u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + head.size()), head);
    EXPECT_EQ(read_whole_file(from_ansi(dir + "over.bin"), bytes), -1);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(file_bytes(dir + "one.bin"), "x");
    EXPECT_EQ(read_whole_file(from_ansi(dir + "empty.bin"), bytes), -1);
    EXPECT_EQ(read_whole_file(from_ansi(dir + "missing.bin"), bytes), -1);

    // The limit holds for decoding too: the same JPEG padded to the limit decodes, one byte
    // more and it is refused.
    std::string jpeg = file_bytes(fixtures + "quad_400x300.jpg");
    ASSERT_FALSE(jpeg.empty());
    ASSERT_TRUE(make_sized_file(folder / L"padded.jpg", jpeg, 67108864));
    ASSERT_TRUE(make_sized_file(folder / L"toolong.jpg", jpeg, 67108865));
    found_file_t at_limit = record_for(dir + "padded.jpg");
    EXPECT_EQ(build_thumbnail(at_limit), 0);
    EXPECT_EQ(at_limit.width, 400);
    EXPECT_TRUE(exists(at_limit.thumb_path));
    found_file_t over = record_for(dir + "toolong.jpg");
    EXPECT_EQ(build_thumbnail(over), -1);
    EXPECT_EQ(over.width, 0);
    EXPECT_FALSE(exists(over.thumb_path));
}

TEST_F(thumbnail, failures_leave_no_file_and_an_untouched_record) {
    ASSERT_TRUE(make_sized_file(folder / L"empty.jpg", "", 0));
    ASSERT_TRUE(make_sized_file(folder / L"broken.png", "\x89PNG\r\n\x1a\n damaged", 40));
    ASSERT_TRUE(copy_to(fixtures + "quad_400x300.jpg", dir + "clip.mp4"));
    ASSERT_TRUE(copy_to(fixtures + "quad_400x300.jpg", dir + "song.mp3"));
    ASSERT_TRUE(copy_to(fixtures + "quad_400x300.jpg", dir + "icon.ico"));
    for (const char* name : {"empty.jpg", "broken.png", "clip.mp4", "song.mp3", "icon.ico",
                             "missing.jpg"}) {
        SCOPED_TRACE(name);
        found_file_t record = record_for(dir + name);
        ASSERT_STRNE(record.thumb_path, "");
        EXPECT_EQ(build_thumbnail(record), -1);
        EXPECT_EQ(record.width, 0);
        EXPECT_EQ(record.height, 0);
        EXPECT_FALSE(exists(record.thumb_path));
        EXPECT_STRNE(record.thumb_path, "");
    }
}

// A scan loaded again reuses its thumbnails without decoding: the size shown is the one the
// thumbnail keeps, and a thumbnail that keeps none (or a damaged one) tells nothing.
TEST_F(thumbnail, an_existing_thumbnail_is_left_alone_and_gives_back_only_the_size_it_keeps) {
    ASSERT_TRUE(copy_to(fixtures + "quad_400x300.jpg", dir + "f0000001.jpg"));
    ASSERT_TRUE(write_file(folder / L"thumb_f0000001.png", "kept as it was"));
    found_file_t record = record_for(dir + "f0000001.jpg");
    EXPECT_EQ(build_thumbnail(record), 0);
    EXPECT_EQ(record.width, 0);
    EXPECT_EQ(record.taken_time, 0);
    EXPECT_STREQ(record.camera_model, "");
    EXPECT_EQ(file_bytes(record.thumb_path), "kept as it was");

    ASSERT_TRUE(copy_to(fixtures + "quad_400x300.jpg", dir + "f0000002.jpg"));
    found_file_t made = record_for(dir + "f0000002.jpg");
    ASSERT_EQ(build_thumbnail(made), 0);
    std::string thumb = file_bytes(made.thumb_path);
    expect_whole_quad_thumbnail(made.thumb_path);
    found_file_t loaded = record_for(dir + "f0000002.jpg");
    EXPECT_EQ(build_thumbnail(loaded), 0);
    EXPECT_EQ(loaded.width, 400);
    EXPECT_EQ(loaded.height, 300);
    EXPECT_EQ(file_bytes(loaded.thumb_path), thumb);

    size_t text = thumb.find("400x300");
    ASSERT_NE(text, std::string::npos);
    thumb[text] = '9';
    ASSERT_TRUE(write_file(folder / L"thumb_f0000002.png", thumb));
    found_file_t tampered = record_for(dir + "f0000002.jpg");
    EXPECT_EQ(build_thumbnail(tampered), 0);
    EXPECT_EQ(tampered.width, 0);
}

// A video's thumbnail is its first frame, with the frame's size: motion JPEG decoded here (a cut
// one shows what its frame holds), H.264, HEVC and MPEG-4 by the system's decoders. A video cut
// before its movie box, which no decoder reads, keeps its placeholder at once.
TEST_F(thumbnail, a_video_shows_its_first_frame) {
    struct {
        std::string source;
        size_t keep;  // bytes kept of the file; 0 for all
        int result;
        int32_t width, height;
        bool is_red_blue;  // red on the left, blue on the right
    } cases[] = {
        {videos + "motion_jpeg.mov", 0, 0, 64, 48, false},
        {camera_videos + "MVI_4823.AVI", 0, 0, 640, 480, false},
        {camera_videos + "MVI_4823.AVI", 100000, 0, 640, -1, false},
        {videos + "clip.avi", 0, 0, 64, 48, false},
        {videos + "camera.mp4", 0, 0, 64, 48, false},
        {videos + "camera.mp4", 4400, -1, 0, 0, false},
        {fixtures + "h264_red_blue.mp4", 0, 0, 160, 120, true},
        {fixtures + "hevc_red_blue.mov", 0, 0, 160, 120, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + std::to_string(c.keep));
        std::string bytes = file_bytes(c.source);
        if (bytes.empty() && c.source.find("bench-media") != std::string::npos) continue;  // no sample folder
        ASSERT_FALSE(bytes.empty());
        if (c.keep) bytes.resize(c.keep);
        std::string path = dir + "video" + std::to_string(n++) + c.source.substr(c.source.size() - 4);
        ASSERT_TRUE(make_sized_file(widen(path), bytes, bytes.size()));
        found_file_t record = record_for(path);
        EXPECT_EQ(build_thumbnail(record), c.result);
        EXPECT_EQ(exists(record.thumb_path), c.result == 0);
        EXPECT_EQ(record.width, c.width);
        if (c.height >= 0) EXPECT_EQ(record.height, c.height);
        else EXPECT_LT(record.height, 480);
        if (!c.is_red_blue) continue;
        read_back_t thumb;
        read_back(widen(record.thumb_path), thumb);
        ASSERT_TRUE(thumb.is_read);
        EXPECT_EQ(colour_name(thumb.rgb(10, 40)), "red");
        EXPECT_EQ(colour_name(thumb.rgb(100, 40)), "blue");
    }
}

// The engine names its files in the process's ANSI code page; a thread whose locale has another
// code page (the worker of a program that set one) must still find the same file.
TEST_F(thumbnail, a_path_names_the_same_file_whatever_the_thread_locale) {
    const std::u16string name = u"caf\u00e9.jpg";
    std::string ansi_name = to_ansi(name);
    if (from_ansi(ansi_name) != name) GTEST_SKIP() << "the ANSI code page has no e with acute accent";
    ASSERT_TRUE(CopyFileW(widen(fixtures + "quad_400x300.jpg").c_str(),
                          (folder.path() + L"\\" + wide(name)).c_str(), FALSE));
    found_file_t record = record_for(dir + ansi_name);
    LCID locale = GetThreadLocale();
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT));  // code page 1251
    int result = build_thumbnail(record);
    SetThreadLocale(locale);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(record.width, 400);
    EXPECT_NE(GetFileAttributesW((folder.path() + L"\\thumb_caf\u00e9.png").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(thumbnail, the_worker_gives_every_queued_picture_its_thumbnail_and_size) {
    set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
    reset_found_queue();
    set_thumbnail_builder(thumbnail_builder);
    uintptr_t worker = _beginthreadex(nullptr, 0, thumbnail_worker, nullptr, 0, nullptr);
    ASSERT_NE(worker, 0u);
    CloseHandle(reinterpret_cast<HANDLE>(worker));
    std::vector<std::string> names = {"quad_400x300.jpg", "quad_40x40.gif", "quad_bmp.bmp",
                                      "quad_palette.png"};
    for (const std::string& name : names) {
        ASSERT_TRUE(copy_to(fixtures + name, dir + name));
        queue_found_file((dir + name).c_str());
    }
    queue_found_file((dir + "clip.avi").c_str());  // no such file and no picture: skipped in order
    bool is_done = false;
    for (int i = 0; i < 2000 && !is_done; ++i) {
        {
            queue_lock_c lock;
            is_done = found_queue().thumbs_done == names.size() + 1;
        }
        if (!is_done) Sleep(5);
    }
    ASSERT_TRUE(is_done);
    queue_lock_c lock;
    EXPECT_EQ(found_queue().at(0).width, 400);
    EXPECT_EQ(found_queue().at(0).height, 300);
    EXPECT_EQ(found_queue().at(1).width, 40);
    EXPECT_EQ(found_queue().at(2).height, 48);
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        expect_whole_quad_thumbnail(found_queue().at(i).thumb_path);
    }
    EXPECT_EQ(found_queue().at(4).width, 0);
    EXPECT_STRNE(found_queue().at(4).thumb_path, "");
    set_thumbnail_builder(nullptr);
}

}  // namespace

// A camera JPEG's own preview makes the thumbnail when it shows the whole photo and the photo's
// data decodes to its end, with the JPEG decoder or without: black bands are cut off and the size
// comes from the frame header. A preview that cannot stand in, or one of a photo cut short, leaves
// the photo to the reduced decode, or without the decoder to GDI+.
TEST_F(thumbnail, a_camera_preview_stands_in_only_for_a_whole_photo_it_shows_all_of) {
    const jpeg_library_c no_decoder(L"");
    struct {
        const char* photo;
        const char* preview;
        size_t cut;  // bytes cut off the photo's end
        bool is_preview_used;
        int32_t width, height;
    } cases[] = {
        {"quad_600x400.jpg", "preview_black_bands.jpg", 0, true, 600, 400},
        {"quad_400x300.jpg", "preview_whole.jpg", 0, true, 400, 300},
        {"quad_600x400.jpg", "preview_grey_bands.jpg", 0, false, 600, 400},
        {"quad_600x400.jpg", "preview_whole.jpg", 0, false, 600, 400},
        {"quad_400x300.jpg", "preview_whole.jpg", 2, false, 400, 300},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.preview) + " cut " + std::to_string(c.cut));
        std::string preview = file_bytes(fixtures + c.preview);
        std::string camera_file = exif_preview::with_app1(file_bytes(fixtures + c.photo),
                                                          exif_preview::block(n % 2 == 1, preview, uint32_t(preview.size())));
        camera_file.resize(camera_file.size() - c.cut);
        std::string path = dir + "camera" + std::to_string(n++) + ".jpg";
        ASSERT_TRUE(make_sized_file(widen(path), camera_file, camera_file.size()));
        for (const jpeg_library_c* decoder : {&jpeg_library(), &no_decoder}) {
            SCOPED_TRACE(decoder == &no_decoder ? "without the decoder" : "with the decoder");
            found_file_t record = record_for(path);
            ASSERT_EQ(build_thumbnail(record, *decoder), 0);
            EXPECT_EQ(record.width, c.width);
            EXPECT_EQ(record.height, c.height);
            if (!c.is_preview_used) {
                expect_whole_quad_thumbnail(record.thumb_path);
            } else {
                read_back_t thumb;
                read_back(widen(record.thumb_path), thumb);
                ASSERT_TRUE(thumb.is_read);
                for (int y : {2, 41, 79})
                    for (int x : {2, 58, 114}) EXPECT_EQ(colour_name(thumb.rgb(x, y)), "yellow") << x << "," << y;
            }
            ASSERT_TRUE(DeleteFileA(record.thumb_path));
        }
    }
}
