// The command line as the front end really builds it, and the lines the engine must refuse.
#include <gtest/gtest.h>

#include "core/engine_options.h"
#include "engine/engine_command.h"

using ember::engine_options_t;
using ember::parse_engine_command_line;

namespace {

std::string front_end_line(const char* volume, bool photo, bool video, bool audio) {
    scan_request_t request;
    std::snprintf(request.cache_dir, sizeof request.cache_dir, "C:\\Users\\Ann Lee\\Tessera cache");
    std::snprintf(request.volume, sizeof request.volume, "%s", volume);
    return build_engine_command_line(request, build_search_options(photo, video, audio)).command_line;
}

}  // namespace

TEST(engine_options, lines_of_the_front_end_for_every_volume_form) {
    const char* volumes[][2] = {
        {"\\\\?\\Volume{0123abcd-0000-1111-2222-333344445555}\\", "\\\\?\\Volume{0123abcd-0000-1111-2222-333344445555}"},
        {"E:\\", "E:"},
        {"E:", "E:"},
    };
    for (auto& volume : volumes) {
        engine_options_t options;
        ASSERT_TRUE(parse_engine_command_line(front_end_line(volume[0], true, true, true), options)) << volume[0];
        EXPECT_EQ(options.work_dir, "C:\\Users\\Ann Lee\\Tessera cache\\tmp");
        EXPECT_EQ(options.source, volume[1]);
        // 15 + 14 + 25 names, asf and riff standing in two lists: 52 types.
        EXPECT_EQ(options.names.size(), 52u);
        EXPECT_EQ(std::count(options.names.begin(), options.names.end(), "asf"), 1);
        EXPECT_EQ(options.names.front(), "max");
        EXPECT_EQ(options.names.back(), "wtv");
    }
    engine_options_t photo;
    ASSERT_TRUE(parse_engine_command_line(front_end_line("E:", true, false, false), photo));
    EXPECT_EQ(photo.names, (std::vector<std::string>{"tif", "dsc", "raf", "x3f", "orf", "rw2", "crw",
                                                     "mrw", "png", "gif", "bmp", "jpg", "ico", "psd"}));
}

TEST(engine_options, unknown_names_pass_the_parser_and_quoted_sources_are_taken_whole) {
    engine_options_t options;
    ASSERT_TRUE(parse_engine_command_line(
        "\"C:\\Program Files\\Tessera\\Ember\\embsrv.exe\" /d \"D:\\w\" /cmd \"D:\\my cards\\card.img\" "
        "fileopt,everything,disable,zzz,enable,jpg,enable,search",
        options));
    EXPECT_EQ(options.source, "D:\\my cards\\card.img");
    EXPECT_EQ(options.names, (std::vector<std::string>{"zzz", "jpg"}));
    ASSERT_TRUE(parse_engine_command_line("client.exe /d \"w\" /cmd E: fileopt,everything,disable,search", options));
    EXPECT_TRUE(options.names.empty());
}

TEST(engine_options, malformed_lines_are_refused) {
    const char* lines[] = {
        "",
        "client.exe",
        "client.exe /d w /cmd E: fileopt,everything,disable,jpg,enable,search",          // unquoted folder
        "client.exe /d \"w /cmd E: fileopt,everything,disable,jpg,enable,search",        // no closing quote
        "client.exe /d \"\" /cmd E: fileopt,everything,disable,jpg,enable,search",       // empty folder
        "client.exe /d \"w\" /cmd E: fileopt,everything,disable,jpg,enable,",            // no search
        "client.exe /d \"w\" /cmd E: fileopt,everything,disable,jpg,disable,search",
        "client.exe /d \"w\" /cmd E: fileopt,everything,disable,jpg,search",
        "client.exe /d \"w\" /cmd E: fileopt,everything,disable,,enable,search",
        "client.exe /d \"w\" /cmd E: fileopt,everything,disable,j/g,enable,search",
        "client.exe /d \"w\" /cmd E: fileopt,everything,disable,jpg,enable,search extra",
        "client.exe /d \"w\" /cmd E:",
        "client.exe /cmd E: /d \"w\" fileopt,everything,disable,search",
        "client.exe /d \"w\"x /cmd E: fileopt,everything,disable,search",
        "client.exe /D \"w\" /cmd E: fileopt,everything,disable,search",
    };
    for (const char* line : lines) {
        engine_options_t options;
        EXPECT_FALSE(parse_engine_command_line(line, options)) << line;
    }
}

TEST(engine_options, found_files_are_named_by_start_sector) {
    EXPECT_EQ(ember::found_file_name(0, "jpg"), "f0000000.jpg");
    EXPECT_EQ(ember::found_file_name(1234, "mp4"), "f0001234.mp4");
    EXPECT_EQ(ember::found_file_name(9999999, "wav"), "f9999999.wav");
    EXPECT_EQ(ember::found_file_name(12345678901ull, "nef"), "f12345678901.nef");
}
