// The main window in this process: its pages switched by the custom messages, the frame repaints
// those messages cause, the Language menu and the language choice against the real registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/language.h"
#include "app/main_window_win.h"
#include "base/settings.h"
#include "support/front_end_win.h"
#include "support/registry_win.h"
#include "ui/message_box_win.h"

namespace {

std::vector<std::u16string> shown_texts;
int record_message(HWND, const std::u16string& text, message_mode_t mode) {
    shown_texts.push_back(text + u" mode " + std::u16string(1, char16_t(u'0' + mode)));
    return 0;
}

// A language file of `count` sections; the first is English.
std::string language_file(int count) {
    std::string file = "[English]\nconfig_language_change_notice=\"Next time.\"\ntop_step1=\"One\"\n";
    for (int i = 1; i < count; ++i) file += "[Language" + std::to_string(i) + "]\nbtn_ok=\"OK\"\n";
    return file;
}

class main_window : public ::testing::Test {
protected:
    void SetUp() override {
        prepare_front_end(language_file(12), u"English");
        set_message_shower(record_message);
        shown_texts.clear();
        ASSERT_TRUE(open_main_window(window_));
    }
    void TearDown() override {
        set_message_shower(nullptr);
        delete_tessera_keys();
    }
    LRESULT send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageW(window_.hwnd(), msg, wp, lp); }

    main_window_c window_;
};

}  // namespace

TEST_F(main_window, pages_switch_by_message_and_the_step_moves_with_them) {
    EXPECT_EQ(window_.current_page(), window_.home_page());
    EXPECT_TRUE(IsWindowVisible(window_.home_page()));
    EXPECT_FALSE(IsWindowVisible(window_.options_page()));
    EXPECT_EQ(window_.step(), 0);
    RECT client{}, page{};
    GetClientRect(window_.hwnd(), &client);
    GetClientRect(window_.home_page(), &page);
    EXPECT_EQ(page.right, client.right);
    EXPECT_EQ(page.bottom, client.bottom);
    EXPECT_EQ(client.bottom, main_window_height - 100 - 2 * GetSystemMetrics(SM_CYDLGFRAME))
        << "a 100-pixel caption band";

    int paints = window_.frame_paints;
    EXPECT_EQ(send(UM_SHOW_OPTIONS), 0);
    EXPECT_EQ(window_.current_page(), window_.options_page());
    EXPECT_TRUE(IsWindowVisible(window_.options_page()));
    EXPECT_FALSE(IsWindowVisible(window_.home_page()));
    EXPECT_EQ(window_.step(), 1);
    EXPECT_GT(window_.frame_paints, paints);
    paints = window_.frame_paints;
    send(UM_SHOW_OPTIONS);
    EXPECT_EQ(window_.current_page(), window_.options_page()) << "the second only repaints the frame";
    EXPECT_EQ(window_.frame_paints, paints + 1);

    send(UM_SHOW_SCAN_AND_START, 0, 0);
    EXPECT_EQ(window_.current_page(), window_.scan_page());
    EXPECT_TRUE(IsWindowVisible(window_.scan_page()));
    EXPECT_FALSE(IsWindowVisible(window_.options_page()));
    EXPECT_EQ(window_.step(), 2);

    paints = window_.frame_paints;
    send(UM_STEP_DONE);
    send(UM_STEP_DONE);
    EXPECT_EQ(window_.step(), 3);
    EXPECT_EQ(window_.frame_paints, paints + 1) << "the frame is repainted once";

    send(UM_SHOW_HOME);
    send(UM_SHOW_SCAN);
    EXPECT_EQ(window_.current_page(), window_.scan_page());
    EXPECT_EQ(window_.step(), 0) << "showing loaded results keeps the step";

    // Closing with no search running asks nothing.
    send(WM_CLOSE);
    EXPECT_FALSE(IsWindow(window_.hwnd()));
    EXPECT_TRUE(shown_texts.empty());
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(main_window, the_language_menu_lists_every_section_and_only_a_new_choice_is_saved) {
    HMENU languages = GetSubMenu(window_.menu(), 0);
    ASSERT_NE(languages, nullptr);
    EXPECT_EQ(GetMenuItemCount(languages), 12);
    EXPECT_EQ(GetMenuItemCount(window_.menu()), 6);
    EXPECT_EQ(GetMenuState(languages, 0, MF_BYPOSITION) & MF_CHECKED, UINT(MF_CHECKED));
    EXPECT_EQ(GetMenuItemID(window_.menu(), 2), id_menu_help);
    EXPECT_EQ(GetMenuItemID(window_.menu(), 5), id_menu_exit);

    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera", L"language");
    send(WM_COMMAND, id_language_first);
    EXPECT_EQ(stored_text(L"language"), L"<missing>") << "the language in use is not saved again";
    send(WM_COMMAND, id_language_first + 11);
    EXPECT_EQ(stored_text(L"language"), L"<missing>") << "the twelfth command does nothing";
    EXPECT_TRUE(shown_texts.empty());

    send(WM_COMMAND, id_language_first + 3);
    EXPECT_EQ(stored_text(L"language"), L"Language3");
    EXPECT_EQ(language_table().current_index(), 3u);
    ASSERT_EQ(shown_texts.size(), 1u);
    EXPECT_EQ(shown_texts[0], u"Next time. mode 0");
    EXPECT_EQ(GetMenuState(languages, 0, MF_BYPOSITION) & MF_CHECKED, UINT(MF_CHECKED))
        << "the check mark stays until the next start";
    DestroyWindow(window_.hwnd());
}
