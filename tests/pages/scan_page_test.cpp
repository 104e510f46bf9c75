// The scan page and its thumbnail grid in this process, on real windows driven by the real mouse:
// finds filed from the queue by the page's tick with the real thumbnail worker, the grid's rules
// (content height, the scroll clamp, clicks on the picture and tick bands, the wheel, groups,
// placeholders), the context menu, recovering ticked files into a real folder, a message box
// opened in the middle of a tick, the bounded number of loaded thumbnails, and closing or leaving
// the page while a recovery runs.
#include <gtest/gtest.h>


#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/text_format.h"
#include "engine/found_queue_win.h"
#include "engine/saved_name.h"
#include "media/grid_geometry.h"
#include "pages/drive_list.h"
#include "picture/picture_io_win.h"
#include "picture/picture_win.h"
#include "media/thumbnail_win.h"
#include "res/resource.h"
#include "support/sample_card_win.h"
#include "support/process_win.h"
#include "support/scan_page_fixture_win.h"
#include "ui/bitmap_button_win.h"

namespace {

using scan_page = scan_page_fixture;

void wheel(HWND window, int notches) {
    POINT p = on_screen(window, 100, 100);
    mouse_to(p.x, p.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA * notches);  // positive: towards the user
    SendInput(1, &input, sizeof input);
    pump_for(150);
}

int32_t selected_of(size_t index) {
    queue_lock_c lock;
    return found_queue().at(index).selected;
}

bool has_thumbnail(size_t index) {
    queue_lock_c lock;
    return found_queue().at(index).thumb_image != nullptr;
}

// Whether the grid shows the skin bitmap `id` at client (x, y), read back from the screen.
bool shows_bitmap(HWND grid, int id, int x, int y) {
    bitmap_c expected = load_skin_bitmap(id);
    SIZE size = bitmap_size(expected.get());
    HDC screen = GetDC(grid);
    dc_c memory(CreateCompatibleDC(screen));
    select_object_c chosen(memory.get(), expected.get());
    int matches = 0, samples = 0;
    for (int sy = 5; sy < size.cy; sy += 17) {
        for (int sx = 5; sx < size.cx; sx += 23) {
            ++samples;
            if (GetPixel(screen, x + sx, y + sy) == GetPixel(memory.get(), sx, sy)) ++matches;
        }
    }
    ReleaseDC(grid, screen);
    return matches == samples;
}

// A real key press, with Ctrl held around it when asked, then the messages it causes.
void press(WORD key, bool with_control = false) {
    INPUT inputs[4] = {};
    UINT count = 0;
    auto add = [&](WORD vk, bool up) {
        inputs[count].type = INPUT_KEYBOARD;
        inputs[count].ki.wVk = vk;
        inputs[count].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        ++count;
    };
    if (with_control) add(VK_CONTROL, false);
    add(key, false);
    add(key, true);
    if (with_control) add(VK_CONTROL, true);
    SendInput(count, inputs, sizeof(INPUT));
    pump_for(150);
}

// A real click whose own mouse messages alone are dispatched: no timer and no posted paint runs.
void click_without_timers(HWND window, int x, int y) {
    POINT p = on_screen(window, x, y);
    click_at(p.x, p.y);
    bool is_released = false;
    ULONGLONG deadline = GetTickCount64() + 3000;
    while (!is_released && GetTickCount64() < deadline) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
            DispatchMessageW(&msg);
            is_released = is_released || msg.message == WM_LBUTTONUP;
        }
        Sleep(5);
    }
}

const std::string photo_bytes = read_all(L"Z:" TESSERA_MEDIA_FIXTURES "/quad_400x300.jpg");

}  // namespace

