// Every text of every language of res/language.ini, measured where the program draws it, with the
// fonts this Wine prefix really has: the message box and the cache warning as they lay out each
// message, the about dialog's texts, the painted labels of the home, options and scan pages and
// the caption's step labels, and the caption of every bitmap button of the main window's pages
// and of the dialogs. A text that does
// not fit is named with its language. The substitutes Wine measures with are not the fonts of
// Windows, so every text must also fit with about five percent to spare.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/language.h"
#include "base/text_format.h"
#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "pages/about_window_win.h"
#include "pages/folder_window_win.h"
#include "pages/home_window_win.h"
#include "pages/option_window_win.h"
#include "pages/recovery_layout_win.h"
#include "support/front_end_win.h"
#include "support/input_win.h"
#include "ui/message_box_win.h"
#include "ui/message_window_win.h"

namespace {

constexpr int spare_percent = 5, spare_pixels = 2;

// The texts shown in the message box, with the widest values their placeholders take.
const std::vector<std::pair<const char*, std::vector<std::u16string>>> message_texts = {
    {"config_language_change_notice", {}}, {"cancel_confirm", {}}, {"option_no_dir", {}}, {"no_card", {}},
    {"option_msg", {}}, {"next_failed", {}}, {"cache_on_card", {}}, {"recovery_on_card", {}},
    {"scan_no_engine", {}}, {"scan_bad_cache", {}}, {"scan_not_started", {}}, {"scan_no_card", {}},
    {"scan_cache_full", {}}, {"scan_ended_early", {}}, {"scan_read_errors", {u"1023.9 MB"}},
    {"scan_read_errors_unknown", {}}, {"scan_card_lost", {}}, {"recovery_finished", {u"100000"}},
    {"no_selection", {}}, {"recovery_failed_code1", {}}, {"recovery_failed_code2", {}},
    {"recovery_close_confirm", {}}, {"recovery_disk_full", {u"99999", u"100000"}},
    {"recovery_folder_refused", {u"99999", u"100000"}}, {"recovery_unreadable", {u"99999", u"100000"}},
    {"recovery_stopped", {u"99999", u"100000"}}, {"update_current", {u"10.10.10"}},
    {"update_newer", {u"10.10.10"}}, {"update_failed", {}},
    {"unknown_type", {u"avchd, xyz, abcd"}},
};

// Texts drawn where nothing fixes their width.
const std::set<std::string> unmeasured_keys = {
    "menu_help", "menu_about", "menu_exit",                  // the menu grows to its widest item
    "recovery_photo", "recovery_video", "recovery_audio",    // tree items: the tree scrolls sideways
    "recovery_entry_deleted", "recovery_entry_live",         // fact values, ellipsised where cut
    "photo", "video", "audio",                               // kept in the file, drawn nowhere
};

std::string read_language_file() {
    std::ifstream file(TESSERA_SOURCE_DIR "/res/language.ini", std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The keys of the first section, in file order.
std::vector<std::string> english_keys(const std::string& file) {
    std::vector<std::string> keys;
    std::istringstream lines(file);
    std::string line;
    int sections = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '[' && ++sections > 1) break;
        size_t equals = line.find('=');
        if (sections == 1 && !line.empty() && line[0] != ';' && equals != std::string::npos)
            keys.push_back(line.substr(0, equals));
    }
    return keys;
}

class fit_check_c {
public:
    fit_check_c(std::string language, const std::vector<std::string>& keys) : language_(std::move(language)) {
        for (const std::string& key : keys) key_of_text_.emplace(lookup_text(key), key);
    }

    // A slot that grows with its text is measured in all the room it may take.
    void check_slot(text_slot_t slot) {
        measured_.insert(slot.key);
        if (slot.grows_to > slot.area.bottom) slot.area.bottom = slot.grows_to;
        const int width = slot.area.right - slot.area.left;
        int over = 0;
        if (slot.line_gap < 0) {
            const int text_width = slot_overflow(slot, 0) + width;
            over = text_width + text_width * spare_percent / 100 + spare_pixels - width;
        } else {
            over = slot_overflow(slot, width * spare_percent / 100 + spare_pixels);
        }
        if (over > 0) report(slot.key, over);
    }

    // Every bitmap button among the window's children, with its own caption and those of `also`
    // (the captions the buttons of one dialog take in its other modes).
    void check_buttons(HWND window, std::vector<const char*> also = {}) {
        also_ = std::move(also);
        EnumChildWindows(window, [](HWND child, LPARAM self) -> BOOL {
            reinterpret_cast<fit_check_c*>(self)->check_button(child);
            return TRUE;
        }, reinterpret_cast<LPARAM>(this));
    }

