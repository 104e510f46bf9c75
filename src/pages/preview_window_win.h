// The thumbnail grid of the scan page: the found files of one group, three cells to a row, each
// with its thumbnail or a placeholder, a tick box and a label. A click on a picture makes that
// file the focus cell, whose details the page shows; a click on the tick row ticks it for
// recovery. The keys move the focus cell and tick, the wheel scrolls by cell rows. The grid also runs the
// recovery of the ticked files with the busy animation.
//
// It scales with the group, not against it: the page files a tick's new records and the grid lays
// out and repaints once; painting and thumbnail loading visit only the cells near the view; at
// most max_loaded_thumbnails thumbnails stay loaded, those nearest the view winning.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/app_messages.h"
#include "base/background_task_win.h"
#include "media/grid_geometry.h"
#include "media/grid_groups.h"
#include "media/media_kind.h"
#include "media/thumbnail_budget.h"
#include "base/handles_win.h"
#include "pages/cell_labels_win.h"
#include "ui/wait_window_win.h"
#include "ui/window_impl_win.h"

struct picture_t;
struct thumbnail_read_t;

// A screen of cells is about 33 of them; this keeps a few screens' worth and stays far below the
// process's limit of GDI objects.
constexpr size_t max_loaded_thumbnails = 240;

constexpr UINT_PTR grid_thumbnail_timer_id = 1;
// The focus cell's frame stands this far outside its cell's picture and tick row.
constexpr int32_t focus_frame_margin = 3;
constexpr UINT grid_thumbnail_timer_ms = 1000;
// Posted to the grid by its thumbnail reader as the last thing it does.
constexpr UINT um_thumbnails_read = WM_APP + 1;

class preview_window_c : public CWindowImpl<preview_window_c>, public wait_window_c<preview_window_c> {
public:
    DECLARE_WND_CLASS(L"TesseraPreviewGrid", 0)
    preview_window_c();
    ~preview_window_c() override;

    void set_notify_window(HWND window) { notify_window_ = window; }

    // Files one new record into its extension's group and its category's group. The layout and
    // the repaint wait for end_filing, so that a tick lays out once however many it files.
    void add_grid_item(std::string_view extension, media_kind kind, int32_t index);
    void end_filing();
    // Shows the group of that name (a category or an extension).
    void show_group(const std::string& name);
    // Ticks (1) or unticks (0) every file of the shown group.
    void set_all_selected(int32_t value);
    void reset_grid();
    void start_recovery();
    // Turns the spinner while the page files loaded results; a recovery that ends meanwhile
    // leaves it turning, and the end of the loading leaves a running recovery's spinner.
    void show_loading(bool is_loading);
    bool is_loading() const { return is_loading_; }
    // Stops a running recovery and waits for its thread: the file in hand is given up, the files
    // already written stay. With `is_report_wanted` the user is told how many were recovered.
    void stop_recovery(bool is_report_wanted);
    // While a question about closing is open, a recovery that ends keeps its report back; when
    // the answer keeps the program open, the report comes.
    void hold_report(bool is_held);
    // Moves the view as dragging the scroll bar's thumb does.
    void scroll_to(int32_t position);

    int32_t scroll_pos() const { return scroll_pos_; }
    int32_t content_height() const { return content_height_; }
    int32_t page_height() const { return page_height_; }
    int32_t current_cell() const { return current_cell_; }
    const std::string& group_name() const { return group_name_; }
    size_t shown_count() const { return shown_items_ ? shown_items_->size() : 0; }
    size_t loaded_thumbnails() const { return budget_.loaded(); }
    bool is_reading_thumbnails() const { return read_task_.has_thread(); }
    bool is_recovering() const { return recovery_task_.has_thread(); }