TEST_F(scan_page, files_are_filed_by_extension_and_clicks_focus_and_tick_cells) {
    ASSERT_FALSE(photo_bytes.empty());
    for (int i = 0; i < 5; ++i) queue(L"f" + std::to_wstring(i) + L".jpg", photo_bytes + char('0' + i));
    queue(L"F5.JPG");
    queue(L"f6.mov", "not a film");
    show_results();
    EXPECT_EQ(TreeView_GetCount(page_->tree()), 6u) << "three roots, jpg and JPG apart, mov";
    ASSERT_NE(find_item(page_->tree(), u"JPG"), nullptr);
    EXPECT_EQ(grid().group_name(), "photo");
    EXPECT_EQ(grid().shown_count(), 6u);
    EXPECT_EQ(grid().content_height(), 232);
    EXPECT_EQ(page_->view_total(), 6);
    ASSERT_TRUE(pump_until([&] { return grid().loaded_thumbnails() == 5; })) << "the worker's thumbnails appear";

    click(grid_window(), 150, 50);
    EXPECT_EQ(page_->current(), 1) << "the picture band focuses cell 1";
    click(grid_window(), 150, 100);
    EXPECT_EQ(selected_of(1), 1) << "the tick band ticks it";
    EXPECT_EQ(page_->view_ticked(), 1);
    click(grid_window(), 150, 100 + 111);
    EXPECT_EQ(selected_of(4), 1);
    click(grid_window(), 150, 100 + 111);
    EXPECT_EQ(selected_of(4), 0) << "a second click unticks";
    click(grid_window(), 425, 50);
    click(grid_window(), 150, 5);
    click(grid_window(), 20, 10 + 83);
    EXPECT_EQ(grid().current_cell(), 1) << "right of the columns, above the first row and the gap hit nothing";
    EXPECT_EQ(page_->view_ticked(), 1);
    wheel(grid_window(), 1);
    EXPECT_EQ(grid().scroll_pos(), 0) << "two rows fit: the wheel does nothing";

    ASSERT_TRUE(click_item(page_->tree(), find_item(page_->tree(), u"Photos")));
    EXPECT_EQ(grid().current_cell(), 1) << "choosing the shown group again changes nothing";
    ASSERT_TRUE(click_item(page_->tree(), find_item(page_->tree(), u"JPG")));
    EXPECT_EQ(grid().group_name(), "JPG");
    EXPECT_EQ(grid().shown_count(), 1u);
    EXPECT_EQ(grid().current_cell(), -1);
    pump_for(300);
    EXPECT_TRUE(shows_bitmap(grid_window(), IDB_PLACEHOLDER_RAW, 10, 10))
        << "an upper-case photo extension without thumbnail shows the camera";
    ASSERT_TRUE(click_item(page_->tree(), find_item(page_->tree(), u"mov")));
    EXPECT_EQ(grid().group_name(), "mov");
    EXPECT_TRUE(shows_bitmap(grid_window(), IDB_PLACEHOLDER_VIDEO, 10, 10));
    EXPECT_TRUE(shown_boxes.empty());
}

TEST_F(scan_page, ticked_files_are_recovered_byte_for_byte_under_their_queue_numbers) {
    for (int i = 0; i < 4; ++i) queue(L"f" + std::to_wstring(i) + L".jpg", photo_bytes + std::string(size_t(i + 1), 'x'));
    show_results();
    click(grid_window(), 20, 100);            // cell 0
    click(grid_window(), 150, 100 + 111);     // cell 4 does not exist: nothing
    click(grid_window(), 20, 100 + 111);      // cell 3
    EXPECT_EQ(page_->view_ticked(), 2);
    click(page_->control(id_scan_recover), 20, 20);
    ASSERT_TRUE(pump_until([&] { return !shown_boxes.empty(); }));
    EXPECT_EQ(shown_boxes[0].mode, mode_done);
    EXPECT_NE(shown_boxes[0].text.find(u"2"), std::u16string::npos);
    EXPECT_EQ(window_.step(), 3) << "the main window marks the third step";
    std::wstring recovered = folder_ / L"recovered";
    EXPECT_EQ(read_all(recovered + L"\\FILE00000.jpg"), read_all(folder_ / L"f0.jpg"));
    EXPECT_EQ(read_all(recovered + L"\\FILE00003.jpg"), read_all(folder_ / L"f3.jpg"));
    EXPECT_TRUE(read_all(recovered + L"\\FILE00001.jpg").empty());

    // Tick all, then untick all with the check box: nothing ticked and no current cell.
    click(page_->control(id_scan_all), 5, 10);
    EXPECT_EQ(page_->view_ticked(), 4);
    click(page_->control(id_scan_all), 5, 10);
    EXPECT_EQ(page_->view_ticked(), 0);
    click(page_->control(id_scan_recover), 20, 20);
    ASSERT_TRUE(pump_until([&] { return shown_boxes.size() == 2; }));
    EXPECT_EQ(shown_boxes[1].mode, mode_warning);
    EXPECT_EQ(shown_boxes[1].text, lookup_text("no_selection"));
}

