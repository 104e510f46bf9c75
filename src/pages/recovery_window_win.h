// The scan and results page: the progress strip at the top, the category tree, the thumbnail grid
// and the information column. It owns the scan control (engine run, pause, stop); its 200 ms
// tick notices the end of a run and moves newly found files from the queue onto the tree and the
// grid, all of a tick's files at once.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/app_messages.h"
#include "engine/scan_control_win.h"
#include "media/media_kind.h"
#include "pages/preview_window_win.h"
#include "pages/page_window_win.h"
#include "ui/bitmap_button_win.h"
#include "ui/treeview_win.h"

// Control ids of the page.
constexpr UINT id_scan_home = 2, id_scan_back = 3, id_scan_close = 4, id_scan_recover = 5;
constexpr UINT id_scan_all = 6, id_scan_toggle = 7, id_scan_stop = 8, id_scan_filter = 9, id_scan_tree = 10;

constexpr UINT_PTR scan_timer_id = 1;
constexpr UINT scan_timer_ms = 200;

class recovery_window_c : public CWindowImpl<recovery_window_c>, public scan_view_i {
public:
    DECLARE_WND_CLASS(L"TesseraScanPage", 0)
    explicit recovery_window_c(HWND main_window);
    ~recovery_window_c() override;

    // True when the main window may close: nothing runs, or the user confirmed stopping what
    // does. A recovery is stopped here, before anything is destroyed.
    bool may_close();
    void terminate_engine() { scan_.terminate_engine(); }
    scan_state_t scan_state() const { return scan_.state(); }

    void start_timer() override;
    void kill_timer() override;
    void clear_results() override;
    void show_buttons(const scan_buttons_t& buttons) override;
    int confirm_cancel() override;

    preview_window_c& grid() { return grid_; }
    const scan_control_c& scan() const { return scan_; }
    HWND tree() const { return tree_.hwnd(); }
    HWND control(UINT id) const { return GetDlgItem(hwnd(), static_cast<int>(id)); }
    uint32_t shown() const { return shown_; }
    int32_t current() const { return current_; }
    int32_t view_total() const { return view_total_; }
    int32_t view_ticked() const { return view_ticked_; }
    // The line above the progress bar: where the scan is, why it is not running, or what loaded
    // results are shown; and whether the bar is drawn under it.
    std::u16string strip_text() const;
    bool is_bar_shown() const { return !scan_.is_results_only(); }

    BEGIN_MSG_MAP(recovery_window_c)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_SIZE, on_size)
        MESSAGE_HANDLER(WM_SETFOCUS, on_set_focus)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_NOTIFY, on_notify)
        MESSAGE_HANDLER(WM_TIMER, on_timer)
        MESSAGE_HANDLER(WM_CTLCOLORSTATIC, on_control_colour)
        MESSAGE_HANDLER(WM_MOUSEWHEEL, on_mouse_wheel)
        COMMAND_RANGE_HANDLER(id_scan_home, id_scan_stop, on_command)
        MESSAGE_HANDLER(UM_START_SEARCH, on_start_search)
        MESSAGE_HANDLER(UM_SHOW_FILE_INFO, on_show_file_info)
        MESSAGE_HANDLER(UM_SELECTION_TOTALS, on_selection_totals)
        MESSAGE_HANDLER(UM_SHOW_RESULTS, on_show_results)
    END_MSG_MAP()

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_size(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_set_focus(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT, WPARAM, LPARAM, bool&) { return 1; }
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_notify(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_timer(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_control_colour(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_mouse_wheel(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_command(WORD code, WORD id, HWND control, bool& handled);
    LRESULT on_start_search(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_show_file_info(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_selection_totals(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_show_results(UINT msg, WPARAM wp, LPARAM lp, bool& handled);

    // The progress strip, which the 200 ms tick repaints, and the information column.
    static RECT strip_rect(const RECT& client);
    static RECT information_rect(const RECT& client);
    void paint_panels(HDC dc, const RECT& client);
    void paint_progress(HDC dc, const RECT& client);
    void paint_information(HDC dc, const RECT& client);
    void create_controls();
    void place_controls();
    void add_roots();
    media_kind file_extension(const std::string& extension);
    void file_new_records();
    void leave_page(UINT message);
    void tell_run_end();
    void show_select_all();

    HWND main_window_;  // borrowed: the parent, to which requests are sent
    bitmap_c background_, header_, info_icon_, selection_icon_, pattern_;
    brush_c frame_brush_;    // the panels' frames and the separators
    brush_c light_brush_;    // the bottom band and the bar's empty part
    brush_c pattern_brush_;  // the bar's filled part
    scan_control_c scan_;
    preview_window_c grid_;
    treeview_c tree_;
    image_list_c tree_images_;
    bitmap_button_c buttons_[8];  // ids 2 to 9
    HTREEITEM roots_[3] = {};     // photo, video, audio
    // The extensions filed since the last reset with their kind; each has a tree item, whose value
    // is its position in group_names_ (the three category names come first).
    std::map<std::string, media_kind> extensions_;
    std::vector<std::string> group_names_;
    uint32_t shown_ = 0;
    uint64_t filed_generation_ = 0;  // the queue's emptyings when shown_ was counted
    bool is_filing_ = false;
    uint32_t resets_ = 0;  // clear_results calls, so that a tick notices a reset in its middle
    int32_t current_ = -1;
    int32_t view_total_ = 0;
    int32_t view_ticked_ = 0;
    float drawn_progress_ = 0;
};
