// The options page in a real main window of this process, reached by the home page's start
// button and driven by real clicks and keys: the checks of the next button in their order, the
// folder field with its radio buttons, the card list against the real drive list, the settings in
// the real registry, the free-space warning, and a search started on the test card X: with the
// real engine.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "base/language.h"
#include "base/language_file_win.h"
#include "app/main_window_win.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/work_folders_win.h"
#include "pages/drive_list.h"
#include "pages/drive_list_win.h"
#include "pages/home_window_win.h"
#include "pages/recovery_window_win.h"
#include "support/front_end_win.h"
#include "support/page_input_win.h"
#include "support/process_win.h"
#include "support/registry_win.h"
#include "support/test_card_win.h"
#include "support/temp_folder_win.h"
#include "ui/message_box_win.h"
#include "ui/shared_fonts_win.h"

namespace {

using page = option_window_c;

std::vector<std::u16string> shown_texts;
std::vector<message_mode_t> shown_modes;
int question_answer = 2;  // "No"

int record_message(HWND, const std::u16string& text, message_mode_t mode) {
    shown_texts.push_back(text);
    shown_modes.push_back(mode);
    return mode == mode_question ? question_answer : 1;
}

std::u16string u16(const std::wstring& text) { return from_wide(text.c_str()); }
std::string ansi(const std::wstring& text) { return to_ansi(u16(text)); }

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string read_fixture(const char* relative) { return read_all(std::string(TESSERA_SOURCE_DIR) + "/" + relative); }

// Watches for the cache warning dialog from another thread, since it runs modally on ours, and
// ends it as asked: with a click on its Cancel button or on its caption's close button.
class warning_answer_c {
public:
    enum class answer_t { ok, cancel, caption_close };
    explicit warning_answer_c(answer_t answer) : thread_([this, answer] { run(answer); }) {}
    ~warning_answer_c() {
        is_done_ = true;
        thread_.join();
    }
    bool was_shown() const { return was_shown_; }

private:
    void run(answer_t answer) {
        HWND dialog = nullptr;
        if (!wait_until([&] {
                dialog = own_dialog();
                return is_done_ || dialog;
            }, 15000) || is_done_)
            return;
        was_shown_ = true;
        Sleep(300);
        // The middles of OK at (230, 136) and of Cancel at (100, 136), 70 x 24 each.
        POINT point{answer == answer_t::ok ? 265 : 135, 148};
        ClientToScreen(dialog, &point);
        if (answer == answer_t::caption_close) {
            RECT frame{};
            GetWindowRect(dialog, &frame);
            point = POINT{frame.right - GetSystemMetrics(SM_CXDLGFRAME) - 15, frame.top + GetSystemMetrics(SM_CYDLGFRAME) + 10};
        }
        click_at(point.x, point.y);
    }

    // A visible dialog titled Tessera of this process (the message box is replaced here).
    static HWND own_dialog() {
        for (HWND dialog = nullptr; (dialog = FindWindowExW(nullptr, dialog, L"#32770", L"Tessera"));) {
            DWORD process = 0;
            GetWindowThreadProcessId(dialog, &process);
            if (process == GetCurrentProcessId() && IsWindowVisible(dialog)) return dialog;
        }
        return nullptr;
    }

    std::atomic<bool> is_done_{false}, was_shown_{false};
    std::thread thread_;
};

// The real message boxes of this process, counted and closed from another thread as they come
// (a box runs modally on the test's thread).
class box_counter_c {
public:
    box_counter_c() : thread_([this] { run(); }) {}
    ~box_counter_c() {
        is_done_ = true;
        thread_.join();
    }
    int count() const { return count_; }

private:
    void run() {
        while (!is_done_) {
            HWND box = FindWindowW(L"#32770", L"Tessera");
            DWORD process = 0;
            if (box && IsWindowVisible(box) && GetWindowThreadProcessId(box, &process) &&
                process == GetCurrentProcessId()) {
                ++count_;
                Sleep(300);  // the user reads it
                PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
                wait_until([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
            }
            Sleep(20);
        }
    }

    std::atomic<bool> is_done_{false};
    std::atomic<int> count_{0};
    std::thread thread_;
};

class option_page : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetCurrentDirectoryW(programs_folder().c_str());
        create_shared_fonts();
        language_table().clear();
        load_language(u"English", true);
        set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
    }