    const std::vector<std::string>& failures() const { return failures_; }
    const std::set<std::string>& measured() const { return measured_; }

private:
    void check_button(HWND window) {
        bitmap_button_c* button = bitmap_button_c::from_window(window);
        if (!button) return;
        wchar_t own[256] = {};
        GetWindowTextW(window, own, 256);
        std::vector<std::u16string> captions{from_wide(own)};
        for (const char* key : also_) captions.push_back(lookup_text(key));
        // The scan page's start button takes three captions in turn.
        const char* turns[] = {"btn_start", "btn_pause", "btn_resume"};
        for (const char* key : turns)
            if (captions[0] == lookup_text(key))
                for (const char* other : turns) captions.push_back(lookup_text(other));
        RECT client{};
        GetClientRect(window, &client);
        for (const std::u16string& caption : captions) {
            // Keys of the same text in this language are all measured here.
            auto [first, end] = key_of_text_.equal_range(caption);
            std::string key = first == end ? utf16_to_utf8(caption) : first->second;
            for (auto at = first; at != end; ++at) measured_.insert(at->second);
            int room = button->caption_room(wide(caption));
            int over = client.right * spare_percent / 100 + spare_pixels - room;
            if (over > 0) report(key, over);
        }
    }

    void report(const std::string& key, int over) {
        failures_.push_back(language_ + " " + key + ": " + std::to_string(over) + " pixels too long");
    }

    std::string language_;
    std::multimap<std::u16string, std::string> key_of_text_;
    std::vector<const char*> also_;
    std::set<std::string> measured_;
    std::vector<std::string> failures_;
};

// Runs `show` (a modal dialog) while another thread checks the buttons of the dialog titled
// `title` and closes it.
void check_dialog_buttons(fit_check_c& check, const wchar_t* title, const std::function<void()>& show,
                          std::vector<const char*> also = {}) {
    std::thread inspector([&] {
        HWND dialog = find_dialog(title);
        if (!dialog) return;
        check.check_buttons(dialog, also);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    show();
    inspector.join();
}

void check_language(fit_check_c& check) {
    for (const auto& [key, values] : message_texts) {
        std::u16string text = lookup_text(key);
        if (values.size() == 1) text = format_text(text, {values[0]});
        if (values.size() == 2) text = format_text(text, {values[0], values[1]});
        text_slot_t slot = message_box_layout(text).message;
        slot.key = key;
        check.check_slot(slot);
    }
    text_slot_t warning = cache_warning_layout(format_text(lookup_text("cache_msg"), {u"1023.9 GB"})).message;
    warning.key = "cache_msg";
    check.check_slot(warning);

    about_layout_t about = about_layout();
    for (const text_slot_t* slot : {&about.name, &about.copyright, &about.information, &about.info})
        check.check_slot(*slot);
    check.check_slot(home_text_slot());
    for (const text_slot_t& slot : option_page_text_slots()) check.check_slot(slot);

    main_window_c window;
    ASSERT_TRUE(open_main_window(window));
    for (const text_slot_t& slot : window.step_text_slots()) check.check_slot(slot);
    RECT page{};
    GetClientRect(window.scan_page(), &page);
    for (const text_slot_t& slot : recovery_page_text_slots(page)) check.check_slot(slot);
    check.check_buttons(window.hwnd());
    check_dialog_buttons(check, L"About", [&] { SendMessageW(window.hwnd(), WM_COMMAND, id_menu_about, 0); });
    DestroyWindow(window.hwnd());
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    // Closing a dialog takes Wine about two seconds here: one box shows all the captions.
    check_dialog_buttons(check, L"Tessera", [&] { show_message(nullptr, u"-", mode_question); },
                         {"btn_ok", "btn_open"});
    check_dialog_buttons(check, L"Tessera", [&] { show_cache_warning(u"-", nullptr); });
}

}  // namespace

TEST(text_fit, every_text_of_every_language_fits_where_it_is_drawn) {
    const std::string file = read_language_file();
    ASSERT_FALSE(file.empty()) << "res/language.ini could not be read";
    const std::vector<std::string> keys = english_keys(file);
    prepare_front_end(file, u"English");
    const std::vector<std::u16string> languages = language_table().names();
    ASSERT_EQ(languages.size(), 11u);
    std::vector<std::string> failures;
    std::set<std::string> measured;
    for (const std::u16string& language : languages) {
        language_table().clear();
        language_table().load(file, language, true);
        language_table().load(file, u"English", false);
        fit_check_c check(utf16_to_utf8(language), keys);
        check_language(check);
        failures.insert(failures.end(), check.failures().begin(), check.failures().end());
        measured.insert(check.measured().begin(), check.measured().end());
    }
    for (const std::string& failure : failures) ADD_FAILURE() << failure;
    for (const std::string& key : keys)
        EXPECT_TRUE(measured.count(key) || unmeasured_keys.count(key)) << key << " is measured nowhere";
    delete_tessera_keys();
}