    // The thumbnail timer comes before the spinner, which takes every other timer message.
    BEGIN_MSG_MAP(preview_window_c)
        MESSAGE_HANDLER(WM_TIMER, on_timer)
        CHAIN_MSG_MAP(wait_window_c<preview_window_c>)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_DESTROY, on_destroy)
        MESSAGE_HANDLER(WM_SIZE, on_size)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_VSCROLL, on_vertical_scroll)
        MESSAGE_HANDLER(WM_MOUSEWHEEL, on_mouse_wheel)
        MESSAGE_HANDLER(WM_KEYDOWN, on_key_down)
        MESSAGE_HANDLER(WM_GETDLGCODE, on_get_dialog_code)
        MESSAGE_HANDLER(WM_SETFOCUS, on_focus_change)
        MESSAGE_HANDLER(WM_KILLFOCUS, on_focus_change)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, on_left_button_down)
        MESSAGE_HANDLER(WM_CONTEXTMENU, on_context_menu)
        COMMAND_RANGE_HANDLER(id_select_all, id_open_folder, on_menu_command)
        MESSAGE_HANDLER(UM_RECOVERY_DONE, on_recovery_done)
        MESSAGE_HANDLER(um_thumbnails_read, on_thumbnails_read)
    END_MSG_MAP()

private:
    static constexpr WORD id_select_all = 40025, id_unselect_all = 40026, id_open_folder = 40027;

    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_destroy(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_size(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT, WPARAM, LPARAM, bool&) { return 1; }
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_timer(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_vertical_scroll(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_mouse_wheel(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_key_down(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_get_dialog_code(UINT, WPARAM, LPARAM, bool&) { return DLGC_WANTARROWS | DLGC_WANTCHARS; }
    LRESULT on_focus_change(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_left_button_down(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_context_menu(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_menu_command(WORD code, WORD id, HWND control, bool& handled);
    LRESULT on_recovery_done(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_thumbnails_read(UINT msg, WPARAM wp, LPARAM lp, bool& handled);

    void layout_cells();
    void reset_scroll();
    void set_scroll_info(bool is_drawn = true);
    void update_scroll_bar();
    void report_selection();
    void send_totals(int32_t ticked);
    void load_visible_thumbnails();
    void end_thumbnail_read();
    void release_thumbnails(const std::vector<int32_t>& indices);
    bool has_no_thumbnail(int32_t index) const;
    void note_no_thumbnail(int32_t index);
    void repaint();
    void repaint_cell(size_t cell);
    // Makes `cell` the focus cell, scrolled into view if asked, and tells the page to show its
    // details.
    void focus_cell(size_t cell, bool is_scrolled);
    void toggle_tick(size_t cell);
    void finish_recovery(bool is_report_wanted);
    struct painted_cell_t;
    std::vector<painted_cell_t> visible_cells();
    HBITMAP placeholder(const char* ext) const;
    void paint_focus_frame(HDC dc, cell_point_t at) const;

    HWND notify_window_ = nullptr;  // borrowed: the scan page
    int32_t content_height_ = 0;
    int32_t scroll_pos_ = 0;
    int32_t page_height_ = 0;
    int32_t placeholder_kind_ = media_photo;
    bitmap_c photo_, video_, audio_, raw_, ticked_, unticked_;
    grid_groups_c groups_;
    index_list_t* shown_items_ = nullptr;  // one list of groups_
    std::string group_name_;
    int32_t current_cell_ = -1;
    size_t reported_count_ = 0;   // the shown count last sent to the page
    int32_t reported_ticked_ = 0;  // and the ticked count
    background_task_c recovery_task_;
    bool is_report_held_ = false;
    bool is_loading_ = false;
    thumbnail_budget_c budget_{max_loaded_thumbnails};
    // The thumbnail files of one tick are read and decoded on a thread of their own, one read at
    // a time: a tick with 30 files to read kept the window from answering for half a second.
    background_task_c read_task_;
    std::unique_ptr<thumbnail_read_t> reading_;  // what read_task_ works on; kept until it has ended
    std::vector<bool> no_thumbnail_;  // by queue index: handled by the worker, nothing to load
    uint64_t queue_generation_ = 0;  // the queue's emptyings when the loaded thumbnails were taken
    cell_labels_c labels_;           // by queue index, fitted in the grid's font
    uint64_t labels_generation_ = 0;  // the queue's emptyings when the labels were fitted
    size_t labels_folder_units_ = 0;  // and the recovery folder's length, which the names depend on
};
