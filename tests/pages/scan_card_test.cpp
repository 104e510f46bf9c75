// The scan page driving the real engine (Ember/embsrv.exe) in this process, with the real mouse:
// the sample card behind the removable drive X: (a private copy, support/on_sample_card.sh) is
// scanned, its finds fill the tree and the grid, a camera photo shows its facts, and the ticked
// files are recovered byte for byte; a long scan is paused, resumed, stopped and started again.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "base/unicode_text.h"
#include "engine/saved_name.h"
#include "media/media_text.h"
#include "support/dng_writer.h"
#include "support/process_win.h"
#include "support/sample_card_win.h"
#include "support/scan_page_fixture_win.h"

namespace {

constexpr DWORD scan_timeout_ms = 120000;
constexpr uint64_t camera_photo_sector = 70000;  // 35 MB into the 48 MB card: free space

std::u16string window_text(HWND window) {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    return from_wide(text);
}

class scan_card : public scan_page_fixture {
protected:
    void SetUp() override {
        scan_page_fixture::SetUp();
        GetCurrentDirectoryW(MAX_PATH, previous_folder_);
        CreateDirectoryW((folder_ / L"Ember").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((programs_folder() + L"\\Ember\\embsrv.exe").c_str(),
                              (folder_ / L"Ember\\embsrv.exe").c_str(), FALSE));
        SetCurrentDirectoryW(folder_.path().c_str());
    }
    void TearDown() override {
        scan_page_fixture::TearDown();
        SetCurrentDirectoryW(previous_folder_);
    }
    // Starts a scan of `volume` as the options page does, all three kinds chosen.
    void start(const std::wstring& volume) {
        std::snprintf(request_.cache_dir, sizeof request_.cache_dir, "%s",
                      to_ansi(from_wide((folder_ / L"cache").c_str())).c_str());
        std::snprintf(request_.volume, sizeof request_.volume, "%s", to_ansi(from_wide(volume.c_str())).c_str());
        request_.want_photo = request_.want_video = request_.want_audio = 1;
        SendMessageW(window_.hwnd(), UM_SHOW_SCAN_AND_START, 1, reinterpret_cast<LPARAM>(&request_));
    }
    HWND toggle() { return page_->control(id_scan_toggle); }
    HWND stop() { return page_->control(id_scan_stop); }
    bool is_idle() { return page_->scan_state() == scan_state_t::idle; }

    wchar_t previous_folder_[MAX_PATH] = {};
    scan_request_t request_{};
};

// The camera photo laid on the card: a linear DNG with its camera and time.
std::string camera_photo(const char* model = "Field 4000") {
    dng_contents_t contents;
    contents.width = 320;
    contents.height = 240;
    contents.make = "Tessera";
    contents.model = model;
    contents.date_time = "2014:07:09 18:05:00";
    contents.pixel = [](uint32_t x, uint32_t y, uint16_t rgb[3]) {
        rgb[0] = uint16_t(x * 200), rgb[1] = uint16_t(y * 270), rgb[2] = 20000;
    };
    return make_linear_dng(contents);
}

bool lay_on_card(const std::wstring& image, uint64_t sector, const std::string& bytes) {
    std::fstream card(image.c_str(), std::ios::binary | std::ios::in | std::ios::out);
    card.seekp(std::streamoff(sector * 512));
    card.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(card);
}

}  // namespace

