#include "pages/preview_window_win.h"

#include <shellapi.h>
#include <windowsx.h>

#include <atomic>
#include <cstring>

#include "base/language.h"
#include "base/settings.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/recovery_win.h"
#include "media/grid_geometry.h"
#include "media/media_kind.h"
#include "picture/picture_io_win.h"
#include "picture/picture_win.h"
#include "res/resource.h"
#include "ui/bitmap_button_win.h"
#include "ui/draw_text_win.h"
#include "ui/message_box_win.h"

namespace {

constexpr int32_t scroll_line = 10;
constexpr UINT default_wheel_lines = 3;  // Windows' own default, should the setting be unreadable
constexpr int grid_menu_id = 216;

int32_t recover_selected_task(void* owner) { return recover_selected(owner); }

}  // namespace

// The thumbnails one tick wants, read off the window's thread.
struct thumbnail_read_t {
    struct item_t {
        int32_t index;
        bool is_handled;  // by the worker: a failure to load is final
        bool is_failed;
        char thumb_path[found_path_capacity];
        std::shared_ptr<picture_t> picture;
    };
    std::vector<item_t> items;
    uint64_t generation = 0;  // the queue's emptyings when the list was taken
    HWND owner = nullptr;
    std::atomic<bool> must_end{false};
};

namespace {

int32_t read_thumbnails_task(void* argument) {
    thumbnail_read_t& read = *static_cast<thumbnail_read_t*>(argument);
    for (thumbnail_read_t::item_t& item : read.items) {
        if (read.must_end.load()) break;
        auto picture = std::make_shared<picture_t>();
        if (load_picture_file(item.thumb_path, *picture) == 0) item.picture = std::move(picture);
        else item.is_failed = true;
    }
    PostMessageW(read.owner, um_thumbnails_read, 0, 0);
    return 0;
}

}  // namespace

preview_window_c::preview_window_c() { reset_grid(); }

preview_window_c::~preview_window_c() {
    end_thumbnail_read();
    recovery_task_.abandon();
    release_thumbnails(budget_.take_all());
}

LRESULT preview_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    photo_ = load_skin_bitmap(IDB_PLACEHOLDER_PHOTO);
    audio_ = load_skin_bitmap(IDB_PLACEHOLDER_AUDIO);
    video_ = load_skin_bitmap(IDB_PLACEHOLDER_VIDEO);
    raw_ = load_skin_bitmap(IDB_PLACEHOLDER_RAW);
    ticked_ = load_skin_bitmap(IDB_TICK_DONE);
    unticked_ = load_skin_bitmap(IDB_TICK_EMPTY);
    reset_grid();
    SetTimer(hwnd(), grid_thumbnail_timer_id, grid_thumbnail_timer_ms, nullptr);
    return 0;
}

LRESULT preview_window_c::on_destroy(UINT, WPARAM, LPARAM, bool&) {
    KillTimer(hwnd(), grid_thumbnail_timer_id);
    end_thumbnail_read();
    recovery_task_.abandon();
    reset_grid();
    return 0;
}

LRESULT preview_window_c::on_size(UINT, WPARAM, LPARAM lp, bool&) {
    page_height_ = HIWORD(lp);
    return 0;
}

void preview_window_c::reset_grid() {
    current_cell_ = -1;
    placeholder_kind_ = media_photo;
    group_name_ = "photo";
    groups_.clear();
    shown_items_ = &groups_.group(group_name_);
    release_thumbnails(budget_.take_all());
    no_thumbnail_.clear();
    reported_count_ = 0;
    reported_ticked_ = 0;
    if (hwnd()) {
        ShowScrollBar(hwnd(), SB_VERT, FALSE);
        scroll_pos_ = 0;
    }
}

void preview_window_c::add_grid_item(std::string_view extension, media_kind kind, int32_t index) {
    groups_.add(extension, kind, index);
}

// The scan page's counts follow a growing group at once rather than at the next thumbnail tick.
// New cells come at the group's end: the grid is repainted only when they fall near the view,
// so a tick that files hundreds of finds below it costs a scroll bar update and no repaint.
void preview_window_c::end_filing() {
    const size_t count = shown_count();
    const size_t earlier = reported_count_ < count ? reported_count_ : count;
    content_height_ = ::content_height(count);
    if (page_height_ < content_height_ && !(GetWindowLongW(hwnd(), GWL_STYLE) & WS_VSCROLL))
        ShowScrollBar(hwnd(), SB_VERT, TRUE);
    scroll_pos_ = clamp_scroll(scroll_pos_, page_height_, content_height_);
    update_scroll_bar();
    cell_range_t painted = cells_with_top_in(paint_band_top, paint_band_bottom, scroll_pos_, count);
    if (painted.end > earlier) repaint();
    // New records come unticked: the ticked count stands, and 100,000 records are not walked
    // for it on every tick.
    if (count != reported_count_) send_totals(reported_ticked_);
}

