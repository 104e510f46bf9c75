// The main window of this process on the scan page, with the real thumbnail worker, the texts
// of the shipped language file and a recording message box: what the scan page's tests share.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/language.h"
#include "app/main_window_win.h"
#include "base/settings.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "media/thumbnail_win.h"
#include "support/page_input_win.h"
#include "support/temp_folder_win.h"
#include "ui/message_box_win.h"
#include "ui/shared_fonts_win.h"

struct shown_box_t {
    std::u16string text;
    message_mode_t mode;
};
inline std::vector<shown_box_t> shown_boxes;
// What a box does while it is open; a real box runs a modal loop for as long as the user takes.
inline void (*while_box_open)() = nullptr;
// The button the user presses: 0 closes the box, 1 is its first button (Yes to a question).
inline int box_answer = 0;

inline int record_box(HWND, const std::u16string& text, message_mode_t mode) {
    shown_boxes.push_back({text, mode});
    if (while_box_open) while_box_open();
    return box_answer;
}

inline std::string read_all(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class scan_page_fixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
        set_thumbnail_builder(thumbnail_builder);
        CloseHandle(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, thumbnail_worker, nullptr, 0, nullptr)));
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        create_shared_fonts();
        language_table().clear();
        language_table().load(read_all(L"Z:" TESSERA_BIN_DIR "/language.ini"), u"English", true);
    }

    void SetUp() override {
        reset_found_queue();
        settings.recovery_path = from_wide((folder_ / L"recovered").c_str());
        settings.cache_path = from_wide((folder_ / L"earlier").c_str());  // empty unless a test fills it
        CreateDirectoryW((folder_ / L"recovered").c_str(), nullptr);
        set_message_shower(record_box);
        shown_boxes.clear();
        while_box_open = nullptr;
        box_answer = 0;
        RECT rect{0, 0, main_window_width, main_window_height};
        ASSERT_NE(window_.create(nullptr, rect, L"Tessera", WS_CAPTION | WS_CLIPCHILDREN), nullptr);
        ShowWindow(window_.hwnd(), SW_SHOW);
        UpdateWindow(window_.hwnd());
        page_ = reinterpret_cast<recovery_window_c*>(GetWindowLongPtrW(window_.scan_page(), GWLP_USERDATA));
    }
    void TearDown() override {
        if (IsWindow(window_.hwnd())) DestroyWindow(window_.hwnd());
        set_message_shower(nullptr);
        reset_found_queue();
    }

    // Queues `name` from the test folder; with `bytes` the file is written first.
    void queue(const std::wstring& name, const std::string& bytes = {}) {
        std::wstring path = folder_ / name;
        if (!bytes.empty()) {
            std::ofstream out(path.c_str(), std::ios::binary);
            out << bytes;
        }
        std::string ansi = to_ansi(from_wide(path.c_str()));
        queue_found_file(ansi.c_str(), ansi.size());
    }
    // Shows the page on the queued records, as a resumed scan does, and waits until all are filed.
    void show_results() {
        SendMessageW(window_.hwnd(), UM_SHOW_SCAN, 0, 0);
        size_t count = 0;
        {
            queue_lock_c lock;
            count = found_queue().size();
        }
        ASSERT_TRUE(pump_until([&] { return page_->shown() == count; }));
    }
    preview_window_c& grid() { return page_->grid(); }
    HWND grid_window() { return page_->grid().hwnd(); }

    temp_folder_c folder_{L"scan_page"};
    main_window_c window_;
    recovery_window_c* page_ = nullptr;
};