    void SetUp() override {
        GetCurrentDirectoryW(MAX_PATH, previous_folder_);
        out_ = folder_ / L"Out";
        cache_ = folder_ / L"cache";
        CreateDirectoryW(out_.c_str(), nullptr);
        CreateDirectoryW(cache_.c_str(), nullptr);
        delete_tessera_keys();
        store_text(L"RecoveryPath", out_);
        store_text(L"CachePath", cache_);
        refresh_drive_list();
        set_message_shower(record_message);
        shown_texts.clear();
        shown_modes.clear();
        question_answer = 2;
        search_request = scan_request_t{};
        // The scan page starts Ember/embsrv.exe from the current folder: none is here unless a
        // test puts one, so a started search is refused at once and the scan page says so.
        SetCurrentDirectoryW(folder_.path().c_str());
    }

    void TearDown() override {
        question_answer = 1;  // closing confirms ending a search that still runs
        if (window_ && IsWindow(window_->hwnd())) window_->close_steps();
        window_.reset();
        pump_for(100);
        set_message_shower(nullptr);
        delete_tessera_keys();
        SetCurrentDirectoryW(previous_folder_);
    }

    // The main window as start-up makes it (settings read from the registry), then the home
    // page's start button pressed to reach the options page.
    void open_options_page() {
        init_settings();
        window_ = std::make_unique<main_window_c>();
        ASSERT_TRUE(open_main_window(*window_));
        centre_on_work_area(window_->hwnd());
        SetForegroundWindow(window_->hwnd());
        pump_for(300);
        click_middle(GetDlgItem(window_->home_page(), home_start_id));
        ASSERT_EQ(window_->current_page(), window_->options_page());
    }

    HWND control(int id) const { return GetDlgItem(window_->options_page(), id); }
    void click_middle(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        click_at((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        pump_for(300);
    }
    void click(int id) { click_middle(control(id)); }
    void type_into_field(const std::wstring& text) {
        click(page::id_folder_field);
        tap_key(VK_END);
        tap_key(VK_HOME, true);
        type_text(text);
        pump_for(300);
        ASSERT_EQ(field_text(), text);
    }
    std::wstring field_text() const {
        wchar_t text[512] = {};
        GetWindowTextW(control(page::id_folder_field), text, 512);
        return text;
    }
    LRESULT selected(int id) const { return SendMessageW(control(id), CB_GETCURSEL, 0, 0); }
    // Opens the list and moves to the entry with the arrow keys, as a user would.
    void choose(int id, LRESULT index) {
        click(id);
        for (LRESULT at = selected(id); at != index; at += at < index ? 1 : -1) tap_key(at < index ? VK_DOWN : VK_UP);
        tap_key(VK_RETURN);
        pump_for(300);
        ASSERT_EQ(selected(id), index);
    }
    LRESULT card_index(const std::u16string& root) const {
        for (size_t i = 0; i < drive_list.size(); ++i)
            if (drive_list[i].root_path == root) return static_cast<LRESULT>(i);
        return -1;
    }
    void choose_card(const std::u16string& root) {
        LRESULT index = card_index(root);
        ASSERT_GE(index, 0) << "the prepared prefix lists drive " << ansi(std::wstring(root.begin(), root.end()));
        choose(page::id_card_list, index);
    }
    bool is_scan_page_shown() const { return window_->current_page() == window_->scan_page(); }
    // The scan page behind its window, found as the window framework stores it.
    scan_state_t scan_state() const {
        auto* scan = reinterpret_cast<recovery_window_c*>(GetWindowLongPtrW(window_->scan_page(), GWLP_USERDATA));
        return scan ? scan->scan_state() : scan_state_t::idle;
    }
    // Presses next and says whether the scan page came up. Drive X: of the test prefix is a folder
    // of the disk the cache folder is on, so its size is the disk's and the free-space warning
    // comes up for it: OK goes on.
    bool press_next() {
        warning_answer_c answer(warning_answer_c::answer_t::ok);
        click(page::id_next);
        if (answer.was_shown()) pump_until([&] { return is_scan_page_shown(); }, 3000);
        return is_scan_page_shown();
    }

    temp_folder_c folder_{L"options"};
    std::wstring out_, cache_;
    wchar_t previous_folder_[MAX_PATH] = {};
    std::unique_ptr<main_window_c> window_;
};

}  // namespace

TEST_F(option_page, the_checks_come_in_their_order_and_a_good_choice_sends_the_request_it_built) {
    drive_list.clear();  // no card at all until the user refreshes
    open_options_page();
    EXPECT_EQ(SendMessageW(control(page::id_card_list), CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(control(page::id_camera_list), CB_GETCOUNT, 0, 0), 40);
    EXPECT_FALSE(press_next());
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("no_card")}) << "no card and no kind: only the first";
    EXPECT_EQ(shown_modes[0], mode_warning);