// Drawing the scroll bar takes longer than everything else a tick does; a group that grows by a
// few hundred cells at its end moves the thumb by a pixel now and then, and only then is it drawn.
void preview_window_c::update_scroll_bar() {
    SCROLLBARINFO before{};
    before.cbSize = sizeof before;
    bool has_before = GetScrollBarInfo(hwnd(), OBJID_VSCROLL, &before) != FALSE;
    set_scroll_info(false);
    SCROLLBARINFO after{};
    after.cbSize = sizeof after;
    bool is_same = has_before && GetScrollBarInfo(hwnd(), OBJID_VSCROLL, &after) &&
                   before.xyThumbTop == after.xyThumbTop && before.xyThumbBottom == after.xyThumbBottom &&
                   before.rgstate[0] == after.rgstate[0];
    if (!is_same) set_scroll_info(true);
}

void preview_window_c::set_scroll_info(bool is_drawn) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
    info.nMin = 0;
    info.nMax = content_height_;
    info.nPage = static_cast<UINT>(page_height_ > 0 ? page_height_ : 0);
    info.nPos = scroll_pos_;
    SetScrollInfo(hwnd(), SB_VERT, &info, is_drawn ? TRUE : FALSE);
}

void preview_window_c::repaint() { RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOFRAME); }

// Cell positions follow from the cell number and the scroll position alone; painting computes
// them for the cells it draws, so laying out costs the same for ten files as for 100,000.
void preview_window_c::layout_cells() {
    scroll_pos_ = clamp_scroll(scroll_pos_, page_height_, content_height_);
    if (!hwnd()) return;
    update_scroll_bar();
    repaint();
}

void preview_window_c::reset_scroll() {
    ShowScrollBar(hwnd(), SB_VERT, FALSE);
    scroll_pos_ = 0;
    content_height_ = ::content_height(shown_count());
    if (page_height_ < content_height_) {
        ShowScrollBar(hwnd(), SB_VERT, TRUE);
        set_scroll_info();
    }
}

void preview_window_c::show_group(const std::string& name) {
    if (name == group_name_) return;
    bool is_category = false;
    placeholder_kind_ = category_placeholder_kind(name, is_category);
    if (!is_category) placeholder_kind_ = find_media_kind(name);  // told about when it was filed
    current_cell_ = -1;
    no_thumbnail_.clear();
    group_name_ = name;
    shown_items_ = &groups_.group(group_name_);
    reset_scroll();
    layout_cells();
    // The details column showed the record of the focus cell, which this group does not show.
    if (notify_window_) SendMessageW(notify_window_, UM_SHOW_FILE_INFO, static_cast<WPARAM>(-1), 0);
    report_selection();
}

void preview_window_c::report_selection() {
    int32_t ticked = 0;
    {
        queue_lock_c lock;
        const found_queue_c& queue = found_queue();
        for (int32_t index : *shown_items_)
            if (static_cast<size_t>(index) < queue.size() && queue.at(static_cast<size_t>(index)).selected) ++ticked;
    }
    send_totals(ticked);
}

void preview_window_c::send_totals(int32_t ticked) {
    reported_count_ = shown_count();
    reported_ticked_ = ticked;
    if (HWND parent = GetParent(hwnd()))
        SendMessageW(parent, UM_SELECTION_TOTALS, static_cast<WPARAM>(shown_count()), ticked);
}

void preview_window_c::set_all_selected(int32_t value) {
    {
        queue_lock_c lock;
        found_queue_c& queue = found_queue();
        for (int32_t index : *shown_items_)
            if (static_cast<size_t>(index) < queue.size()) queue.at(static_cast<size_t>(index)).selected = value;
    }
    repaint();
    report_selection();
}

