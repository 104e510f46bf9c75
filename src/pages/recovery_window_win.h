// The scan and results page. It owns the scan control (engine run, pause, stop) and answers its
// view requests; the tree, the grid and the progress strip come with the page's own painting.
#pragma once

#include <windows.h>

#include "app/app_messages.h"
#include "engine/scan_control_win.h"
#include "pages/page_window_win.h"

class recovery_window_c : public CWindowImpl<recovery_window_c>, public scan_view_i {
public:
    DECLARE_WND_CLASS(L"TesseraScanPage", 0)
    explicit recovery_window_c(HWND main_window) : main_window_(main_window), scan_(*this) {}

    // True when the main window may close: no search runs, or the user confirmed cancelling it.
    bool may_close() { return scan_.may_leave(); }
    void terminate_engine() { scan_.terminate_engine(); }
    scan_state_t scan_state() const { return scan_.state(); }

    void start_timer() override;
    void kill_timer() override;
    void clear_results() override {}
    void show_buttons(const scan_buttons_t&) override {}
    int confirm_cancel() override;

    BEGIN_MSG_MAP(recovery_window_c)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_TIMER, on_timer)
        MESSAGE_HANDLER(UM_START_SEARCH, on_start_search)
        MESSAGE_HANDLER(UM_SHOW_RESULTS, on_show_results)
    END_MSG_MAP()

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT, WPARAM, LPARAM, bool&) { return 1; }
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_timer(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_start_search(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_show_results(UINT msg, WPARAM wp, LPARAM lp, bool& handled);

    HWND main_window_;  // borrowed: the parent, to which requests are sent
    bitmap_c background_;
    scan_control_c scan_;
};