TEST_F(scan_card, the_sample_card_is_scanned_shown_and_its_deleted_files_recovered_whole) {
    std::wstring image = sample_card_path(L"TESSERA_CARD_IMAGE");
    std::wstring originals = sample_card_path(L"TESSERA_CARD_ORIGINALS");
    ASSERT_FALSE(image.empty()) << "run through support/on_sample_card.sh";
    ASSERT_TRUE(lay_on_card(image, camera_photo_sector, camera_photo()));
    wchar_t volume[MAX_PATH] = {};
    ASSERT_TRUE(GetVolumeNameForVolumeMountPointW(L"X:\\", volume, MAX_PATH));
    ASSERT_EQ(GetDriveTypeW(L"X:\\"), UINT(DRIVE_REMOVABLE));

    start(volume);
    EXPECT_EQ(window_.current_page(), window_.scan_page());
    EXPECT_EQ(window_.step(), 2);
    EXPECT_TRUE(IsWindowVisible(stop()));
    EXPECT_EQ(window_text(toggle()), lookup_text("btn_pause"));
    ASSERT_TRUE(pump_until([&] { return is_idle(); }, scan_timeout_ms));
    EXPECT_EQ(window_text(toggle()), lookup_text("btn_start"));
    EXPECT_FALSE(IsWindowVisible(stop()));
    EXPECT_EQ(page_->scan().progress(), 1.0f) << "the bar reads 100% at the end";
    DWORD engine_exit = 0;
    GetExitCodeProcess(page_->scan().run().engine_process.get(), &engine_exit);
    ASSERT_GT(page_->scan().total_sectors(), 0u)
        << "the run ended with " << page_->scan().reader_result() << ", the engine with " << engine_exit;

    HWND tree = page_->tree();
    HTREEITEM jpg = find_item(tree, u"jpg");
    ASSERT_NE(jpg, nullptr);
    EXPECT_EQ(TreeView_GetParent(tree, jpg), find_item(tree, u"Photos"));
    ASSERT_NE(find_item(tree, u"dng"), nullptr);
    EXPECT_GE(page_->grid().shown_count(), 9u) << "six JPEGs, a PNG, a GIF and the camera photo";
    EXPECT_GE(page_->view_total(), 9);
    ASSERT_TRUE(pump_until([&] { return page_->grid().loaded_thumbnails() >= 9; }, 30000)) << "thumbnails appear";

    // The camera photo's details: its date, camera and size.
    ASSERT_TRUE(click_item(tree, find_item(tree, u"dng")));
    click(page_->grid().hwnd(), 40, 40);
    ASSERT_GE(page_->current(), 0);
    {
        queue_lock_c lock;
        const found_file_t& photo = found_queue().at(size_t(page_->current()));
        EXPECT_STREQ(photo.ext, "dng");
        EXPECT_EQ(picture_size_text(photo.width, photo.height), u"320x240");
        EXPECT_STREQ(photo.camera_model, "Tessera Field 4000");
        EXPECT_EQ(taken_time_text(photo.taken_time), u"2014/07/09 18:05");
    }

    // Tick everything of every category, recover.
    auto recover_everything = [&] {
        for (const char16_t* root : {u"Photos", u"Videos", u"Audio"}) {
            ASSERT_TRUE(click_item(tree, find_item(tree, root)));
            if (SendMessageW(page_->control(id_scan_all), BM_GETCHECK, 0, 0) == BST_CHECKED)
                click(page_->control(id_scan_all), 5, 10);  // the box keeps its state between groups
            click(page_->control(id_scan_all), 5, 10);
            EXPECT_EQ(page_->view_ticked(), page_->view_total()) << to_ansi(root);
        }
        shown_boxes.clear();
        click(page_->control(id_scan_recover), 20, 20);
        ASSERT_TRUE(pump_until([&] { return !shown_boxes.empty(); }, 60000));
        EXPECT_EQ(shown_boxes[0].mode, mode_done);
    };
    recover_everything();
    EXPECT_EQ(window_.step(), 3);

    std::wstring recovered = folder_ / L"recovered";
    std::vector<std::string> contents;
    std::string list = read_all(recovered + L"\\recovered.csv");
    EXPECT_EQ(list.substr(0, 3), "\xEF\xBB\xBF") << "the recovery's list";
    size_t named = 0;
    {
        queue_lock_c lock;
        for (size_t i = 0; i < found_queue().size(); ++i) {
            wchar_t name[64];
            swprintf(name, 64, L"\\FILE%05d.%hs", int(i), found_queue().at(i).ext);
            const found_file_t& find = found_queue().at(i);
            // Its name on the card where the engine's index gave one, else its queue number.
            std::u16string saved = saved_file_name(find.origin.path, find.ext, int32_t(i), from_wide(recovered.c_str()).size());
            if (find.origin.path.empty()) {
                EXPECT_EQ(saved, from_wide(name + 1)) << i;
            }
            std::string copy = read_all(recovered + L"\\" + wide(saved));
            EXPECT_EQ(copy, read_all(wide(from_ansi(find.path)))) << "saved as " << utf16_to_utf8(saved);
            contents.push_back(copy);
            if (find.origin.path.empty()) continue;
            ++named;
            // Named on the card: the name's last component, the entry's time (the sample card's
            // entries are all written at 2024-05-18 10:00 on the computer's clock), a line in
            // the list.
            EXPECT_EQ(utf16_to_utf8(saved), find.origin.path.substr(find.origin.path.rfind('\\') + 1));
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ASSERT_TRUE(GetFileAttributesExW((recovered + L"\\" + wide(saved)).c_str(), GetFileExInfoStandard, &data));
            uint64_t ticks = uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
            if (find.taken_time <= 0) {
                EXPECT_EQ(int64_t(ticks / 10000000) - 11644473600, card_time_to_utc(find.origin.modified));
            }
            EXPECT_NE(list.find("\r\n" + utf16_to_utf8(saved) + "," + find.origin.path + ","), std::string::npos)
                << utf16_to_utf8(saved);
        }
    }
    EXPECT_GE(named * 2, contents.size()) << "the engine's index names most finds";
    // Every file deleted from the card comes back byte for byte (the live ones too).
    std::vector<std::wstring> expected = files_in(originals);
    ASSERT_GE(expected.size(), 8u);
    for (const std::wstring& name : expected) {
        std::string original = read_all(originals + L"\\" + name);
        EXPECT_NE(std::find(contents.begin(), contents.end(), original), contents.end())
            << "not recovered whole: " << to_ansi(from_wide(name.c_str()));
    }

    // A second scan, after another camera's photo took the first one's place on the card, is
    // recovered into the same folder: every file of both scans is there, byte for byte.
    ASSERT_TRUE(lay_on_card(image, camera_photo_sector, camera_photo("Field 5000")));
    start(volume);
    ASSERT_TRUE(pump_until([&] { return is_idle(); }, scan_timeout_ms));
    ASSERT_TRUE(pump_until([&] { return page_->shown() >= contents.size(); }));
    recover_everything();
    {
        queue_lock_c lock;
        for (size_t i = 0; i < found_queue().size(); ++i)
            contents.push_back(read_all(wide(from_ansi(found_queue().at(i).path))));
    }
    std::vector<std::string> in_folder;
    for (const std::wstring& name : recovered_files_in(recovered)) {
        EXPECT_NE(name[0], L'~') << "a temporary file stays";
        in_folder.push_back(read_all(recovered + L"\\" + name));
    }
    for (size_t i = 0; i < contents.size(); ++i)
        EXPECT_NE(std::find(in_folder.begin(), in_folder.end(), contents[i]), in_folder.end())
            << "lost: find " << i << " of the two scans";
}