LRESULT preview_window_c::on_vertical_scroll(UINT, WPARAM wp, LPARAM, bool&) {
    int32_t position = scroll_pos_;
    switch (LOWORD(wp)) {
    case SB_LINEUP: position -= scroll_line; break;
    case SB_LINEDOWN: position += scroll_line; break;
    case SB_PAGEUP: position -= page_height_; break;
    case SB_PAGEDOWN: position += page_height_; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(hwnd(), SB_VERT, &info)) position = info.nTrackPos;
        break;
    }
    default: break;
    }
    scroll_to(position);
    return 0;
}

void preview_window_c::scroll_to(int32_t position) {
    if (position == scroll_pos_) return;
    scroll_pos_ = position;
    layout_cells();
}

// A notch moves as many cell rows as the system's wheel setting says lines.
LRESULT preview_window_c::on_mouse_wheel(UINT, WPARAM wp, LPARAM, bool&) {
    if (page_height_ < content_height_) {
        UINT lines = default_wheel_lines;
        if (!SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0)) lines = default_wheel_lines;
        scroll_pos_ = wheel_scroll(scroll_pos_, GET_WHEEL_DELTA_WPARAM(wp), lines, page_height_);
        layout_cells();
    }
    return 0;
}

LRESULT preview_window_c::on_left_button_down(UINT, WPARAM, LPARAM lp, bool&) {
    SetFocus(hwnd());  // the grid takes the keys and the wheel
    cell_hit_t hit = hit_cell(GET_X_LPARAM(lp), GET_Y_LPARAM(lp), scroll_pos_, shown_count());
    if (hit.band == cell_band_t::picture) focus_cell(hit.cell, false);
    else if (hit.band == cell_band_t::tick) toggle_tick(hit.cell);
    return 0;
}

void preview_window_c::repaint_cell(size_t cell) {
    cell_point_t at = cell_position(cell, scroll_pos_);
    RECT area{at.x - focus_frame_margin, at.y - focus_frame_margin, at.x + cell_pitch_x - grid_margin + focus_frame_margin,
              at.y + tick_band_last + focus_frame_margin + 1};
    InvalidateRect(hwnd(), &area, FALSE);
    UpdateWindow(hwnd());
}

// The tick shows at once; the page's counts and its "select all" box follow.
void preview_window_c::toggle_tick(size_t cell) {
    if (cell >= shown_count()) return;
    int32_t index = (*shown_items_)[cell];
    {
        queue_lock_c lock;
        found_queue_c& queue = found_queue();
        if (static_cast<size_t>(index) < queue.size()) {
            found_file_t& record = queue.at(static_cast<size_t>(index));
            record.selected = record.selected ? 0 : 1;
        }
    }
    repaint_cell(cell);
    report_selection();
}

void preview_window_c::focus_cell(size_t cell, bool is_scrolled) {
    if (cell >= shown_count()) return;
    const int32_t previous = current_cell_;
    current_cell_ = static_cast<int32_t>(cell);
    if (previous >= 0 && static_cast<size_t>(previous) < shown_count() && previous != current_cell_)
        repaint_cell(static_cast<size_t>(previous));
    int32_t position = is_scrolled ? scroll_showing(cell, scroll_pos_, page_height_, content_height_) : scroll_pos_;
    if (position != scroll_pos_) scroll_to(position);
    else repaint_cell(cell);
    if (notify_window_) SendMessageW(notify_window_, UM_SHOW_FILE_INFO, static_cast<WPARAM>((*shown_items_)[cell]), 0);
}

// The keys of a grid: arrows, Page Up and Down, Home and End move the focus cell (the first in
// view when there is none yet), Space ticks it and Ctrl+A ticks the whole group.
LRESULT preview_window_c::on_key_down(UINT, WPARAM wp, LPARAM, bool& handled) {
    const size_t count = shown_count();
    if (wp == 'A' && GetKeyState(VK_CONTROL) < 0) {
        set_all_selected(1);
        return 0;
    }
    if (wp == VK_SPACE) {
        if (current_cell_ >= 0) toggle_tick(static_cast<size_t>(current_cell_));
        return 0;
    }
    grid_key_t key;
    switch (wp) {
    case VK_LEFT: key = grid_key_t::left; break;
    case VK_RIGHT: key = grid_key_t::right; break;
    case VK_UP: key = grid_key_t::up; break;
    case VK_DOWN: key = grid_key_t::down; break;
    case VK_PRIOR: key = grid_key_t::page_up; break;
    case VK_NEXT: key = grid_key_t::page_down; break;
    case VK_HOME: key = grid_key_t::home; break;
    case VK_END: key = grid_key_t::end; break;
    default: handled = false; return 0;
    }
    if (count == 0) return 0;
    int64_t target = 0;
    if (current_cell_ >= 0 && static_cast<size_t>(current_cell_) < count) {
        target = moved_focus(current_cell_, key, count, page_height_);
    } else {
        cell_range_t in_view = cells_with_top_in(0, page_height_, scroll_pos_, count);
        target = key == grid_key_t::home || key == grid_key_t::end ? moved_focus(0, key, count, page_height_)
                                                                     : static_cast<int64_t>(in_view.first);
    }
    if (target >= 0) focus_cell(static_cast<size_t>(target), true);
    return 0;
}

