// The engine's start-up natively (Linux shell): refusals before anything is written, the work
// folder made with its parents, and found files reported only once complete on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
                                  "\" fileopt,everything,disable,jpg,enable,riff,enable,nosuch,enable,search");
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
    // A part no file system can hold is too long, not a folder on the source.
    EXPECT_EQ(run(root_.string() + "/" + std::string(256, 'w') + "/tmp", image_), int(engine_exit_t::work_dir_too_long));
    // A FIFO would never end (nor start, without a writer): refused at once.
    std::string fifo = (root_ / "card.fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(run(work, fifo), int(engine_exit_t::source_unreadable));
    EXPECT_FALSE(fs::exists(root_ / "cache"));
}

// A card with one large sound file (a valid WAVE of noise) and a small one after it.
void write_sound_card(const std::string& path, size_t big) {
    std::string card;
    for (size_t size : {big, size_t(100000)}) {
        std::string wave = "RIFF....WAVEfmt ";
        auto le32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wave += char(v >> (8 * i)); };
        le32(16);
        wave += std::string("\x01\x00\x01\x00", 4);
        le32(8000);
        le32(16000);
        wave += std::string("\x02\x00\x10\x00", 4);
        wave += "data";
        le32(uint32_t(size));
        uint32_t x = 1;
        for (size_t i = 0; i < size; ++i) wave += char((x = x * 1103515245u + 12345u) >> 16 | 1);
        uint32_t riff = uint32_t(wave.size() - 8);
        for (int i = 0; i < 4; ++i) wave[4 + i] = char(riff >> (8 * i));
        card += wave;
        card.resize((card.size() + 511) / 512 * 512, '\0');
    }
    std::ofstream(path, std::ios::binary) << card;
}

// Runs the engine in a child process; returns its exit status, or -1 when it was killed.
int run_in_child(const std::function<int()>& body, const std::function<void(pid_t)>& while_running = {}) {
    pid_t child = fork();
    if (child == 0) _exit(body());
    if (while_running) while_running(child);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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
        ASSERT_TRUE(output.begin_file(1000, "jpg"));  // a held photo, handed back behind the scan
        ASSERT_TRUE(output.write_file(reinterpret_cast<const uint8_t*>("g"), 1));
        output.end_file(true);
        ASSERT_TRUE(output.begin_file(2000, "png"));
        output.write_file(reinterpret_cast<const uint8_t*>("x"), 1);
        output.end_file(false);
        ASSERT_TRUE(output.begin_file(3000, "mp4"));  // the scan ends inside this one
        ember::scan_summary_t summary;
        summary.files = 1;
        summary.bytes_found = 6;
        summary.bytes_scanned = 4096 * 512;
        output.finish(summary, 0);
    }
    ASSERT_EQ(channel.packets.size(), 4u);
    EXPECT_EQ(channel.packets[0].total_sectors, 4096u);
    EXPECT_EQ(std::string(channel.packets[1].found_path), work + "f0001234.jpg");
    EXPECT_EQ(channel.packets[1].current_sector, 1234u);
    EXPECT_EQ(std::string(channel.packets[2].found_path), work + "f0001000.jpg");
    EXPECT_EQ(channel.packets[2].current_sector, 1234u);  // progress never goes back
    EXPECT_EQ(channel.contents_when_reported, (std::vector<std::string>{"abcdef", "g"}));
    EXPECT_EQ(channel.packets[3].current_sector, 4096u);
    EXPECT_FALSE(fs::exists(root_ / "f0002000.png"));
    EXPECT_FALSE(fs::exists(root_ / "f0003000.mp4"));
    EXPECT_EQ(channel.ends, 0);
}

// Killed at any moment, a run leaves nothing under a find's name that is not the whole find: a
// find takes its name only once complete.
TEST_F(engine_shell, a_killed_run_leaves_no_half_written_find) {
    constexpr size_t big = 8 * 1024 * 1024;
    write_sound_card(image_, big);
    int cut_while_writing = 0;
    for (int round = 0; round < 8 && cut_while_writing < 2; ++round) {
        fs::path work = root_ / ("run" + std::to_string(round));
        run_in_child([&] { return run(work.string(), image_); }, [&](pid_t child) {
            // Wait for the large find to be under way, then kill at a different moment each round.
            for (int i = 0; i < 20000 && !fs::exists(work / ".f0000000.wav"); ++i) usleep(100);
            usleep(useconds_t(round * 700));
            kill(child, SIGKILL);
        });
        if (fs::exists(work / ".f0000000.wav")) ++cut_while_writing;
        for (const std::string& name : names_in(work)) {
            if (name[0] == '.') continue;
            EXPECT_EQ(fs::file_size(work / name), name == "f0000000.wav" ? big + 44 : 100044u)
                << name << ": a find under its name is whole";
        }
        // Every whole line of the index names a find that is there; a cut last line is no line.
        std::string index = file_text((work / ".ember_index").string());
        EXPECT_TRUE(index.empty() || index.rfind("# ember index 1\n", 0) == 0) << index;
        for (size_t at = index.find('\n'); at != std::string::npos && index.find('\n', at + 1) != std::string::npos;
             at = index.find('\n', at + 1)) {
            std::string name = index.substr(at + 1, index.find('\t', at + 1) - at - 1);
            EXPECT_TRUE(fs::exists(work / name)) << name << " has an index line but no file";
        }
    }
    EXPECT_GE(cut_while_writing, 1) << "no kill came while the find was written";
}