TEST_F(scan_card, pause_resume_stop_and_start_do_what_the_buttons_say) {
    // A large sparse image: long enough to be caught mid-scan.
    std::wstring image = folder_ / L"big.img";
    {
        file_handle_c file(CreateFileW(image.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        LARGE_INTEGER size{};
        size.QuadPart = 64ll * 1024 * 1024 * 1024;
        ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
    }
    start(image);
    ASSERT_TRUE(pump_until([&] { return page_->scan().current_sector() > 0; }, 30000));

    click(toggle(), 20, 15);
    EXPECT_EQ(page_->scan_state(), scan_state_t::paused);
    EXPECT_EQ(window_text(toggle()), lookup_text("btn_resume"));
    pump_for(300);  // packets already written are still read
    uint64_t paused_at = page_->scan().current_sector();
    std::atomic<bool> is_lock_free{false};
    std::thread taker([&] {
        queue_lock_c lock;
        is_lock_free = true;
    });
    pump_for(600);  // the page keeps ticking and painting
    EXPECT_TRUE(is_lock_free) << "pausing never leaves the queue locked";
    taker.join();
    EXPECT_EQ(page_->scan().current_sector(), paused_at);

    click(toggle(), 20, 15);
    EXPECT_EQ(page_->scan_state(), scan_state_t::scanning);
    EXPECT_EQ(window_text(toggle()), lookup_text("btn_pause"));
    EXPECT_TRUE(pump_until([&] { return page_->scan().current_sector() > paused_at; }));

    click(page_->control(id_scan_home), 20, 15);
    ASSERT_EQ(shown_boxes.size(), 1u);
    EXPECT_EQ(shown_boxes[0].text, lookup_text("cancel_confirm"));
    EXPECT_EQ(window_.current_page(), window_.scan_page()) << "declining keeps the scan";
    EXPECT_EQ(page_->scan_state(), scan_state_t::scanning);

    click(stop(), 20, 15);
    EXPECT_TRUE(is_idle());
    EXPECT_FALSE(IsWindowVisible(stop()));
    EXPECT_EQ(window_text(toggle()), lookup_text("btn_start"));
    uint64_t stopped_at = page_->scan().current_sector();
    pump_for(400);
    EXPECT_EQ(page_->scan().current_sector(), stopped_at);

    click(toggle(), 20, 15);
    EXPECT_EQ(page_->scan_state(), scan_state_t::scanning) << "start scans the same volume again";
    EXPECT_TRUE(IsWindowVisible(stop()));
    EXPECT_TRUE(pump_until([&] { return page_->scan().current_sector() > 0; }, 30000));

    // The page's close button asks once, and Yes closes.
    box_answer = 1;
    click(page_->control(id_scan_close), 20, 15);
    ASSERT_EQ(shown_boxes.size(), 2u);
    EXPECT_EQ(shown_boxes[1].text, lookup_text("cancel_confirm"));
    EXPECT_FALSE(IsWindow(window_.hwnd()));
}
