// The cache warning and the folder browser, shown as the options page shows them and driven from
// another thread with real clicks and keys: the warning's results, places and text layout, and
// the browser's refusal of anything but a file-system folder.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <string>
#include <thread>

#include "base/language.h"
#include "pages/folder_picker_win.h"
#include "pages/folder_window_win.h"
#include "support/input_win.h"
#include "support/window_capture_win.h"
#include "ui/dialog_parts_win.h"
#include "ui/shared_fonts_win.h"

namespace {

class folder_dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // as WinMain does, for the shell's browser
        create_shared_fonts();
        language_table().clear();
        language_table().load("[English]\nbtn_ok=\"OK\"\nbtn_cancel=\"Cancel\"\n", u"English", true);
    }
};

// A visible dialog of this process (any title), or null after a few seconds.
HWND wait_for_dialog() {
    HWND found = nullptr;
    wait_until([&] {
        EnumWindows([](HWND window, LPARAM param) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (process != GetCurrentProcessId() || !IsWindowVisible(window) || lstrcmpW(name, L"#32770") != 0)
                return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&found));
        return found != nullptr;
    });
    return found;
}

// Runs `show` on this thread while `drive` acts on its dialog from another, as a user would; a
// dialog still open afterwards is ended so that the test cannot hang.
void run_with_driver(const std::function<void()>& show, const std::function<void(HWND)>& drive) {
    std::thread driver([&] {
        HWND dialog = wait_for_dialog();
        ASSERT_NE(dialog, nullptr);
        drive(dialog);
        if (!wait_until([&] { return !IsWindow(dialog); }, 3000)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    show();
    driver.join();
}

int run_warning(const std::u16string& text, const std::function<void(HWND)>& drive) {
    int result = -1;
    run_with_driver([&] { result = show_cache_warning(text, nullptr); }, drive);
    return result;
}

POINT client_place(HWND dialog, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    POINT place{rect.left, rect.top};
    ScreenToClient(dialog, &place);
    return place;
}

void click_control(HWND dialog, int id) {
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    click_at((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

std::wstring text_of(HWND window) {
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    return text;
}

// The message's rows, above the button band.
constexpr RECT message_rows{80, 30, 372, dialog_band_top};

}  // namespace

TEST_F(folder_dialogs, the_warning_has_its_size_and_buttons_and_wraps_a_long_text_from_the_top) {
    const std::u16string long_text =
        u"The drive of the cache folder has less free space than the size of the card (7.4 GB). Search anyway?";
    int first_row = -1, last_row = -1;
    int result = run_warning(long_text, [&](HWND dialog) {
        RECT frame{};
        GetWindowRect(dialog, &frame);
        EXPECT_EQ(frame.right - frame.left, 400);
        EXPECT_EQ(frame.bottom - frame.top, 200);
        HWND ok = GetDlgItem(dialog, IDOK), cancel = GetDlgItem(dialog, IDCANCEL);
        EXPECT_EQ(text_of(ok), L"OK");
        EXPECT_EQ(text_of(cancel), L"Cancel");
        EXPECT_EQ(client_place(dialog, ok).x, 230);
        EXPECT_EQ(client_place(dialog, ok).y, 136);
        EXPECT_EQ(client_place(dialog, cancel).x, 100);
        Sleep(300);
        window_capture_c picture(dialog);
        first_row = picture.first_ink_row(message_rows, dialog_body_colour);
        last_row = picture.last_ink_row(message_rows, dialog_body_colour);
        click_control(dialog, IDOK);
    });
    EXPECT_EQ(result, 1) << "OK";
    EXPECT_GE(first_row, 30);
    EXPECT_LE(first_row, 34) << "a long text starts at the top";
    EXPECT_GT(last_row, first_row + 40) << "on three lines";
}

TEST_F(folder_dialogs, a_one_line_warning_is_centred_and_esc_cancel_and_close_give_2_2_and_0) {
    int middle = -1;
    EXPECT_EQ(run_warning(u"Search anyway?", [&](HWND dialog) {
        Sleep(300);
        window_capture_c picture(dialog);
        middle = (picture.first_ink_row(message_rows, dialog_body_colour) +
                  picture.last_ink_row(message_rows, dialog_body_colour)) / 2;
        press_key(dialog, VK_ESCAPE);
    }), 2) << "Esc";
    EXPECT_NEAR(middle, (30 + 150) / 2, 3) << "one line sits in the middle of 30..150";

    EXPECT_EQ(run_warning(u"Search anyway?", [](HWND dialog) { click_control(dialog, IDCANCEL); }), 2);
    EXPECT_EQ(run_warning(u"Search anyway?", [](HWND dialog) {
        RECT frame{};
        GetWindowRect(dialog, &frame);
        click_at(frame.right - GetSystemMetrics(SM_CXDLGFRAME) - 15, frame.top + GetSystemMetrics(SM_CYDLGFRAME) + 10);
    }), 0) << "the caption's close button";
}

TEST_F(folder_dialogs, the_browser_returns_a_file_system_folder_and_refuses_everything_else) {
    std::u16string folder = u"unchanged";
    bool picked = true;
    auto pick = [&] { picked = pick_folder(folder); };

    run_with_driver(pick, [](HWND browser) { press_key(browser, VK_ESCAPE); });
    EXPECT_FALSE(picked) << "cancelled";
    EXPECT_EQ(folder, u"unchanged");

    bool could_confirm = true;
    run_with_driver(pick, [&](HWND browser) {
        PIDLIST_ABSOLUTE computer = nullptr;
        SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer);
        SendMessageW(browser, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(computer));
        CoTaskMemFree(computer);
        Sleep(200);
        could_confirm = IsWindowEnabled(GetDlgItem(browser, IDOK)) != FALSE;
        press_key(browser, VK_ESCAPE);
    });
    EXPECT_FALSE(could_confirm) << "the computer itself is no file-system folder";
    EXPECT_FALSE(picked);
    EXPECT_EQ(folder, u"unchanged");

    run_with_driver(pick, [](HWND browser) {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:\\windows"));
        Sleep(200);
        click_control(browser, IDOK);
    });
    EXPECT_TRUE(picked);
    EXPECT_EQ(CompareStringOrdinal(reinterpret_cast<const wchar_t*>(folder.c_str()), -1, L"C:\\windows", -1, TRUE),
              CSTR_EQUAL) << std::string(folder.begin(), folder.end());
}
