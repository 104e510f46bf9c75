// RAW decoding through the real libraw.dll beside the tests, with camera files from the shared
// sample folder where present and small linear DNGs written here.
#include "raw/raw_library_win.h"  // first: libraw wants winsock2.h ahead of windows.h
#include "raw/raw_decode_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/wide_text_win.h"
#include "media/media_text.h"
#include "media/thumbnail_win.h"
#include "raw/raw_log.h"
#include "support/dng_writer.h"
#include "support/picture_check_win.h"
#include "support/temp_folder_win.h"

namespace {

const std::string bench_media = "Z:" TESSERA_SOURCE_DIR "/../shared/bench-media/";
const std::string fixtures = "Z:" TESSERA_MEDIA_FIXTURES "/";

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }
bool exists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> log_lines() {
    std::ifstream in(raw_log_path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

found_file_t record_for(const std::string& path) {
    found_file_t record = make_found_file(path.c_str(), path.size());
    make_thumb_path(record.path, record.thumb_path);
    return record;
}

// Left half pure red, right half pure blue.
std::string red_blue_dng(const std::string& make, const std::string& model,
                         const std::string& date_time) {
    dng_contents_t contents;
    contents.make = make;
    contents.model = model;
    contents.date_time = date_time;
    contents.pixel = [&](uint32_t x, uint32_t, uint16_t rgb[3]) {
        rgb[0] = x < contents.width / 2 ? 60000 : 0;
        rgb[2] = x < contents.width / 2 ? 0 : 60000;
    };
    return make_linear_dng(contents);
}

uint32_t pixel_of(const picture_t& picture, int x, int y) {
    const uint8_t* p = picture.bits + size_t(y) * picture.stride + size_t(x) * 3;  // B, G, R
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

class raw_decode : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(raw_library().is_loaded()) << "libraw.dll beside the tests"; }
    temp_folder_c folder{L"raw"};
    std::string dir = narrow(folder.path()) + "/";
};

TEST_F(raw_decode, a_linear_dng_gives_its_picture_size_time_and_cut_camera_text) {
    ASSERT_TRUE(write_file(folder / L"f0000001.dng",
                           red_blue_dng("Tessera", "Longexposure Field Camera 4000",
                                        "2014:07:09 18:05:00")));
    found_file_t record = record_for(dir + "f0000001.dng");
    picture_t picture;
    ASSERT_EQ(decode_raw_photo(record, from_ansi(record.path), picture), 0);
    EXPECT_EQ(record.width, 64);
    EXPECT_EQ(record.height, 48);
    EXPECT_EQ(picture.width, 64);
    EXPECT_EQ(picture.height, 48);
    EXPECT_EQ(picture.bits_per_pixel, 24);
    // Maker, a blank and the model, cut to 31 characters and terminated.
    EXPECT_STREQ(record.camera_model, "Tessera Longexposure Field Came");
    EXPECT_EQ(taken_time_text(record.taken_time), u"2014/07/09 18:05");

    // Red comes from the first byte of each triplet: the left half stays red, the right blue.
    auto pixel = [&](int x, int y) {
        const uint8_t* p = picture.bits + size_t(y) * picture.stride + size_t(x) * 3;  // B, G, R
        return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    };
    EXPECT_EQ(colour_name(pixel(4, 24)), "red") << std::hex << pixel(4, 24);
    EXPECT_EQ(colour_name(pixel(60, 24)), "blue") << std::hex << pixel(60, 24);
}

TEST_F(raw_decode, a_raw_thumbnail_shows_the_developed_colours_and_no_time_means_unknown) {
    ASSERT_TRUE(write_file(folder / L"f0000002.nef", red_blue_dng("Tessera", "Test", "")));
    found_file_t record = record_for(dir + "f0000002.nef");
    ASSERT_EQ(build_thumbnail(record), 0);
    EXPECT_EQ(record.taken_time, 0);
    EXPECT_EQ(taken_time_text(record.taken_time), u"Unknown");
    EXPECT_STREQ(record.camera_model, "Tessera Test");
    read_back_t thumb;
    read_back(widen(record.thumb_path), thumb);
    ASSERT_TRUE(thumb.is_read);
    EXPECT_EQ(thumb.width, 117u);
    EXPECT_EQ(thumb.height, 82u);
    EXPECT_EQ(thumb.bits_per_pixel, 24u);
    EXPECT_EQ(colour_name(thumb.rgb(5, 40)), "red");
    EXPECT_EQ(colour_name(thumb.rgb(110, 40)), "blue");
}

TEST_F(raw_decode, the_camera_preview_stands_in_only_while_all_the_raw_data_is_there) {
    // A red and blue photo whose camera preview is yellow: which colours the thumbnail shows
    // tells which of the two it was made from.
    dng_contents_t contents;
    contents.preview_width = 160;
    contents.preview_height = 120;
    contents.pixel = [&](uint32_t x, uint32_t, uint16_t rgb[3]) {
        rgb[0] = x < contents.width / 2 ? 60000 : 0;
        rgb[2] = x < contents.width / 2 ? 0 : 60000;
    };
    std::string whole = make_linear_dng(contents);
    // Cut inside the raw samples, which come last: the preview is still all there.
    std::string cut = whole.substr(0, whole.size() - 64 * 3 * 2 * 4);
    ASSERT_TRUE(write_file(folder / L"whole.dng", whole));
    ASSERT_TRUE(write_file(folder / L"cut.dng", cut));
    found_file_t record = record_for(dir + "whole.dng");
    ASSERT_EQ(build_thumbnail(record), 0);
    EXPECT_EQ(record.width, 64);
    EXPECT_EQ(record.height, 48);
    EXPECT_STREQ(record.camera_model, "Tessera Test");
    read_back_t thumb;
    read_back(widen(record.thumb_path), thumb);
    ASSERT_TRUE(thumb.is_read);
    EXPECT_EQ(colour_name(thumb.rgb(5, 20)), "yellow");
    EXPECT_EQ(colour_name(thumb.rgb(110, 70)), "yellow");
    // Developing the cut file runs into its end: no thumbnail, never the preview of what was lost.
    found_file_t cut_record = record_for(dir + "cut.dng");
    EXPECT_EQ(build_thumbnail(cut_record), -1);
    EXPECT_FALSE(exists(cut_record.thumb_path));
}

// A photo taken with the camera turned: its preview is turned the way LibRaw turns the developed
// photo, so the thumbnail looks the same whichever of the two it comes from.
TEST_F(raw_decode, a_turned_photo_s_preview_is_turned_as_its_developed_picture) {
    dng_contents_t contents;
    contents.orientation = 6;
    contents.pixel = [&](uint32_t x, uint32_t, uint16_t rgb[3]) {
        rgb[0] = x < contents.width / 2 ? 60000 : 0;
        rgb[2] = x < contents.width / 2 ? 0 : 60000;
    };
    ASSERT_TRUE(write_file(folder / L"developed.dng", make_linear_dng(contents)));
    contents.preview_width = 160;
    contents.preview_height = 120;
    std::memcpy(contents.preview_rgb, "\xff\xff\x00", 3);        // yellow where the sensor has red
    std::memcpy(contents.preview_right_rgb, "\x00\xff\x00", 3);  // green where it has blue
    ASSERT_TRUE(write_file(folder / L"preview.dng", make_linear_dng(contents)));
    const char* expected[][2] = {{"red", "blue"}, {"yellow", "green"}};
    int i = 0;
    for (const char* name : {"developed.dng", "preview.dng"}) {
        SCOPED_TRACE(name);
        found_file_t record = record_for(dir + name);
        ASSERT_EQ(build_thumbnail(record), 0);
        read_back_t thumb;
        read_back(widen(record.thumb_path), thumb);
        ASSERT_TRUE(thumb.is_read);
        // Turned a quarter clockwise, the sensor's left half is the top.
        EXPECT_EQ(colour_name(thumb.rgb(58, 10)), expected[i][0]);
        EXPECT_EQ(colour_name(thumb.rgb(58, 72)), expected[i][1]);
        ++i;
    }
}

// A Bayer sensor's samples are binned straight to a little more than thumbnail size, their black
// level taken off: 960 x 640 samples are 480 x 320 cells, three by three of them a pixel.
TEST_F(raw_decode, a_bayer_sensor_is_binned_to_thumbnail_size_without_its_black_level) {
    dng_contents_t contents;
    contents.width = 960;
    contents.height = 640;
    contents.is_mosaic = true;
    contents.black_level = 8000;
    contents.pixel = [&](uint32_t x, uint32_t, uint16_t rgb[3]) {
        rgb[0] = x < contents.width / 2 ? 60000 : 0;
        rgb[1] = 0;
        rgb[2] = x < contents.width / 2 ? 0 : 60000;
    };
    ASSERT_TRUE(write_file(folder / L"mosaic.dng", make_linear_dng(contents)));
    found_file_t record = record_for(dir + "mosaic.dng");
    picture_t picture;
    ASSERT_EQ(decode_raw_photo(record, from_ansi(record.path), picture), 0);
    EXPECT_EQ(record.width, 960);
    EXPECT_EQ(record.height, 640);
    EXPECT_EQ(picture.width, 160);
    EXPECT_EQ(picture.height, 106);
    EXPECT_EQ(colour_name(pixel_of(picture, 10, 53)), "red") << std::hex << pixel_of(picture, 10, 53);
    EXPECT_EQ(colour_name(pixel_of(picture, 150, 53)), "blue") << std::hex << pixel_of(picture, 150, 53);
}

TEST_F(raw_decode, each_decode_appends_one_line_and_keeps_the_old_ones) {
    std::vector<std::string> before = log_lines();
    ASSERT_TRUE(write_file(folder / L"a.dng", red_blue_dng("Tessera", "Test", "")));
    ASSERT_TRUE(write_file(folder / L"b.dng", "not a camera file"));
    found_file_t first = record_for(dir + "a.dng"), second = record_for(dir + "b.dng");
    picture_t picture;
    EXPECT_EQ(decode_raw_photo(first, from_ansi(first.path), picture), 0);
    EXPECT_EQ(decode_raw_photo(second, from_ansi(second.path), picture), -1);
    std::vector<std::string> after = log_lines();
    ASSERT_EQ(after.size(), before.size() + 2);
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]);
    const std::string* lines[] = {&after[after.size() - 2], &after.back()};
    const found_file_t* records[] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        const std::string& line = *lines[i];
        ASSERT_GT(line.size(), 24u);
        EXPECT_EQ(line.substr(24), std::string("  [src\\raw:6] ") + records[i]->path);
        EXPECT_EQ(line[3], ' ');  // "Www Mmm dd hh:mm:ss yyyy"
        EXPECT_EQ(line[13], ':');
    }
}

