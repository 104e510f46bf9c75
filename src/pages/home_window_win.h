// The home page, the first of the main window's pages: start leads to the options page; resume
// has the main window show the scan page, which loads what the last search left in the cache
// folder.
#pragma once

#include <windows.h>

#include "base/app_messages.h"
#include "base/background_task_win.h"
#include "pages/page_window_win.h"
#include "ui/bitmap_button_win.h"
#include "base/handles_win.h"
#include "ui/text_slot_win.h"

// The page's text under the buttons in the current language, where it puts it.
text_slot_t home_text_slot();

constexpr int home_start_id = 1;
constexpr int home_resume_id = 2;

class home_window_c : public CWindowImpl<home_window_c> {
public:
    DECLARE_WND_CLASS(L"TesseraHomePage", 0)
    explicit home_window_c(HWND main_window) : main_window_(main_window) {}

    BEGIN_MSG_MAP(home_window_c)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_SIZE, on_size)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_COMMAND, on_command)
    END_MSG_MAP()

    const bitmap_button_c& start_button() const { return start_button_; }
    const bitmap_button_c& resume_button() const { return resume_button_; }

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_size(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT, WPARAM, LPARAM, bool&) { return 1; }
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_command(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    void create_button(bitmap_button_c& button, int id, int normal, int pressed, int hover, const char* text_key);

    HWND main_window_;  // borrowed: the parent, to which requests are sent
    bitmap_c background_;
    bitmap_c strip_;
    bitmap_button_c start_button_;
    bitmap_button_c resume_button_;
};