// A work folder that takes no more ends the run with exit 7; what was written before stays, and
// nothing half-written carries a find's name.
TEST_F(engine_shell, a_full_work_folder_ends_the_run_with_an_error) {
    write_sound_card(image_, 4 * 1024 * 1024);
    fs::path work = root_ / "full";
    int status = run_in_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1024 * 1024, 1024 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        return run(work.string(), image_);
    });
    EXPECT_EQ(status, int(engine_exit_t::work_dir_full));
    EXPECT_EQ(names_in(work), std::vector<std::string>{".ember_summary"}) << "nothing kept of a find that did not fit";
    EXPECT_NE(file_text((work / ".ember_summary").string()).find("files=0\n"), std::string::npos);
    EXPECT_NE(file_text((work / ".ember_summary").string()).find("exit=7\n"), std::string::npos);
}

// The native engine through a failing card reader (bench/failing_io_shim.c); the shim's report
// ("reads=... failing_reads=... bad_sector_reads=...") lands in report.
int run_through_failing_reader(const fs::path& work, const std::string& image, const std::vector<std::string>& failures,
                               const fs::path& report) {
    return run_in_child([&] {
        setenv("LD_PRELOAD", EMBER_FAIL_SHIM, 1);
        setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);  // the shim comes before the sanitizer
        setenv("EMBER_FAIL_IMAGE", image.c_str(), 1);
        setenv("EMBER_FAIL_REPORT", report.c_str(), 1);
        for (const std::string& failure : failures) putenv(const_cast<char*>(failure.c_str()));
        execl(EMBSRV_PATH, "embsrv", "/d", work.c_str(), "/cmd", image.c_str(),
              "fileopt,everything,disable,riff,enable,search", static_cast<char*>(nullptr));
        return 127;
    });
}

// Bad sectors inside a find: the run ends 8, the find is written with zeros for them, and the
// summary file says how many could not be read. A card pulled out ends the run 9 at once, the
// finds before kept and the scan's reach in the summary.
TEST_F(engine_shell, a_failing_card_ends_with_its_own_codes_and_a_summary) {
    write_sound_card(image_, 1024 * 1024);
    fs::path work = root_ / "bad", report = root_ / "bad.report";
    EXPECT_EQ(run_through_failing_reader(work, image_, {"EMBER_FAIL_BAD=1000-1100"}, report),
              int(engine_exit_t::done_with_read_errors));
    std::string total = "total_sectors=" + std::to_string(fs::file_size(image_) / 512) + "\n";
    EXPECT_EQ(file_text((work / ".ember_summary").string()),
              total + "scanned_sectors=" + total.substr(14) + "unreadable_sectors=100\nfiles=2\ndamaged_files=1\nexit=8\n");
    std::string card = file_text(image_), found = file_text((work / "f0000000.wav").string());
    ASSERT_EQ(found.size(), 1024u * 1024 + 44);
    EXPECT_EQ(found.substr(1000 * 512, 100 * 512), std::string(100 * 512, '\0'));
    EXPECT_EQ(found.substr(1100 * 512), card.substr(1100 * 512, found.size() - 1100 * 512));
    EXPECT_EQ(found.substr(0, 1000 * 512), card.substr(0, 1000 * 512));
    std::string counts = file_text(report.string());
    EXPECT_NE(counts.find("bad_sector_reads=100 "), std::string::npos) << counts;  // each asked for once
    // No file system names these finds: the index says how each ended.
    EXPECT_EQ(file_text((work / ".ember_index").string()),
              "# ember index 1\nf0000000.wav\t\t-\tcarved\t\t\tunreadable\nf0002049.wav\t\t-\tcarved\t\t\twhole\n");

    write_sound_card(image_, 100000);
    fs::resize_file(image_, 12 * 1024 * 1024);
    work = root_ / "pulled";
    EXPECT_EQ(run_through_failing_reader(work, image_, {"EMBER_FAIL_GONE_AT=20000"}, report),
              int(engine_exit_t::source_lost));
    EXPECT_EQ(file_text((work / ".ember_summary").string()),
              "total_sectors=24576\nscanned_sectors=16384\nunreadable_sectors=0\nfiles=2\ndamaged_files=0\nexit=9\n");
    EXPECT_EQ(names_in(work),
              (std::vector<std::string>{".ember_index", ".ember_summary", "f0000000.wav", "f0000196.wav"}));
    EXPECT_NE(file_text(report.string()).find("failing_reads=1 "), std::string::npos) << file_text(report.string());
}