    click(page::id_refresh);
    EXPECT_EQ(SendMessageW(control(page::id_card_list), CB_GETCOUNT, 0, 0), LRESULT(drive_list.size()));
    choose_card(u"X:\\");
    click(page::id_refresh);
    EXPECT_EQ(selected(page::id_card_list), 0) << "a refresh selects the first entry again";
    choose_card(u"X:\\");

    shown_texts.clear();
    search_request.want_photo = 7;
    EXPECT_FALSE(press_next());
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("option_msg")});
    EXPECT_EQ(search_request.want_photo + search_request.want_video + search_request.want_audio, 0);

    click(page::id_video);
    type_into_field(folder_ / L"missing");
    shown_texts.clear();
    EXPECT_FALSE(press_next());
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("option_no_dir")});
    EXPECT_EQ(settings.recovery_path, u16(out_));

    // The recovery folder C:\...\Out against the cache folder c:\...\out is refused; the field's
    // text stays in memory only.
    type_into_field(out_);
    click(page::id_cache_radio);
    EXPECT_EQ(field_text(), cache_);
    std::wstring lower = out_;
    CharLowerW(lower.data());
    type_into_field(lower);
    shown_texts.clear();
    EXPECT_FALSE(press_next());
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("next_failed")});
    EXPECT_EQ(settings.cache_path, u16(lower));
    EXPECT_EQ(stored_text(L"CachePath"), cache_);

    // A camera brand changes nothing that is sent or saved; C:\...\Out\ is another text and goes on.
    choose(page::id_camera_list, 3);
    type_into_field(out_ + L"\\");
    shown_texts.clear();
    EXPECT_TRUE(press_next());
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("scan_no_engine")}) << "only the scan page's";
    EXPECT_EQ(search_request.want_photo, 0);
    EXPECT_EQ(search_request.want_video, 1);
    EXPECT_EQ(search_request.want_audio, 0);
    EXPECT_EQ(std::string(search_request.cache_dir), ansi(out_ + L"\\"));
    EXPECT_EQ(std::string(search_request.volume), to_ansi(drive_list[card_index(u"X:\\")].volume_name));
    EXPECT_EQ(stored_text(L"CachePath"), out_ + L"\\");
    EXPECT_EQ(stored_text(L"RecoveryPath"), out_);
    EXPECT_EQ(stored_text(L"language"), L"English");
}