TEST_F(raw_decode, what_libraw_cannot_read_gets_no_thumbnail_and_no_facts) {
    // A plain TIFF picture named .tif goes to the RAW decoder, which does not take it; the same
    // file named .tiff is a picture (see the thumbnail tests).
    std::vector<std::string> before = log_lines();
    ASSERT_TRUE(CopyFileW(widen(fixtures + "quad_tif.tif").c_str(), (folder / L"scan.tif").c_str(), FALSE));
    ASSERT_TRUE(write_file(folder / L"empty.cr2", ""));
    ASSERT_TRUE(write_file(folder / L"noise.arw", std::string(4096, '\x5a')));
    for (const char* name : {"scan.tif", "empty.cr2", "noise.arw"}) {
        SCOPED_TRACE(name);
        found_file_t record = record_for(dir + name);
        EXPECT_EQ(build_thumbnail(record), -1);
        EXPECT_FALSE(exists(record.thumb_path));
        EXPECT_EQ(record.width, 0);
        EXPECT_EQ(record.taken_time, 0);
        EXPECT_STREQ(record.camera_model, "");
    }
    EXPECT_EQ(log_lines().size(), before.size() + 3);
}

TEST_F(raw_decode, without_a_working_libraw_dll_raw_files_just_get_no_picture) {
    ASSERT_TRUE(write_file(folder / L"a.dng", red_blue_dng("Tessera", "Test", "")));
    ASSERT_TRUE(write_file(folder / L"libraw.dll", "MZ but nothing like a library"));
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    raw_library_c missing(folder / L"absent\\libraw.dll");
    raw_library_c broken(folder / L"libraw.dll");
    raw_library_c other(std::wstring(system) + L"\\version.dll");  // a DLL without libraw's API
    for (const raw_library_c* library : {&missing, &broken, &other}) {
        EXPECT_FALSE(library->is_loaded());
        found_file_t record = record_for(dir + "a.dng");
        picture_t picture;
        EXPECT_EQ(decode_raw_photo(*library, record, from_ansi(record.path), picture), -1);
        EXPECT_FALSE(picture.bitmap.is_valid());
        EXPECT_EQ(record.width, 0);
    }
}

