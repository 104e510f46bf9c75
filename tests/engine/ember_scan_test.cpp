// The real engine end to end under Wine: the front end's scan control starts Ember/embsrv.exe
// on the card image behind drive X: (or on a large image file), serves the pipe and queues every
// find; the test plays the scan page.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/wide_text_win.h"
#include "core/format_registry.h"
#include "support/process_win.h"
#include "support/scan_run_win.h"
#include "support/test_card_win.h"
#include "support/temp_folder_win.h"

namespace {

constexpr uint64_t photo_sector = 20000;  // in the free data area of the 16 MiB FAT card

size_t files_in(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\f*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    do ++count; while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

bool engine_carves(const char* name) {
    std::string_view names[] = {name};
    return !ember::formats_named(names).empty();
}

class ember_scan : public ::testing::Test {
protected:
    static void SetUpTestSuite() { set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr)); }

    void SetUp() override {
        GetCurrentDirectoryW(MAX_PATH, previous_folder_);
        CreateDirectoryW((folder_ / L"Ember").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((programs_folder() + L"\\Ember\\embsrv.exe").c_str(),
                              (folder_ / L"Ember\\embsrv.exe").c_str(), FALSE));
        SetCurrentDirectoryW(folder_.path().c_str());
        cache_dir_ = to_ansi(from_wide((folder_ / L"cache").c_str()));
    }
    void TearDown() override {
        control_.reset();
        SetCurrentDirectoryW(previous_folder_);
    }

    scan_control_c& start(const std::string& volume, const std::string& cache_dir) {
        scan_request_t r;
        std::snprintf(r.cache_dir, sizeof r.cache_dir, "%s", cache_dir.c_str());
        std::snprintf(r.volume, sizeof r.volume, "%s", volume.c_str());
        r.want_photo = r.want_video = r.want_audio = 1;
        control_ = std::make_unique<scan_control_c>(view_);
        control_->start_scan(r);
        return *control_;
    }
    bool wait_for_end() { return wait_until([&] { return control_->on_timer_tick(); }); }
    DWORD engine_exit_code() {
        DWORD code = 0;
        WaitForSingleObject(control_->run().engine_process.get(), 5000);
        GetExitCodeProcess(control_->run().engine_process.get(), &code);
        return code;
    }

    temp_folder_c folder_{L"ember"};
    wchar_t previous_folder_[MAX_PATH] = {};
    std::string cache_dir_;
    quiet_view_c view_;
    std::unique_ptr<scan_control_c> control_;
};

}  // namespace

TEST_F(ember_scan, scans_the_card_behind_x_and_reports_every_find) {
    std::string volume = card_volume_name();
    ASSERT_FALSE(volume.empty()) << "the prepared prefix should have the card as X:";
    std::ifstream fixture(TESSERA_SOURCE_DIR "/tests/engine/fixtures/card_photo.jpg", std::ios::binary);
    std::string photo{std::istreambuf_iterator<char>(fixture), {}};
    ASSERT_GT(photo.size(), 500u);
    card_patch_c patch(card_image_path(), photo_sector, photo);
    ASSERT_TRUE(patch.ok()) << card_image_path();

    scan_control_c& control = start(volume, cache_dir_);
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(engine_exit_code(), 0u);
    EXPECT_EQ(control.total_sectors(), 16u * 1024 * 1024 / 512);
    EXPECT_EQ(control.current_sector(), control.total_sectors());
    std::vector<std::string> found = queued_paths();
    if (!engine_carves("jpg")) {
        // Without a JPEG carver in this build the run ends with no find at all.
        EXPECT_TRUE(found.empty());
        return;
    }
    std::string expected = cache_dir_ + "\\tmp\\f0020000.jpg";
    ASSERT_NE(std::find(found.begin(), found.end(), expected), found.end());
    EXPECT_EQ(read_all(expected), photo);
    for (const std::string& path : found) EXPECT_FALSE(read_all(path).empty()) << path;
    // No directory entry names the photo written into free space: the index says so.
    std::string index = read_all(cache_dir_ + "\\tmp\\.ember_index");
    EXPECT_EQ(index.rfind("# ember index 1\n", 0), 0u) << index;
    EXPECT_NE(index.find("\nf0020000.jpg\t\t-\tcarved\t\t\twhole\n"), std::string::npos) << index;
}

// The front end makes the work folder itself, so it refuses one on the card before anything is
// written there or the engine is started.
TEST_F(ember_scan, a_work_folder_on_the_scanned_card_is_refused) {
    for (std::string volume : {card_volume_name() + "\\", std::string("X:\\"), std::string("\\\\.\\X:")}) {
        start(volume, "X:\\cache");
        EXPECT_EQ(control_->state(), scan_state_t::idle) << volume;
        EXPECT_EQ(control_->take_untold_end(), run_end_t::not_started) << volume;
        EXPECT_FALSE(control_->run().engine_process.is_valid()) << volume;
        EXPECT_FALSE(is_folder(L"X:\\cache")) << volume;
    }
    temp_folder_c::remove_tree(L"X:\\cache");
}

TEST_F(ember_scan, pause_holds_the_scan_and_stop_leaves_no_half_reported_file) {
    // A large sparse image that starts with a photo: long enough to be caught mid-scan.
    std::wstring image = folder_ / L"big.img";
    HANDLE file = CreateFileW(image.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::ifstream fixture(TESSERA_SOURCE_DIR "/tests/engine/fixtures/card_photo.jpg", std::ios::binary);
    std::string photo{std::istreambuf_iterator<char>(fixture), {}};
    DWORD written = 0;
    WriteFile(file, photo.data(), DWORD(photo.size()), &written, nullptr);
    LARGE_INTEGER size{};
    size.QuadPart = 64ll * 1024 * 1024 * 1024;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);

    scan_control_c& control = start(to_ansi(from_wide(image.c_str())), cache_dir_);
    ASSERT_TRUE(wait_until([&] { return control.current_sector() > 0; }));
    const bool is_photo_found = engine_carves("jpg");
    if (is_photo_found) {
        ASSERT_TRUE(wait_until([&] { return !queued_paths().empty(); }));
    }
    EXPECT_EQ(control.total_sectors(), uint64_t(size.QuadPart) / 512);
    control.toggle_scan();
    Sleep(200);  // packets already written are still read
    uint64_t paused_at = control.current_sector();
    Sleep(400);
    EXPECT_EQ(control.current_sector(), paused_at);
    // The index is read while the engine holds it open, its line for the reported photo in it.
    if (is_photo_found) {
        HANDLE index = CreateFileW((folder_ / L"cache\\tmp\\.ember_index").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(index, INVALID_HANDLE_VALUE) << GetLastError();
        char text[256] = {};
        DWORD got = 0;
        ReadFile(index, text, sizeof text - 1, &got, nullptr);
        CloseHandle(index);
        EXPECT_NE(std::string(text, got).find("\nf0000000.jpg\t"), std::string::npos) << text;
    }
    control.toggle_scan();
    EXPECT_TRUE(wait_until([&] { return control.current_sector() > paused_at; }));

    control.stop_scan();
    std::wstring work = folder_ / L"cache\\tmp";
    EXPECT_LE(files_in(work), queued_paths().size() + 1);
    for (const std::string& path : queued_paths()) EXPECT_FALSE(read_all(path).empty()) << path;
}