TEST_F(option_page, a_refused_radio_click_keeps_the_field_and_back_keeps_the_saved_cache_folder) {
    open_options_page();
    click(page::id_cache_radio);
    EXPECT_EQ(field_text(), cache_);
    std::wstring typed = folder_ / L"typed";
    CreateDirectoryW(typed.c_str(), nullptr);
    type_into_field(typed);
    click(page::id_back);
    EXPECT_EQ(window_->current_page(), window_->home_page());
    EXPECT_EQ(settings.cache_path, u16(cache_)) << "back keeps the old value";
    EXPECT_EQ(stored_text(L"CachePath"), cache_);
    SendMessageW(window_->hwnd(), UM_SHOW_OPTIONS, 0, 0);
    pump_for(200);
    EXPECT_EQ(field_text(), typed) << "nothing is reset when the page is shown again";

    // The radio mark moves, but the field keeps its text and still stands for the cache folder.
    type_into_field(folder_ / L"missing");
    click(page::id_recovery_radio);
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("option_no_dir")});
    EXPECT_EQ(IsDlgButtonChecked(window_->options_page(), page::id_recovery_radio), UINT(BST_CHECKED));
    EXPECT_EQ(field_text(), folder_ / L"missing");

    type_into_field(typed);
    click(page::id_photo);
    choose_card(u"X:\\");
    EXPECT_TRUE(press_next());
    EXPECT_EQ(stored_text(L"CachePath"), typed);
    EXPECT_EQ(stored_text(L"RecoveryPath"), out_);
}

TEST_F(option_page, a_cache_folder_on_no_listed_drive_never_warns_about_space) {
    store_text(L"CachePath", L"Q:\\cache");
    open_options_page();
    choose_card(u"X:\\");
    click(page::id_audio);
    warning_answer_c answer(warning_answer_c::answer_t::cancel);
    EXPECT_TRUE(press_next());
    EXPECT_FALSE(answer.was_shown());
    EXPECT_STREQ(search_request.cache_dir, "Q:\\cache");
}

TEST_F(option_page, the_free_space_warning_cancel_starts_nothing_and_its_close_button_goes_on) {
    // The cache folder on X: has less room than the whole of drive Z:.
    std::wstring on_x = L"X:\\options_cache";
    CreateDirectoryW(on_x.c_str(), nullptr);
    store_text(L"CachePath", on_x);
    open_options_page();
    choose_card(u"Z:\\");
    ASSERT_FALSE(cache_has_room(static_cast<int>(card_index(u"Z:\\"))));
    click(page::id_photo);
    {
        warning_answer_c answer(warning_answer_c::answer_t::cancel);
        click(page::id_next);
        EXPECT_TRUE(pump_until([&] { return answer.was_shown(); }));
        pump_for(500);
    }
    EXPECT_FALSE(is_scan_page_shown());
    EXPECT_EQ(search_request.volume[0], '\0');
    {
        warning_answer_c answer(warning_answer_c::answer_t::caption_close);
        click(page::id_next);
        EXPECT_TRUE(pump_until([&] { return is_scan_page_shown(); }));
        EXPECT_TRUE(answer.was_shown());
    }
    EXPECT_EQ(std::string(search_request.cache_dir), ansi(on_x));
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("scan_no_engine")}) << "only the scan page's";
    RemoveDirectoryW(on_x.c_str());
}