TEST_F(raw_decode, real_camera_files_from_the_sample_folder) {
    std::string chart = bench_media + "syoyo+tinydng/colorchart.dng";
    if (!exists(chart)) GTEST_SKIP() << "no sample folder at " << bench_media;
    found_file_t record = record_for(chart);
    std::strcpy(record.thumb_path, (dir + "thumb_colorchart.png").c_str());
    ASSERT_EQ(build_thumbnail(record), 0);
    EXPECT_GT(record.width, 1000);
    EXPECT_GT(record.height, 1000);
    EXPECT_STRNE(record.camera_model, "");
    // The sensor's full size is the record's; the picture is binned to a little more than the
    // thumbnail and looks as LibRaw's own development at half size does, shrunk alike.
    found_file_t again = record_for(chart);
    picture_t binned, developed;
    ASSERT_EQ(decode_raw_photo(again, from_ansi(again.path), binned), 0);
    EXPECT_EQ(again.width, record.width);
    EXPECT_GE(binned.width, 117);
    EXPECT_LT(binned.width, 2 * 117);
    EXPECT_GE(binned.height, 82);
    ASSERT_EQ(decode_raw_photo(raw_library(), again, from_ansi(again.path), developed, raw_size_t::half), 0);
    EXPECT_EQ(developed.width, (record.width + 1) / 2);
    picture_t small[2];
    const picture_t* sources[2] = {&binned, &developed};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(create_picture(small[i], 117, 82, 24), 0);
        ASSERT_EQ(draw_picture(*sources[i], small[i], HALFTONE), 0);
    }
    double difference = 0;
    for (int y = 0; y < 82; ++y)
        for (int x = 0; x < 117 * 3; ++x)
            difference += std::abs(int(small[0].bits[y * small[0].stride + x]) - int(small[1].bits[y * small[1].stride + x]));
    EXPECT_LT(difference / (117 * 82 * 3), 10.0);
    read_back_t thumb;
    read_back(widen(record.thumb_path), thumb);
    EXPECT_TRUE(thumb.is_read);
    EXPECT_EQ(thumb.width, 117u);

    // exiftool's samples keep the metadata but not the image data: libraw still identifies
    // the camera and the size, whatever becomes of the (zeroed) picture.
    std::string stubs = bench_media + "exiftool+exiftool/t/images/";
    for (const char* name : {"CanonRaw.cr2"}) {
        SCOPED_TRACE(name);
        found_file_t stub = record_for(stubs + name);
        std::strcpy(stub.thumb_path, (dir + "thumb_" + name + ".png").c_str());
        int result = build_thumbnail(stub);
        EXPECT_EQ(exists(stub.thumb_path), result == 0);
        if (result == 0) {
            EXPECT_GT(stub.width, 0);
            EXPECT_STRNE(stub.camera_model, "");
        }
    }
}

}  // namespace
