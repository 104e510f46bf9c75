// The home page, the first of the main window's pages: start leads to the options page; resume
// loads what the last search left in the cache folder on a thread of its own, turns the spinner
// meanwhile, and has the main window show the scan page on the loaded finds.
#pragma once

#include <windows.h>

#include "base/app_messages.h"
#include "base/background_task_win.h"
#include "pages/page_window_win.h"
#include "ui/bitmap_button_win.h"
#include "base/handles_win.h"
#include "ui/text_slot_win.h"
#include "ui/wait_window_win.h"

// The page's text under the buttons in the current language, where it puts it.
text_slot_t home_text_slot();

constexpr int home_start_id = 1;
constexpr int home_resume_id = 2;

class home_window_c : public CWindowImpl<home_window_c>, public wait_window_c<home_window_c> {
public:
    DECLARE_WND_CLASS(L"TesseraHomePage", 0)
    explicit home_window_c(HWND main_window) : main_window_(main_window) {}
    // A load still running is waited for: it writes into the found-file queue, which the program
    // closes before its pages go, so the load stops at its next file.
    ~home_window_c() { load_task_.wait_for_end(INFINITE); }

    BEGIN_MSG_MAP(home_window_c)
        CHAIN_MSG_MAP(wait_window_c<home_window_c>)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_SIZE, on_size)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_COMMAND, on_command)
        MESSAGE_HANDLER(UM_LOAD_FINISHED, on_load_finished)
    END_MSG_MAP()

    // Starts loading the earlier scan; a press while a load runs is ignored, since the task
    // serves one run at a time.
    void start_loading();
    bool is_loading() const { return load_task_.has_thread(); }
    const bitmap_button_c& start_button() const { return start_button_; }
    const bitmap_button_c& resume_button() const { return resume_button_; }

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_size(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT, WPARAM, LPARAM, bool&) { return 1; }
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_command(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_load_finished(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    void create_button(bitmap_button_c& button, int id, int normal, int pressed, int hover, const char* text_key);

    HWND main_window_;  // borrowed: the parent, to which requests are sent
    bitmap_c background_;
    bitmap_c strip_;
    bitmap_button_c start_button_;
    bitmap_button_c resume_button_;
    background_task_c load_task_;
};
