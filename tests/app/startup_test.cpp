// Tessera.exe started as a real process in the test prefix: its settings on a first run, the
// failure dialog, and the single running copy.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "res/resource.h"
#include "support/process_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "base/handles_win.h"

namespace {

constexpr DWORD start_timeout_ms = 30000;

class startup : public ::testing::Test {
protected:
    void SetUp() override {
        delete_tessera_keys();
        app_ = folder_ / L"app";
        elsewhere_ = folder_ / L"elsewhere";
        CreateDirectoryW(app_.c_str(), nullptr);
        CreateDirectoryW(elsewhere_.c_str(), nullptr);
        ASSERT_TRUE(copy_program_file(L"Tessera.exe", app_));
    }
    void TearDown() override {
        for (child_process_t& child : children_) end_process(child);
        delete_tessera_keys();
    }

    child_process_t start_tessera(const std::wstring& working_folder) {
        children_.push_back(start_process(app_ + L"\\Tessera.exe", L"", working_folder));
        return children_.back();
    }

    // The window exists before it is centred and shown; it is looked at once it is visible.
    HWND wait_for_main_window(const child_process_t& child) {
        HWND window = wait_for_window(child.id, L"Tessera", start_timeout_ms, L"TesseraMainWindow");
        for (int i = 0; window && !IsWindowVisible(window) && i < 600; ++i) Sleep(50);
        return window;
    }

    // Closes the window as the user would and returns the exit code.
    DWORD close_and_wait(const child_process_t& child, HWND window) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return wait_for_exit(child, start_timeout_ms);
    }

    temp_folder_c folder_{L"startup"};
    std::wstring app_, elsewhere_;
    std::vector<child_process_t> children_;
};

}  // namespace

TEST_F(startup, a_first_start_from_another_folder_stores_the_settings_and_opens_the_window) {
    ASSERT_TRUE(copy_program_file(L"language.ini", app_));
    child_process_t tessera = start_tessera(elsewhere_);
    ASSERT_NE(tessera.process, nullptr);
    HWND window = wait_for_main_window(tessera);
    ASSERT_NE(window, nullptr) << "no window titled Tessera appeared";

    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.right - frame.left, 800);
    EXPECT_EQ(frame.bottom - frame.top, 600);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 1);

    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(stored_text(L"RecoveryPath"), app_ + L"\\recovery");
    EXPECT_EQ(stored_text(L"CachePath"), std::wstring(temp) + L"TSR_Cache");
    EXPECT_EQ(stored_text(L"language"), L"English");
    EXPECT_TRUE(is_folder(app_ + L"\\recovery"));
    EXPECT_TRUE(is_folder(std::wstring(temp) + L"TSR_Cache"));

    EXPECT_EQ(close_and_wait(tessera, window), 0u);
}

TEST_F(startup, the_installer_language_is_taken_on_the_first_run) {
    ASSERT_TRUE(copy_program_file(L"language.ini", app_));
    store_installer_language(4);
    child_process_t tessera = start_tessera(app_);
    HWND window = wait_for_main_window(tessera);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(stored_text(L"language"), L"Français");
    EXPECT_EQ(close_and_wait(tessera, window), 0u);
}

TEST_F(startup, a_missing_language_file_shows_code_4_and_ends_with_minus_one) {
    child_process_t tessera = start_tessera(app_);
    HWND dialog = wait_for_window(tessera.id, L"Tessera", start_timeout_ms, L"#32770");
    ASSERT_NE(dialog, nullptr) << "no failure dialog appeared";
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, 0xFFFF, text, 256);  // the message box's text control
    EXPECT_STREQ(text, L"Application initialization failed, error code: 4.");
    EXPECT_EQ(wait_for_window(tessera.id, L"Tessera", 0, L"TesseraMainWindow"), nullptr);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(wait_for_exit(tessera, start_timeout_ms), 0xFFFFFFFFu);
}

TEST_F(startup, a_second_copy_raises_the_first_and_ends_without_a_window) {
    ASSERT_TRUE(copy_program_file(L"language.ini", app_));
    child_process_t first = start_tessera(app_);
    HWND window = wait_for_main_window(first);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));

    child_process_t second = start_tessera(app_);
    ASSERT_NE(second.process, nullptr);
    EXPECT_EQ(wait_for_exit(second, start_timeout_ms), 0xFFFFFFFFu);
    EXPECT_FALSE(has_visible_window(second.id));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(close_and_wait(first, window), 0u);
}

TEST(tessera_resources, carry_the_manifest_the_icon_and_the_version) {
    std::wstring exe = programs_folder() + L"\\Tessera.exe";
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    std::string xml(text, SizeofResource(module, manifest));
    EXPECT_NE(xml.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), MAKEINTRESOURCEW(14)), nullptr);  // RT_GROUP_ICON
    // Every drawing of the skin, res/skin/NNN_name.svg, is the bitmap resource NNN.
    std::string skin = "Z:" TESSERA_SOURCE_DIR "/res/skin/*.svg";
    WIN32_FIND_DATAW entry{};
    find_handle_c drawings(FindFirstFileW(std::wstring(skin.begin(), skin.end()).c_str(), &entry));
    ASSERT_TRUE(drawings.is_valid());
    int count = 0;
    do {
        ++count;
        int number = static_cast<int>(std::wcstol(entry.cFileName, nullptr, 10));
        EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(number), MAKEINTRESOURCEW(2)), nullptr)  // RT_BITMAP
            << "bitmap " << number;
    } while (FindNextFileW(drawings.get(), &entry));
    EXPECT_GE(count, 75);
    FreeLibrary(module);

    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
    wchar_t* product = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(product, L"Tessera");
}