TEST_F(option_page, folders_on_the_card_are_refused_or_asked_about_and_a_search_keeps_the_users_files) {
    CreateDirectoryW((folder_ / L"Ember").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((programs_folder() + L"\\Ember\\embsrv.exe").c_str(), (folder_ / L"Ember\\embsrv.exe").c_str(), FALSE));
    open_options_page();
    choose_card(u"X:\\");
    click(page::id_video);

    // The engine would write its finds onto the card it reads: refused before anything starts.
    click(page::id_cache_radio);
    type_into_field(L"X:\\");
    EXPECT_FALSE(press_next());
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("cache_on_card")});
    EXPECT_FALSE(is_folder(L"X:\\tmp"));

    // Copies onto the card could overwrite other lost files: the user is asked, and No stops.
    type_into_field(cache_);
    click(page::id_recovery_radio);
    type_into_field(L"X:\\");
    shown_texts.clear();
    EXPECT_FALSE(press_next());
    EXPECT_EQ(shown_texts, std::vector<std::u16string>{lookup_text("recovery_on_card")});
    EXPECT_EQ(shown_modes.back(), mode_question);
    EXPECT_EQ(settings.recovery_path, u"X:\\");
    EXPECT_EQ(stored_text(L"RecoveryPath"), out_);

    // A search over a cache folder the user keeps files in, with a find of an earlier scan in a
    // work folder the program made (marked).
    type_into_field(out_);
    for (const wchar_t* folder : {L"tmp", L"tmp_projects"}) CreateDirectoryW((cache_ + L"\\" + folder).c_str(), nullptr);
    const wchar_t* users_files[] = {L"tmp_invoice.pdf", L"tmp.txt", L"tmp_projects\\holiday.jpg"};
    for (const wchar_t* name : users_files) ASSERT_TRUE(write_file(cache_ + L"\\" + name, "the user's"));
    ASSERT_TRUE(write_file(cache_ + L"\\tmp\\.tessera_work", ""));
    ASSERT_TRUE(write_file(cache_ + L"\\tmp\\f0000008.jpg", "an earlier find"));
    std::string photo = read_fixture("tests/engine/fixtures/card_photo.jpg");
    std::string video = read_fixture("tests/ember/fixtures/video/clip.avi");
    ASSERT_FALSE(photo.empty() || video.empty());
    card_patch_c photo_patch(card_image_path(), 20000, photo), video_patch(card_image_path(), 24000, video);
    ASSERT_TRUE(photo_patch.ok() && video_patch.ok());

    shown_texts.clear();
    EXPECT_TRUE(press_next());
    EXPECT_TRUE(shown_texts.empty());
    std::string found = ansi(cache_) + "\\tmp\\f0024000.avi";
    auto queued = [] {
        queue_lock_c lock;
        std::vector<std::string> paths;
        for (size_t i = 0; i < found_queue().size(); ++i) paths.push_back(found_queue().at(i).path);
        return paths;
    };
    ASSERT_TRUE(pump_until([&] { return scan_state() == scan_state_t::idle; }, 60000));
    EXPECT_EQ(queued(), std::vector<std::string>{found}) << "only the video was asked for";
    EXPECT_EQ(read_all(found), video);
    for (const wchar_t* name : users_files) EXPECT_TRUE(GetFileAttributesW((cache_ + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES) << ansi(name);
    EXPECT_EQ(GetFileAttributesW((cache_ + L"\\tmp\\f0000008.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    WIN32_FIND_DATAW entry;
    EXPECT_TRUE(pump_until([&] {
        remove_emptied_set_aside_folders(u16(cache_));  // as the program does when it ends
        HANDLE find = FindFirstFileW((cache_ + L"\\~tmp.*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        return find == INVALID_HANDLE_VALUE;
    })) << "the earlier scan's folder is set aside and deleted";
}

// Windows' radio buttons tell their parent of a click whenever they get the focus unchecked, so
// also when a press gives it to them, with the button still down; the release that checks the
// radio tells again. Wine's do not tell of the focus; the radio is given that habit here.
LRESULT CALLBACK windows_radio(HWND radio, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (message == WM_SETFOCUS && SendMessageW(radio, BM_GETCHECK, 0, 0) == BST_UNCHECKED)
        SendMessageW(GetParent(radio), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(radio), BN_CLICKED),
                     reinterpret_cast<LPARAM>(radio));
    return DefSubclassProc(radio, message, wp, lp);
}

TEST_F(option_page, one_radio_click_on_a_missing_folder_shows_one_real_box_and_moves_the_mark) {
    open_options_page();
    type_into_field(folder_ / L"missing");
    set_message_shower(nullptr);
    HWND radio = control(page::id_cache_radio);
    ASSERT_TRUE(SetWindowSubclass(radio, windows_radio, 1, 0));
    {
        box_counter_c boxes;
        click(page::id_cache_radio);
        pump_for(2000);
        EXPECT_EQ(boxes.count(), 1) << "option_no_dir, once";
    }
    RemoveWindowSubclass(radio, windows_radio, 1);
    EXPECT_EQ(IsDlgButtonChecked(window_->options_page(), page::id_cache_radio), UINT(BST_CHECKED))
        << "the box came with the release, not in the middle of the click";
    EXPECT_EQ(field_text(), folder_ / L"missing") << "the field keeps what the user typed";
}
