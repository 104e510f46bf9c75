// The about dialog from the main window's About command, driven by real clicks and keys: the
// update button starts update\update.exe below the program's folder with no arguments and
// closes the dialog; back, Esc and the caption's close button start nothing.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "base/app_folder.h"
#include "base/language.h"
#include "base/wide_text_win.h"
#include "pages/about_window_win.h"
#include "support/front_end_win.h"
#include "support/input_win.h"
#include "support/process_win.h"
#include "support/temp_folder_win.h"
#include "version.h"

namespace {

const char language_file[] =
    "[English]\nabout_name=\"Tessera\"\nabout_btn_check=\"Check for updates\"\nabout_btn_bk=\"Close\"\n"
    "about_info=\"{1}Version {version}\\nBuilt on {2} at {3}\"\n";

class about_dialog : public ::testing::Test {
protected:
    void SetUp() override {
        prepare_front_end(language_file, u"English");
        // The program's folder holds a stand-in updater that notes how it was started.
        CreateDirectoryW((folder_ / L"update").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((programs_folder() + L"\\fake_update.exe").c_str(),
                              (folder_ / L"update\\update.exe").c_str(), FALSE));
        app_folder = from_wide((folder_.path() + L"\\").c_str());
        ASSERT_TRUE(open_main_window(window_));
    }
    void TearDown() override {
        DestroyWindow(window_.hwnd());
        // The main window ends the loop when it goes; the next test's dialog must not take that.
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        delete_tessera_keys();
    }

    // Opens the dialog with the About command while `drive` acts on it from another thread; true
    // when the dialog was gone afterwards.
    bool run_about(const std::function<void(HWND)>& drive) {
        bool is_gone = false;
        std::thread driver([&] {
            HWND dialog = find_dialog(L"About");
            ASSERT_NE(dialog, nullptr);
            drive(dialog);
            is_gone = wait_until([&] { return !IsWindow(dialog); }, 3000);
            if (!is_gone) EndDialog(dialog, 9);
        });
        SendMessageW(window_.hwnd(), WM_COMMAND, id_menu_about, 0);
        driver.join();
        return is_gone;
    }
    // The stand-in updater's note: its command line, or empty when it was not started.
    std::wstring updater_command_line() {
        std::wstring note = folder_ / L"update\\started.txt";
        wait_until([&] { return GetFileAttributesW(note.c_str()) != INVALID_FILE_ATTRIBUTES; }, 1500);
        HANDLE file = CreateFileW(note.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return L"";
        wchar_t text[512] = {};
        DWORD got = 0;
        ReadFile(file, text, sizeof text - sizeof(wchar_t), &got, nullptr);
        CloseHandle(file);
        return text;
    }

    temp_folder_c folder_{L"about"};
    main_window_c window_;
};

void click_control(HWND dialog, int id) {
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    click_at((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

}  // namespace

TEST_F(about_dialog, back_esc_and_the_caption_close_start_nothing) {
    EXPECT_TRUE(run_about([](HWND dialog) {
        RECT frame{};
        GetWindowRect(dialog, &frame);
        EXPECT_EQ(frame.right - frame.left, 500);
        EXPECT_EQ(frame.bottom - frame.top, 400);
        click_control(dialog, IDCANCEL);
    })) << "back";
    EXPECT_TRUE(run_about([](HWND dialog) { press_key(dialog, VK_ESCAPE); })) << "Esc";
    EXPECT_TRUE(run_about([](HWND dialog) {
        RECT frame{};
        GetWindowRect(dialog, &frame);
        click_at(frame.right - GetSystemMetrics(SM_CXDLGFRAME) - 15, frame.top + GetSystemMetrics(SM_CYDLGFRAME) + 10);
    })) << "the caption's close button";
    EXPECT_EQ(updater_command_line(), L"");
}

TEST_F(about_dialog, the_update_button_starts_the_updater_without_arguments_and_closes) {
    EXPECT_TRUE(run_about([](HWND dialog) { click_control(dialog, IDOK); }));
    std::wstring command_line = updater_command_line();
    ASSERT_FALSE(command_line.empty()) << "update\\update.exe was not started";
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(command_line.c_str(), &count);
    EXPECT_EQ(count, 1) << "no arguments: " << std::string(command_line.begin(), command_line.end());
    LocalFree(arguments);
}

TEST(about_info, shows_the_version_and_the_build_date_and_time) {
    language_table().clear();
    language_table().load(language_file, u"English", true);
    const std::u16string text = about_info_text();
    EXPECT_EQ(text.substr(0, 8 + sizeof TESSERA_VERSION_TEXT), u"Version " + from_wide(L"" TESSERA_VERSION_TEXT) + u"\n");
    EXPECT_NE(text.find(u"Built on " + from_wide(L"" __DATE__).substr(0, 3)), std::u16string::npos);
}
