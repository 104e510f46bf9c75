// The classification tables, the thumbnail groups, the info panel's text forms and the RAW log
// line: portable, so tested natively and under Wine.
#include "media/media_kind.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "media/media_text.h"
#include "base/unicode_text.h"
#include "media/thumbnail_group.h"
#include "raw/raw_log.h"

namespace {

TEST(media_kind, tables_are_searched_video_then_photo_then_audio_without_case) {
    EXPECT_EQ(video_extensions.size(), 31u);
    EXPECT_EQ(photo_extensions.size(), 24u);
    EXPECT_EQ(audio_extensions.size(), 33u);
    for (const char* ext : {"MP4", "Mp4", "mp4", "TiVo", "TIVO", "asf", "riff", "mkv", "3gp"})
        EXPECT_EQ(find_media_kind(ext), media_video) << ext;
    for (const char* ext : {"jpg", "JPG", "dng", "tif", "tiff", "ico", "psd", "mng"})
        EXPECT_EQ(find_media_kind(ext), media_photo) << ext;
    for (const char* ext : {"mp3", "WAV", "flac", "ogg", "wtv", "it"})
        EXPECT_EQ(find_media_kind(ext), media_audio) << ext;
    for (const char* ext : {"jpeg", "", "mp", "mp44", ".mp4", "txt"})
        EXPECT_EQ(find_media_kind(ext), media_none) << ext;
}

TEST(thumbnail_group, extension_of_the_final_component_decides_the_decoder) {
    EXPECT_EQ(lower_extension(u"C:/cache/tmp/IMG_0001.JPG"), u".jpg");
    EXPECT_EQ(lower_extension(u"C:\\a.b\\file"), u"");
    EXPECT_EQ(lower_extension(u"C:/a.b/file"), u"");
    EXPECT_EQ(lower_extension(u"C:/x/\u00c9T\u00c9.TIFF"), u".tiff");
    EXPECT_EQ(find_thumbnail_group(u".jpg"), thumbnail_group_t::picture);
    EXPECT_EQ(find_thumbnail_group(u".jpeg"), thumbnail_group_t::picture);
    EXPECT_EQ(find_thumbnail_group(u".tiff"), thumbnail_group_t::picture);
    EXPECT_EQ(find_thumbnail_group(u".tif"), thumbnail_group_t::raw);
    EXPECT_EQ(find_thumbnail_group(u".srf"), thumbnail_group_t::raw);
    EXPECT_EQ(find_thumbnail_group(u".mrw"), thumbnail_group_t::raw);
    EXPECT_EQ(find_thumbnail_group(u".avi"), thumbnail_group_t::video);
    EXPECT_EQ(find_thumbnail_group(u".mov"), thumbnail_group_t::video);
    for (const char16_t* ext : {u".ico", u".psd", u".mkv", u".JPG", u"jpg", u""})
        EXPECT_EQ(find_thumbnail_group(ext), thumbnail_group_t::none);
}

TEST(media_text, size_needs_both_sides) {
    EXPECT_EQ(picture_size_text(4000, 3000), u"4000x3000");
    EXPECT_EQ(picture_size_text(0, 300), u"Unknown");
    EXPECT_EQ(picture_size_text(400, 0), u"Unknown");
}

TEST(media_text, time_is_local_and_unknown_when_missing_or_out_of_range) {
    std::tm local{};
    local.tm_year = 2014 - 1900;
    local.tm_mon = 6;
    local.tm_mday = 9;
    local.tm_hour = 18;
    local.tm_min = 5;
    local.tm_isdst = -1;
    std::time_t shot = std::mktime(&local);
    ASSERT_NE(shot, std::time_t(-1));
    EXPECT_EQ(taken_time_text(shot), u"2014/07/09 18:05");
    EXPECT_EQ(taken_time_text(0), u"Unknown");
    EXPECT_EQ(taken_time_text(-86400), u"Unknown");
    EXPECT_EQ(taken_time_text(INT64_MAX), u"Unknown");
}

TEST(raw_log, a_line_is_the_ctime_text_two_blanks_the_tag_and_the_path) {
    std::string line = raw_log_line(1404929100, "C:\\cache\\tmp\\f0000001.nef");
    EXPECT_TRUE(std::regex_match(line, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d "
                                                  "\\d{4}  \\[src\\\\raw:6\\] C:\\\\cache\\\\tmp\\\\f0000001\\.nef\n")))
        << line;
}

}  // namespace
