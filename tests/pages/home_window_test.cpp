// The home page inside a real main window, driven by real clicks: start and resume, and the
// captions per language. The scan page's tests follow the load that resume starts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/settings.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "support/front_end_win.h"
#include "support/input_win.h"
#include "support/temp_folder_win.h"
#include "support/window_capture_win.h"
#include "ui/message_box_win.h"

namespace {

const char language_file[] =
    "[English]\nhome_btn_start=\"New search\"\nhome_btn_resume=\"Last results\"\nhome_text=\"One line.\"\n"
    "[Deutsch]\nhome_btn_start=\"Neue Suche\"\nhome_btn_resume=\"Letzte Ergebnisse\"\n"
    "[Français]\nhome_btn_start=\"Nouvelle recherche\"\n";

int no_message(HWND, const std::u16string&, message_mode_t) { return 0; }

size_t queued_files() {
    queue_lock_c lock;
    return found_queue().size();
}

class home_page : public ::testing::Test {
protected:
    static void SetUpTestSuite() { set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr)); }
    void SetUp() override {
        set_message_shower(no_message);
        reset_found_queue();
        cache_ = folder_ / L"cache";
        CreateDirectoryW(cache_.c_str(), nullptr);
        open_window(u"English");
    }
    void TearDown() override {
        window_.reset();
        set_message_shower(nullptr);
        delete_tessera_keys();
    }

    void open_window(const std::u16string& language) {
        window_.reset();
        prepare_front_end(language_file, language);
        settings.cache_path = from_wide(cache_.c_str());
        window_ = std::make_unique<main_window_c>();
        ASSERT_TRUE(open_main_window(*window_));
    }
    const home_window_c& home() const { return *window_->home_window(); }

    void press(const bitmap_button_c& button) {
        RECT rect{};
        GetWindowRect(button.hwnd(), &rect);
        click_at((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        mouse_to(rect.right + 30, rect.bottom + 100);
    }
    // Handles this thread's messages until the condition holds (or a few seconds have passed).
    bool pump_until(const std::function<bool()>& condition) {
        return wait_until([&] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            return condition();
        });
    }

    temp_folder_c folder_{L"home"};
    std::wstring cache_;
    std::unique_ptr<main_window_c> window_;
};

}  // namespace

TEST_F(home_page, resume_with_an_empty_cache_shows_an_empty_scan_page_and_start_shows_the_options) {
    Sleep(200);
    window_capture_c page(window_->home_page());
    EXPECT_EQ(page.at(61, 436), RGB(245, 250, 253)) << "one line of home_text at the top of its rectangle";
    EXPECT_EQ(page.first_ink_row(RECT{60, 460, 400, 490}, page.at(61, 470)), -1) << "and nothing below it";

    press(home().resume_button());
    EXPECT_TRUE(pump_until([&] { return window_->current_page() == window_->scan_page(); }));
    EXPECT_EQ(queued_files(), 0u);

    SendMessageW(window_->hwnd(), UM_SHOW_HOME, 0, 0);
    press(home().start_button());
    EXPECT_TRUE(pump_until([&] { return window_->current_page() == window_->options_page(); }));
}

TEST_F(home_page, captions_take_the_place_and_font_of_the_language) {
    struct look_t {
        const char16_t* language;
        POINT start, resume;
        int start_points, resume_points;
        bool start_bold, resume_bold;
    };
    const look_t looks[] = {
        {u"English", {150, 30}, {112, 30}, 16, 16, false, false},
        {u"Deutsch", {125, 30}, {102, 40}, 16, 9, false, true},
        {u"Français", {125, 35}, {112, 38}, 9, 9, true, true},
    };
    for (const look_t& look : looks) {
        open_window(look.language);
        const std::string name(look.language, look.language + 2);
        EXPECT_EQ(home().start_button().text_position().x, look.start.x) << name;
        EXPECT_EQ(home().start_button().text_position().y, look.start.y) << name;
        EXPECT_EQ(home().resume_button().text_position().x, look.resume.x) << name;
        EXPECT_EQ(home().resume_button().text_position().y, look.resume.y) << name;
        EXPECT_EQ(home().start_button().font(), shared_font(font_face::verdana, look.start_points, look.start_bold)) << name;
        EXPECT_EQ(home().resume_button().font(), shared_font(font_face::verdana, look.resume_points, look.resume_bold))
            << name;
        RECT start{}, resume{};
        GetWindowRect(home().start_button().hwnd(), &start);
        GetWindowRect(home().resume_button().hwnd(), &resume);
        POINT origin{0, 0};
        ClientToScreen(window_->home_page(), &origin);
        EXPECT_EQ(start.left - origin.x, 60);
        EXPECT_EQ(start.top - origin.y, 105);
        EXPECT_EQ(resume.left - origin.x, 420);
        EXPECT_EQ(resume.right - resume.left, 320);
        EXPECT_EQ(resume.bottom - resume.top, 140);
    }
}
