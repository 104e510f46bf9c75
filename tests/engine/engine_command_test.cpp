#include "engine/engine_command.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

scan_request_t request(const char* cache, const char* volume) {
    scan_request_t r;
    std::strncpy(r.cache_dir, cache, sizeof r.cache_dir - 1);
    std::strncpy(r.volume, volume, sizeof r.volume - 1);
    return r;
}

size_t occurrences(const std::string& text, const std::string& word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(search_options, photo_alone_enables_the_photo_types_in_order) {
    EXPECT_EQ(build_search_options(true, false, false),
              "fileopt,everything,disable,tif,enable,dsc,enable,raf,enable,x3f,enable,orf,enable,"
              "rw2,enable,crw,enable,mrw,enable,png,enable,gif,enable,bmp,enable,jpg,enable,"
              "ico,enable,psd,enable,search");
    EXPECT_EQ(build_search_options(false, false, false), "fileopt,everything,disable,search");
}

TEST(search_options, categories_come_as_video_photo_audio_and_shared_types_stand_twice) {
    std::string options = build_search_options(true, true, true);
    EXPECT_LT(options.find("max,enable"), options.find("tif,enable"));
    EXPECT_LT(options.find("psd,enable"), options.find("aif,enable"));
    std::string video_audio = build_search_options(false, true, true);
    EXPECT_EQ(occurrences(video_audio, ",asf,enable,"), 2u);
    EXPECT_EQ(occurrences(video_audio, ",riff,enable,"), 2u);
    EXPECT_EQ(occurrences(video_audio, ",enable,"), 15u + 25u);
    EXPECT_EQ(video_audio.rfind("wtv,enable,search"), video_audio.size() - 17);
}

TEST(engine_command, the_volume_loses_one_trailing_backslash) {
    struct case_t {
        const char* volume;
        const char* on_line;
    } cases[] = {
        {"\\\\?\\Volume{5e3c}\\", "\\\\?\\Volume{5e3c}"},
        {"E:\\", "E:"},
        {"E:", "E:"},
        {"E:\\\\", "E:\\"},
    };
    for (const case_t& c : cases) {
        engine_command_t command = build_engine_command_line(request("C:\\Cache", c.volume), "OPTS");
        EXPECT_EQ(command.volume, c.on_line);
        EXPECT_EQ(command.command_line, std::string("client.exe /d \"C:\\Cache\\tmp\" /cmd ") + c.on_line + " OPTS");
    }
}

TEST(engine_command, the_work_folder_is_tmp_inside_the_cache_with_one_backslash) {
    EXPECT_EQ(build_engine_command_line(request("C:\\Cache\\", "E:\\"), "x").work_dir, "C:\\Cache\\tmp");
    EXPECT_EQ(build_engine_command_line(request("C:\\Cache", "E:\\"), "x").work_dir, "C:\\Cache\\tmp");
}

TEST(engine_command, request_fields_without_terminator_are_read_only_to_their_end) {
    scan_request_t r;
    std::memset(r.cache_dir, 'c', sizeof r.cache_dir);
    std::memset(r.volume, 'v', sizeof r.volume);
    engine_command_t command = build_engine_command_line(r, "x");
    EXPECT_EQ(command.work_dir, std::string(260, 'c') + "\\tmp");
    EXPECT_EQ(command.volume, std::string(260, 'v'));
}