LRESULT preview_window_c::on_focus_change(UINT, WPARAM, LPARAM, bool&) {
    if (current_cell_ >= 0 && static_cast<size_t>(current_cell_) < shown_count())
        repaint_cell(static_cast<size_t>(current_cell_));
    return 0;
}

LRESULT preview_window_c::on_context_menu(UINT, WPARAM, LPARAM lp, bool&) {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(grid_menu_id));
    if (!menu) return 0;
    int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    if (HMENU popup = GetSubMenu(menu, 0))
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, clamp_to_work_area(x, y), y, 0, hwnd(), nullptr);
    DestroyMenu(menu);
    return 0;
}

LRESULT preview_window_c::on_menu_command(WORD, WORD id, HWND, bool&) {
    if (id == id_select_all) set_all_selected(1);
    else if (id == id_unselect_all) set_all_selected(0);
    else if (id == id_open_folder)
        ShellExecuteW(hwnd(), nullptr, wide(settings.recovery_path), nullptr, nullptr, SW_SHOW);
    return 0;
}

void preview_window_c::start_recovery() {
    if (recovery_task_.has_thread()) return;
    int32_t current = current_cell_ >= 0 && static_cast<size_t>(current_cell_) < shown_count()
                          ? (*shown_items_)[static_cast<size_t>(current_cell_)]
                          : -1;
    current_item.store(current);
    recovery_stop_requested.store(false);
    start_spinner();
    if (!recovery_task_.start(recover_selected_task, hwnd()) && !is_loading_) stop_spinner();
}

void preview_window_c::show_loading(bool is_loading) {
    if (is_loading == is_loading_) return;
    is_loading_ = is_loading;
    if (is_loading) start_spinner();
    else if (!recovery_task_.has_thread()) stop_spinner();
    if (hwnd()) repaint();
}

// The recovery thread shows nothing and takes no lock that this thread holds here, so waiting
// for it cannot hang; the UM_RECOVERY_DONE it posted finds no thread and does nothing.
void preview_window_c::stop_recovery(bool is_report_wanted) {
    if (!recovery_task_.has_thread()) return;
    recovery_stop_requested.store(true);
    finish_recovery(is_report_wanted);
}

void preview_window_c::hold_report(bool is_held) {
    is_report_held_ = is_held;
    if (!is_held && recovery_task_.has_thread() && recovery_task_.has_ended()) finish_recovery(true);
}

LRESULT preview_window_c::on_recovery_done(UINT, WPARAM, LPARAM, bool&) {
    if (!is_report_held_) finish_recovery(true);
    return 0;
}

void preview_window_c::finish_recovery(bool is_report_wanted) {
    if (!recovery_task_.has_thread()) return;
    WaitForSingleObject(recovery_task_.thread(), INFINITE);
    recovery_task_.close_thread();
    if (!is_loading_) stop_spinner();
    repaint();
    if (is_report_wanted && show_recovery_report(hwnd(), last_recovery_report()))
        SendMessageW(GetParent(GetParent(hwnd())), UM_STEP_DONE, 0, 0);
}

LRESULT preview_window_c::on_timer(UINT, WPARAM wp, LPARAM, bool& handled) {
    if (wp != grid_thumbnail_timer_id) {
        handled = false;
        return 0;
    }
    // Only the grid changes ticks, and it reports and repaints each change when it makes it;
    // thumbnails that arrive repaint when they are read.
    load_visible_thumbnails();
    return 0;
}

bool preview_window_c::has_no_thumbnail(int32_t index) const {
    return static_cast<size_t>(index) < no_thumbnail_.size() && no_thumbnail_[static_cast<size_t>(index)];
}

void preview_window_c::note_no_thumbnail(int32_t index) {
    if (static_cast<size_t>(index) >= no_thumbnail_.size()) no_thumbnail_.resize(static_cast<size_t>(index) + 1);
    no_thumbnail_[static_cast<size_t>(index)] = true;
}

