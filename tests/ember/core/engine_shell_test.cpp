// The engine's start-up natively (Linux shell): refusals before anything is written, the work
// folder made with its parents, and found files reported only once complete on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine_main.h"
#include "engine_output.h"
#include "engine_platform.h"

namespace fs = std::filesystem;
using ember::engine_exit_t;

namespace {

class engine_shell : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("ember_shell_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        image_ = (root_ / "card.img").string();
        std::ofstream(image_, std::ios::binary) << std::string(64 * 1024, 'x');
    }
    void TearDown() override { fs::remove_all(root_); }

    int run(const std::string& work_dir, const std::string& source) {
        return ember::engine_main("client.exe /d \"" + work_dir + "\" /cmd \"" + source +
                                  "\" fileopt,everything,disable,jpg,enable,nosuch,enable,search");
    }

    fs::path root_;
    std::string image_;
};

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Checks at every packet that a reported file is already complete.
class recording_channel_c final : public ember::report_channel_i {
public:
    std::vector<pipe_packet_t> packets;
    std::vector<std::string> contents_when_reported;
    int ends = 0;
    bool send(const pipe_packet_t& packet) override {
        packets.push_back(packet);
        if (packet.found_path[0]) contents_when_reported.push_back(file_text(packet.found_path));
        return true;
    }
    void send_end() override { ++ends; }
};

}  // namespace

TEST_F(engine_shell, refuses_before_writing_anything) {
    std::string work = (root_ / "cache" / "tmp").string();
    EXPECT_EQ(ember::engine_main("client.exe /d \"" + work + "\" /cmd x.img fileopt,search"),
              int(engine_exit_t::bad_command_line));
    EXPECT_EQ(run(work, (root_ / "missing.img").string()), int(engine_exit_t::source_unreadable));
    EXPECT_EQ(run(image_, image_), int(engine_exit_t::work_dir_on_source));
    EXPECT_EQ(run(root_.string(), image_), int(engine_exit_t::work_dir_on_source));  // holds the image
    EXPECT_EQ(run(root_.string() + "/.", image_), int(engine_exit_t::work_dir_on_source));
    EXPECT_EQ(run(root_.string() + "/" + std::string(250, 'w'), image_), int(engine_exit_t::work_dir_too_long));
    EXPECT_FALSE(fs::exists(root_ / "cache"));
}

TEST_F(engine_shell, scans_an_image_into_a_new_work_folder_beside_it) {
    std::string work = (root_ / "cache" / "deeper" / "tmp").string();
    EXPECT_EQ(run(work, image_), int(engine_exit_t::done));
    EXPECT_TRUE(fs::is_directory(work));
}

TEST_F(engine_shell, a_find_is_reported_once_closed_and_a_cut_one_is_dropped) {
    recording_channel_c channel;
    std::string work = root_.string() + "/";
    {
        ember::engine_output_c output(work, &channel);
        output.total(4096);
        ASSERT_TRUE(output.begin_file(1234, "jpg"));
        ASSERT_TRUE(output.write_file(reinterpret_cast<const uint8_t*>("abc"), 3));
        ASSERT_TRUE(output.write_file(reinterpret_cast<const uint8_t*>("def"), 3));
        output.end_file(true);
        ASSERT_TRUE(output.begin_file(2000, "png"));
        output.write_file(reinterpret_cast<const uint8_t*>("x"), 1);
        output.end_file(false);
        ASSERT_TRUE(output.begin_file(3000, "mp4"));  // the scan ends inside this one
        output.finish(1, 6, false);
    }
    ASSERT_EQ(channel.packets.size(), 3u);
    EXPECT_EQ(channel.packets[0].total_sectors, 4096u);
    EXPECT_EQ(std::string(channel.packets[1].found_path), work + "f0001234.jpg");
    EXPECT_EQ(channel.packets[1].current_sector, 1234u);
    EXPECT_EQ(channel.contents_when_reported, std::vector<std::string>{"abcdef"});
    EXPECT_EQ(channel.packets[2].current_sector, 4096u);
    EXPECT_FALSE(fs::exists(root_ / "f0002000.png"));
    EXPECT_FALSE(fs::exists(root_ / "f0003000.mp4"));
    EXPECT_EQ(channel.ends, 0);
}
