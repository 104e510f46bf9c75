#include "pages/recovery_window_win.h"

#include "app/language.h"
#include "ui/message_box_win.h"

namespace {
constexpr UINT_PTR scan_timer_id = 1;
constexpr UINT scan_timer_ms = 200;
}  // namespace

void recovery_window_c::start_timer() {
    if (hwnd()) SetTimer(hwnd(), scan_timer_id, scan_timer_ms, nullptr);
}

void recovery_window_c::kill_timer() {
    if (hwnd()) KillTimer(hwnd(), scan_timer_id);
}

int recovery_window_c::confirm_cancel() {
    return show_message(main_window_, lookup_text("cancel_confirm"), mode_question);
}

LRESULT recovery_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    background_ = load_skin_bitmap(IDB_PAGE_BACKGROUND);
    return 0;
}

LRESULT recovery_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_page_background(hwnd(), background_.get());
    return 0;
}

LRESULT recovery_window_c::on_timer(UINT, WPARAM wp, LPARAM, bool& handled) {
    if (wp != scan_timer_id) {
        handled = false;
        return 0;
    }
    scan_.on_timer_tick();
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return 0;
}

LRESULT recovery_window_c::on_start_search(UINT, WPARAM wp, LPARAM lp, bool&) {
    if (wp == 1 && lp) scan_.start_scan(*reinterpret_cast<const scan_request_t*>(lp));
    return 0;
}

LRESULT recovery_window_c::on_show_results(UINT, WPARAM, LPARAM, bool&) {
    scan_.show_results();
    return 0;
}