TEST_F(scan_page, the_wheel_the_bar_and_the_menu_work_on_ten_rows) {
    for (int i = 0; i < 30; ++i) queue(L"f" + std::to_wstring(i) + L".jpg");
    show_results();
    EXPECT_EQ(grid().content_height(), 1120);
    EXPECT_EQ(grid().page_height(), 342);
    UINT lines = 0;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
    ASSERT_GE(lines, 1u);
    ASSERT_LE(lines, 7u) << "one notch stays inside the content";
    click(grid_window(), 20, 50);  // the grid takes the focus, and so the wheel
    wheel(grid_window(), 1);
    EXPECT_EQ(grid().scroll_pos(), int32_t(lines) * 111) << "a notch moves the system's wheel lines in cell rows";
    wheel(grid_window(), -1);
    EXPECT_EQ(grid().scroll_pos(), 0);
    wheel(grid_window(), 100);
    EXPECT_EQ(grid().scroll_pos(), 779) << "kept at content - page + 1";
    RECT bar{};
    GetWindowRect(grid_window(), &bar);
    click_at(bar.right - GetSystemMetrics(SM_CXVSCROLL) / 2, bar.top + GetSystemMetrics(SM_CYVSCROLL) / 2);
    pump_for(150);
    EXPECT_EQ(grid().scroll_pos(), 769) << "the bar's up arrow moves 10 pixels";
    // At 769 the row whose top is 7 x 111 + 10 - 769 = 18 holds cells 21 to 23.
    click(grid_window(), 20, 18 + 90);
    EXPECT_EQ(selected_of(21), 1);

    std::thread keys([] {
        Sleep(600);  // the menu's own loop runs meanwhile
        for (WORD key : {WORD(VK_DOWN), WORD(VK_RETURN)}) {
            INPUT input[2] = {};
            input[0].type = input[1].type = INPUT_KEYBOARD;
            input[0].ki.wVk = input[1].ki.wVk = key;
            input[1].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(2, input, sizeof(INPUT));
            Sleep(100);
        }
    });
    POINT p = on_screen(grid_window(), 200, 200);
    mouse_to(p.x, p.y);
    INPUT right[2] = {};
    right[0].type = right[1].type = INPUT_MOUSE;
    right[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    right[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, right, sizeof(INPUT));
    pump_until([&] { return page_->view_ticked() == 30; }, 5000);
    keys.join();
    EXPECT_EQ(page_->view_ticked(), 30) << "Select All from the context menu";
    EXPECT_EQ(page_->view_total(), 30);
}

// "Select all" says whether every file of the shown group is ticked, whatever changed it; a tick
// shows before any timer runs; the details column empties with a group that lacks its record.
TEST_F(scan_page, select_all_the_ticks_and_the_details_stay_in_step_with_the_shown_group) {
    for (int i = 0; i < 7; ++i) queue(L"f" + std::to_wstring(i) + L".jpg");
    queue(L"a.wav");
    queue(L"b.wav");
    show_results();
    auto is_all_ticked = [&] { return IsDlgButtonChecked(page_->hwnd(), int(id_scan_all)) == BST_CHECKED; };
    EXPECT_FALSE(is_all_ticked());

    click_without_timers(grid_window(), 20, 100);
    EXPECT_TRUE(shows_bitmap(grid_window(), IDB_TICK_DONE, 10, 10 + tick_band_first)) << "the tick shows at once";
    click_without_timers(page_->control(id_scan_all), 5, 10);
    EXPECT_TRUE(shows_bitmap(grid_window(), IDB_TICK_DONE, 284, 10 + tick_band_first)) << "select all's ticks at once";
    EXPECT_EQ(page_->view_ticked(), 7);
    EXPECT_TRUE(is_all_ticked());
    click_without_timers(grid_window(), 20, 100);
    EXPECT_TRUE(shows_bitmap(grid_window(), IDB_TICK_EMPTY, 10, 10 + tick_band_first)) << "the untick too";
    EXPECT_FALSE(is_all_ticked()) << "one file of the group unticked";
    click(grid_window(), 20, 100);
    EXPECT_TRUE(is_all_ticked()) << "every file ticked one by one";

    click(grid_window(), 150, 50);
    EXPECT_EQ(page_->current(), 1);
    ASSERT_TRUE(click_item(page_->tree(), find_item(page_->tree(), u"Audio")));
    EXPECT_EQ(page_->current(), -1) << "the details of a photo leave with the photos";
    EXPECT_FALSE(is_all_ticked()) << "nothing of the audio group is ticked";

    // The keys tick the focus cell and the group.
    click(grid_window(), 20, 50);
    EXPECT_EQ(page_->current(), 7);
    press(VK_RIGHT);
    EXPECT_EQ(page_->current(), 8) << "the details follow the focus cell";
    press(VK_SPACE);
    press(VK_LEFT);
    press(VK_SPACE);
    EXPECT_EQ(selected_of(7) + selected_of(8), 2);
    EXPECT_TRUE(is_all_ticked());
    press(VK_SPACE);
    EXPECT_FALSE(is_all_ticked());
    press('A', true);
    EXPECT_EQ(page_->view_ticked(), 2) << "Ctrl+A ticks the group";
    EXPECT_TRUE(is_all_ticked());

    ASSERT_TRUE(click_item(page_->tree(), find_item(page_->tree(), u"Photos")));
    EXPECT_TRUE(is_all_ticked());
    queue(L"f7.jpg");
    ASSERT_TRUE(pump_until([&] { return page_->shown() == 10; }));
    EXPECT_FALSE(is_all_ticked()) << "a new find comes unticked";
    click(page_->control(id_scan_all), 5, 10);
    EXPECT_TRUE(is_all_ticked());
    click(page_->control(id_scan_home), 20, 15);
    EXPECT_FALSE(is_all_ticked()) << "the next results start unticked";
}

TEST_F(scan_page, the_keys_move_a_framed_focus_cell_kept_in_view) {
    for (int i = 0; i < 30; ++i) queue(L"f" + std::to_wstring(i) + L".jpg");
    show_results();
    auto focus_row_in_view = [&] {
        int32_t y = cell_position(size_t(grid().current_cell()), grid().scroll_pos()).y;
        return y >= 0 && y + tick_band_last <= grid().page_height();
    };
    click(grid_window(), 150, 50);
    EXPECT_EQ(grid().current_cell(), 1);
    HDC screen = GetDC(grid_window());
    EXPECT_EQ(GetPixel(screen, 147 - 2, 60), GetSysColor(COLOR_HIGHLIGHT)) << "the focus cell is framed";
    ReleaseDC(grid_window(), screen);
    press(VK_DOWN);
    EXPECT_EQ(grid().current_cell(), 4);
    press(VK_NEXT);
    EXPECT_EQ(grid().current_cell(), 13);
    EXPECT_TRUE(focus_row_in_view());
    EXPECT_GT(grid().scroll_pos(), 0);
    press(VK_END);
    EXPECT_EQ(grid().current_cell(), 29);
    EXPECT_TRUE(focus_row_in_view());
    press(VK_UP);
    EXPECT_EQ(grid().current_cell(), 26);
    press(VK_HOME);
    EXPECT_EQ(grid().current_cell(), 0);
    EXPECT_EQ(grid().scroll_pos(), 0);
    press(VK_SPACE);
    EXPECT_EQ(selected_of(0), 1);
    EXPECT_EQ(page_->view_ticked(), 1);
}

// Classifying an extension in no table opens a message box in the middle of the tick: the queue
// lock must be free meanwhile, and the ticks that the box's loop delivers must not file again.
TEST_F(scan_page, a_message_box_in_the_tick_holds_no_lock_and_no_second_tick_files) {
    queue(L"a.xyz");
    queue(L"b.xyz");
    queue(L"c.jpg");
    static std::atomic<bool> is_lock_free{false};
    static int boxes_open = 0, most_open = 0;
    is_lock_free = false;
    while_box_open = [] {
        most_open = std::max(most_open, ++boxes_open);
        std::thread taker([] {
            queue_lock_c lock;
            is_lock_free = true;
        });
        pump_for(700);  // several 200 ms ticks reach the page meanwhile
        taker.join();
        --boxes_open;
    };
    show_results();
    EXPECT_TRUE(is_lock_free) << "the reader and the worker could append meanwhile";
    EXPECT_EQ(most_open, 1) << "no tick started filing while the box was open";
    ASSERT_EQ(shown_boxes.size(), 1u) << "asked once for the extension, not once per file";
    EXPECT_EQ(shown_boxes[0].text, format_text(lookup_text("unknown_type"), {u"xyz"})) << "what it means, in words";
    EXPECT_EQ(shown_boxes[0].mode, mode_error);
    EXPECT_NE(find_item(page_->tree(), u"xyz"), nullptr);
    EXPECT_EQ(TreeView_GetParent(page_->tree(), find_item(page_->tree(), u"xyz")), nullptr) << "at the top level";
    ASSERT_TRUE(click_item(page_->tree(), find_item(page_->tree(), u"Videos")));
    EXPECT_EQ(grid().shown_count(), 2u) << "files of no kind join the videos";
}

// However far one scrolls, at most max_loaded_thumbnails thumbnails stay loaded; a cell that comes
// back near the view gets its thumbnail again.
TEST_F(scan_page, loaded_thumbnails_stay_bounded_and_come_back_near_the_view) {
    const int count = 900;
    std::string thumbnail;
    {
        picture_t picture;
        ASSERT_EQ(create_picture(picture, 117, 82, 24), 0);
        save_thumbnail(picture, from_wide((folder_ / L"thumb_model.png").c_str()), {});
        thumbnail = read_all(folder_ / L"thumb_model.png");
        ASSERT_FALSE(thumbnail.empty());
    }
    for (int i = 0; i < count; ++i) {
        std::wstring stem = L"f" + std::to_wstring(i);
        std::ofstream((folder_ / (L"thumb_" + stem + L".png")).c_str(), std::ios::binary) << thumbnail;
        queue(stem + L".jpg");
    }
    show_results();
    ASSERT_TRUE(pump_until([&] {
        queue_lock_c lock;
        return found_queue().thumbs_done == count;
    }));
    // The tick hands the files to the grid's reader, whose pictures arrive with its message.
    auto read_thumbnails = [&] {
        SendMessageW(grid_window(), WM_TIMER, grid_thumbnail_timer_id, 0);
        ASSERT_TRUE(pump_until([&] { return !grid().is_reading_thumbnails(); }));
    };
    long pictures_before = live_pictures();
    size_t most_loaded = 0;
    long most_pictures = 0;
    while (grid().scroll_pos() < grid().content_height() - grid().page_height()) {
        SendMessageW(grid_window(), WM_VSCROLL, SB_PAGEDOWN, 0);
        read_thumbnails();
        most_loaded = std::max(most_loaded, grid().loaded_thumbnails());
        most_pictures = std::max(most_pictures, live_pictures());
    }
    EXPECT_EQ(most_loaded, max_loaded_thumbnails);
    EXPECT_LE(most_pictures - pictures_before, long(max_loaded_thumbnails));
    EXPECT_TRUE(has_thumbnail(count - 1));
    EXPECT_FALSE(has_thumbnail(0)) << "released when it went far from the view";
    grid().scroll_to(0);
    read_thumbnails();
    EXPECT_TRUE(has_thumbnail(0)) << "loaded again near the view";
    EXPECT_LE(grid().loaded_thumbnails(), max_loaded_thumbnails);
}

TEST_F(scan_page, in_german_the_scan_buttons_sit_fifty_pixels_further_right) {
    auto place_of = [](HWND page, HWND control) {
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
        return POINT{rect.left, rect.top};
    };
    HWND english = window_.scan_page();
    EXPECT_EQ(place_of(english, page_->control(id_scan_toggle)).x, 350);
    EXPECT_EQ(place_of(english, page_->control(id_scan_stop)).x, 450);

    std::string file = read_all(L"Z:" TESSERA_BIN_DIR "/language.ini");
    language_table().clear();
    language_table().load(file, u"Deutsch", true);
    language_table().load(file, u"English", false);
    {
        main_window_c german;
        RECT rect{0, 0, main_window_width, main_window_height};
        ASSERT_NE(german.create(nullptr, rect, L"Tessera", WS_CAPTION | WS_CLIPCHILDREN), nullptr);
        HWND page = german.scan_page();
        EXPECT_EQ(place_of(page, GetDlgItem(page, id_scan_toggle)).x, 400);
        EXPECT_EQ(place_of(page, GetDlgItem(page, id_scan_stop)).x, 500);
        EXPECT_EQ(place_of(page, GetDlgItem(page, id_scan_stop)).y, 25);
        DestroyWindow(german.hwnd());
    }
    language_table().clear();
    language_table().load(file, u"English", true);
}

TEST_F(scan_page, leaving_by_home_or_back_empties_the_page_and_the_queue) {
    for (const UINT button : {id_scan_home, id_scan_back}) {
        queue(L"a.jpg");
        queue(L"b.wav");
        show_results();
        EXPECT_EQ(TreeView_GetCount(page_->tree()), 5u);
        click(page_->control(button), 20, 15);
        EXPECT_TRUE(shown_boxes.empty()) << "nothing runs: no question";
        EXPECT_EQ(window_.current_page(), button == id_scan_home ? window_.home_page() : window_.options_page());
        EXPECT_EQ(TreeView_GetCount(page_->tree()), 3u) << "the three roots only";
        EXPECT_EQ(page_->shown(), 0u);
        EXPECT_EQ(page_->current(), -1);
        EXPECT_EQ(grid().shown_count(), 0u);
        queue_lock_c lock;
        EXPECT_EQ(found_queue().size(), 0u);
    }
}

namespace {

// A recovery caught while it runs. The first ticked file is large (sparse where it is read
// from), and the queue lock, held by this thread until a test lets go, keeps the recovery from
// starting; the temporary file of the large copy shows that it is under way.
std::optional<queue_lock_c> held_queue;
std::wstring recovery_folder;

bool has_temporary_file() {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((recovery_folder + L"\\~*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

class recovering_page : public scan_page_fixture {
protected:
    void SetUp() override {
        scan_page_fixture::SetUp();
        recovery_folder = folder_ / L"recovered";
        std::wstring large = folder_ / L"large.jpg";
        file_handle_c file(CreateFileW(large.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        LARGE_INTEGER size{};
        size.QuadPart = 256ll << 20;
        ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
        file.reset();
        queue(L"large.jpg");
        for (int i = 0; i < 3; ++i) queue(L"f" + std::to_wstring(i) + L".jpg", photo_bytes + std::string(size_t(i), 'x'));
        show_results();
        click(page_->control(id_scan_all), 5, 10);
        ASSERT_EQ(page_->view_ticked(), 4);
    }
    void TearDown() override {
        held_queue.reset();
        scan_page_fixture::TearDown();
    }
    void start_held_recovery() {
        held_queue.emplace();
        click(page_->control(id_scan_recover), 20, 20);
        ASSERT_TRUE(grid().is_recovering());
    }
    // Every file in the recovery folder is a whole copy of a found file; `count` of them.
    void expect_whole_files(size_t count) {
        std::vector<std::wstring> names = recovered_files_in(recovery_folder);
        EXPECT_EQ(names.size(), count);
        for (const std::wstring& name : names) {
            EXPECT_NE(name[0], L'~') << "a temporary file stays";
            int index = _wtoi(name.c_str() + 4);
            queue_lock_c lock;
            ASSERT_LT(size_t(index), found_queue().size());
            EXPECT_EQ(read_all(recovery_folder + L"\\" + name), read_all(wide(from_ansi(found_queue().at(size_t(index)).path))));
        }
    }
};

}  // namespace

TEST_F(recovering_page, closing_during_a_recovery_asks_first_and_stops_it_leaving_only_whole_files) {
    start_held_recovery();
    click(page_->control(id_scan_close), 20, 15);
    ASSERT_EQ(shown_boxes.size(), 1u) << "the question";
    ASSERT_FALSE(lookup_text("recovery_close_confirm").empty());
    EXPECT_EQ(shown_boxes[0].text, lookup_text("recovery_close_confirm"));
    EXPECT_EQ(shown_boxes[0].mode, mode_question);
    ASSERT_TRUE(IsWindow(window_.hwnd())) << "declined: the program stays and the recovery goes on";
    held_queue.reset();
    ASSERT_TRUE(pump_until([&] { return shown_boxes.size() == 2; }, 120000));
    EXPECT_EQ(shown_boxes[1].mode, mode_done);
    expect_whole_files(4);

    // Confirmed while the large file is being copied: the window closes with no report, and the
    // copy cut off is not left behind.
    for (const std::wstring& name : files_in(recovery_folder)) DeleteFileW((recovery_folder + L"\\" + name).c_str());
    start_held_recovery();
    box_answer = 1;
    while_box_open = [] {
        held_queue.reset();
        wait_until(has_temporary_file, 30000);
    };
    click(page_->control(id_scan_close), 20, 15);
    EXPECT_FALSE(IsWindow(window_.hwnd()));
    EXPECT_EQ(shown_boxes.size(), 3u) << "only the question";
    EXPECT_FALSE(has_temporary_file());
    expect_whole_files(recovered_files_in(recovery_folder).size());
    EXPECT_LT(recovered_files_in(recovery_folder).size(), 4u);
}

TEST_F(recovering_page, leaving_during_a_recovery_stops_it_and_says_how_many_of_how_many) {
    start_held_recovery();
    held_queue.reset();
    wait_until(has_temporary_file, 30000);
    click(page_->control(id_scan_home), 20, 15);
    EXPECT_EQ(window_.current_page(), window_.home_page());
    ASSERT_EQ(shown_boxes.size(), 1u);
    ASSERT_FALSE(lookup_text("recovery_stopped").empty());
    EXPECT_EQ(shown_boxes[0].text, format_text(lookup_text("recovery_stopped"), {u"0", u"4"}));
    EXPECT_EQ(shown_boxes[0].mode, mode_error);
    EXPECT_FALSE(has_temporary_file());
    EXPECT_TRUE(files_in(recovery_folder).empty());
}

// Runs of the stand-in engine through the page's real buttons: an end short of a clean scan is
// told in words once its finds are on the grid, the strip says what is true at each step, and
// loaded results say what they are.
TEST_F(scan_page, every_end_of_a_run_is_told_and_the_strip_tells_the_truth) {
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    CreateDirectoryW((folder_ / L"Ember").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((programs_folder() + L"\\fake_embsrv.exe").c_str(), (folder_ / L"Ember\\embsrv.exe").c_str(), FALSE));
    SetCurrentDirectoryW(folder_.path().c_str());
    scan_request_t request{};
    std::snprintf(request.cache_dir, sizeof request.cache_dir, "%s", to_ansi(from_wide((folder_ / L"cache").c_str())).c_str());
    std::snprintf(request.volume, sizeof request.volume, "X:\\");
    request.want_photo = 1;
    auto wait_for_box = [&](size_t count) { return pump_until([&] { return shown_boxes.size() == count; }, 20000); };

    SetEnvironmentVariableA("TESSERA_FAKE_ENGINE", "finds=3,exit=8,unreadable=20");
    SendMessageW(window_.hwnd(), UM_SHOW_SCAN_AND_START, 1, reinterpret_cast<LPARAM>(&request));
    ASSERT_TRUE(wait_for_box(1));
    EXPECT_EQ(shown_boxes[0].text, format_text(lookup_text("scan_read_errors"), {format_size(20 * 512)}));
    EXPECT_EQ(page_->shown(), 3u) << "the finds are on the grid when the box tells";
    EXPECT_EQ(page_->strip_text(), format_text(lookup_text("recovery_sector"), {u"30", u"30"}));
    EXPECT_FLOAT_EQ(page_->scan().progress(), 1.0f);

    SetEnvironmentVariableA("TESSERA_FAKE_ENGINE", "finds=2,exit=9");
    click(page_->control(id_scan_toggle), 20, 15);
    ASSERT_TRUE(wait_for_box(2));
    EXPECT_EQ(shown_boxes[1].text, lookup_text("scan_card_lost"));
    EXPECT_EQ(page_->shown(), 2u);
    EXPECT_EQ(page_->strip_text(), format_text(lookup_text("recovery_sector"), {u"10", u"20"}));
    EXPECT_FLOAT_EQ(page_->scan().progress(), 0.5f) << "the bar stays where the card went away";

    DeleteFileW((folder_ / L"Ember\\embsrv.exe").c_str());
    click(page_->control(id_scan_toggle), 20, 15);
    ASSERT_TRUE(wait_for_box(3));
    EXPECT_EQ(shown_boxes[2].text, lookup_text("scan_no_engine"));
    EXPECT_EQ(page_->strip_text(), lookup_text("recovery_no_run")) << "not 'Preparing the search'";
    EXPECT_FALSE(IsWindowVisible(page_->control(id_scan_stop)));
    SetCurrentDirectoryW(previous);
    SetEnvironmentVariableA("TESSERA_FAKE_ENGINE", nullptr);

    click(page_->control(id_scan_home), 20, 15);
    queue(L"a.jpg");
    queue(L"b.wav");
    show_results();
    EXPECT_EQ(page_->strip_text(), format_text(lookup_text("recovery_loaded"), {u"2"}));
    EXPECT_FALSE(page_->is_bar_shown());
    EXPECT_EQ(shown_boxes.size(), 3u);
}

// "Last results" shows the page at once and fills it as the loader lists the earlier finds. The
// loader is held by the queue's lock, which this thread (the page's own) may still take: first at
// its first find, then part-way, while the page is scrolled, clicked and ticked. In the end every
// file is there once and the spinner has stopped.
TEST_F(scan_page, last_results_show_at_once_and_fill_while_the_page_is_used) {
    const std::wstring work = folder_ / L"earlier\\tmp";
    CreateDirectoryW((folder_ / L"earlier").c_str(), nullptr);
    CreateDirectoryW(work.c_str(), nullptr);
    constexpr size_t total = 300;
    for (size_t i = 0; i < total; ++i)
        ASSERT_TRUE(write_file(work + L"\\f" + std::to_wstring(1000000 + i) + L".jpg", "not a picture"));
    auto queued = [] {
        queue_lock_c lock;
        return found_queue().size();
    };

    std::optional<queue_lock_c> hold(std::in_place);
    RECT resume{};
    GetWindowRect(window_.home_window()->resume_button().hwnd(), &resume);
    click_at((resume.left + resume.right) / 2, (resume.top + resume.bottom) / 2);
    ASSERT_TRUE(pump_until([&] { return window_.current_page() == window_.scan_page(); }));
    EXPECT_TRUE(page_->scan().is_loading());
    EXPECT_TRUE(grid().busy) << "the spinner turns over the grid";
    EXPECT_EQ(page_->shown(), 0u);

    hold.reset();
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (queued() < 100 && GetTickCount64() < deadline) Sleep(1);  // closely, so that the loader is caught part-way
    hold.emplace();
    const size_t part = queued();
    ASSERT_LT(part, total) << "the loader was stopped part-way";
    ASSERT_TRUE(pump_until([&] { return page_->shown() == part; })) << "the part listed is filed";
    EXPECT_TRUE(page_->scan().is_loading());
    EXPECT_TRUE(grid().busy);
    EXPECT_EQ(page_->strip_text(), format_text(lookup_text("recovery_loaded"), {from_wide(std::to_wstring(part).c_str())}));

    click(grid_window(), 20, 50);
    wheel(grid_window(), 1);
    EXPECT_GT(grid().scroll_pos(), 0) << "the wheel scrolls the part shown";
    const int32_t top_row = grid().scroll_pos() / 111;
    click(grid_window(), 150, 100 + 111 - grid().scroll_pos() % 111);
    const size_t ticked = size_t(top_row + 1) * 3 + 1;
    EXPECT_EQ(selected_of(ticked), 1) << "a click on a tick band ticks it";
    EXPECT_EQ(page_->view_ticked(), 1);

    hold.reset();
    ASSERT_TRUE(pump_until([&] { return !page_->scan().is_loading(); }, 60000));
    EXPECT_EQ(page_->shown(), total);
    EXPECT_EQ(grid().shown_count(), total);
    EXPECT_FALSE(grid().busy) << "the spinner stopped with the last file";
    std::set<std::string> paths;
    {
        queue_lock_c lock;
        ASSERT_EQ(found_queue().size(), total);
        for (size_t i = 0; i < total; ++i) paths.insert(found_queue().at(i).path);
    }
    EXPECT_EQ(paths.size(), total) << "no file listed twice";
    EXPECT_EQ(selected_of(ticked), 1) << "the tick stays";
    EXPECT_EQ(page_->view_ticked(), 1);
}

// The grid measures each name once and keeps the fitted label: on screen it must read exactly as
// the system's own end ellipsis draws the whole name, for a name that fits and one that does not.
TEST_F(scan_page, cell_labels_read_as_the_system_s_ellipsis_draws_them) {
    const std::string names[2] = {"DCIM\\100CANON\\IMG_0001.JPG",
                                  "DCIM\\100CANON\\Summer holiday at the lake with everyone.jpg"};
    for (const std::string& card_name : names) {
        find_origin_t origin;
        origin.path = card_name;
        origin.is_known = true;
        std::string path = to_ansi(from_wide((folder_ / L"f0001000.jpg").c_str()));
        queue_found_file(path.c_str(), path.size(), &origin);
    }
    show_results();
    pump_for(300);
    const size_t folder_units = settings.recovery_path.size();
    HDC screen = GetDC(grid_window());
    for (int i = 0; i < 2; ++i) {
        std::u16string label = saved_file_name(names[i], "jpg", i, folder_units);
        const int x = i * cell_pitch_x + grid_margin + 20, y = grid_margin + tick_band_first;
        RECT box{0, 0, cell_pitch_x - 26, tick_band_last + 2 - tick_band_first};
        dc_c expected(CreateCompatibleDC(screen));
        bitmap_c canvas(CreateCompatibleBitmap(screen, box.right, box.bottom));
        select_object_c chosen(expected.get(), canvas.get());
        FillRect(expected.get(), &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        select_object_c font(expected.get(), shared_font(font_face::verdana, 8, false));
        SetBkMode(expected.get(), TRANSPARENT);
        DrawTextW(expected.get(), wide(label), static_cast<int>(label.size()), &box,
                  DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_LEFT | DT_TOP);
        int differing = 0;
        for (int py = 0; py < box.bottom; ++py)
            for (int px = 0; px < box.right; ++px)
                if (GetPixel(screen, x + px, y + py) != GetPixel(expected.get(), px, py)) ++differing;
        EXPECT_EQ(differing, 0) << "the label of cell " << i;
    }
    ReleaseDC(grid_window(), screen);
}