void preview_window_c::release_thumbnails(const std::vector<int32_t>& indices) {
    if (indices.empty()) return;
    queue_lock_c lock;
    found_queue_c& queue = found_queue();
    // Thumbnails of a queue emptied since were freed with it.
    if (queue.generation() != queue_generation_) return;
    for (int32_t index : indices)
        if (static_cast<size_t>(index) < queue.size()) queue.at(static_cast<size_t>(index)).thumb_image.reset();
}

// Has the thumbnails of the cells from one page above to two pages below the view that have none
// yet read on the reader's thread, and releases the least recently wanted beyond the budget. A
// record the worker has handled and whose thumbnail still cannot be loaded (a video, a picture it
// could not decode) has none to come: it is not looked for again until the group is chosen anew.
// Looking costs, under Wine, a read of the whole work folder. While a read is under way the tick
// starts none.
void preview_window_c::load_visible_thumbnails() {
    if (read_task_.has_thread()) return;
    RECT client{};
    GetClientRect(hwnd(), &client);
    const int32_t h = client.bottom;
    cell_range_t band = cells_with_top_in(-h, 2 * h, scroll_pos_, shown_count());
    auto read = std::make_unique<thumbnail_read_t>();
    {
        queue_lock_c lock;
        found_queue_c& queue = found_queue();
        if (queue.generation() != queue_generation_) {
            budget_.take_all();
            no_thumbnail_.clear();
            queue_generation_ = queue.generation();
        }
        for (size_t cell = band.first; cell < band.end; ++cell) {
            int32_t index = (*shown_items_)[cell];
            if (static_cast<size_t>(index) >= queue.size()) continue;
            const found_file_t& record = queue.at(static_cast<size_t>(index));
            if (record.thumb_image) {
                budget_.note_wanted(index);
            } else if (record.thumb_path[0] && !has_no_thumbnail(index)) {
                read->items.push_back({index, static_cast<size_t>(index) < queue.thumbs_done, false, {}, nullptr});
                std::memcpy(read->items.back().thumb_path, record.thumb_path, sizeof record.thumb_path);
            }
        }
        read->generation = queue_generation_;
    }
    release_thumbnails(budget_.take_surplus());
    if (read->items.empty()) return;
    read->owner = hwnd();
    reading_ = std::move(read);
    if (!read_task_.start(read_thumbnails_task, reading_.get())) reading_.reset();
}

// The reader posts this last, so the wait is short. Its pictures go to records of the queue it
// read for; those of an emptied queue are dropped.
LRESULT preview_window_c::on_thumbnails_read(UINT, WPARAM, LPARAM, bool&) {
    if (!read_task_.has_thread()) return 0;
    read_task_.wait_for_end(INFINITE);
    std::unique_ptr<thumbnail_read_t> read = std::move(reading_);
    // The focus file's details were shown before its thumbnail was made, without the picture's
    // size and the facts read with it: they are shown again once it is.
    bool is_focus_read = false;
    {
        queue_lock_c lock;
        found_queue_c& queue = found_queue();
        if (queue.generation() != read->generation || queue_generation_ != read->generation) return 0;
        for (thumbnail_read_t::item_t& item : read->items) {
            is_focus_read = is_focus_read || (current_cell_ >= 0 && static_cast<size_t>(current_cell_) < shown_count() &&
                                              (*shown_items_)[static_cast<size_t>(current_cell_)] == item.index);
            if (item.picture && static_cast<size_t>(item.index) < queue.size()) {
                queue.at(static_cast<size_t>(item.index)).thumb_image = std::move(item.picture);
                budget_.note_wanted(item.index);
            } else if (item.is_failed && item.is_handled) {
                note_no_thumbnail(item.index);
            }
        }
    }
    release_thumbnails(budget_.take_surplus());
    repaint();
    if (is_focus_read && notify_window_ && static_cast<size_t>(current_cell_) < shown_count())
        SendMessageW(notify_window_, UM_SHOW_FILE_INFO, static_cast<WPARAM>((*shown_items_)[current_cell_]), 0);
    return 0;
}

// A read under way stops at its next file and is waited for.
void preview_window_c::end_thumbnail_read() {
    if (!read_task_.has_thread()) return;
    reading_->must_end.store(true);
    read_task_.wait_for_end(INFINITE);
    reading_.reset();
}
