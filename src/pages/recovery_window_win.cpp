#include "pages/recovery_window_win.h"

#include <cstring>

#include "base/language.h"
#include "base/settings.h"
#include "base/text_format.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "media/media_kind_win.h"
#include "pages/drive_list.h"
#include "pages/recovery_layout_win.h"
#include "ui/message_box_win.h"
#include "ui/shared_fonts_win.h"

namespace {

constexpr COLORREF frame_colour = RGB(140, 178, 215);
constexpr COLORREF light_colour = RGB(226, 240, 253);
constexpr COLORREF selection_colour = RGB(196, 222, 250);
constexpr DWORD tree_style = 0x50000037;  // child, visible, buttons, lines, lines at root, selection always shown, no drag
constexpr RECT tree_rect{11, 81, 11 + 148, 81 + 342};
constexpr RECT grid_rect{171, 81, 599, 423};
constexpr int tree_image_ids[3] = {IDB_KIND_PHOTO, IDB_KIND_VIDEO, IDB_KIND_AUDIO};
const char* const root_keys[3] = {"recovery_photo", "recovery_video", "recovery_audio"};
const char* const category_names[3] = {"photo", "video", "audio"};

struct page_button_t {
    UINT id;
    const char* text_key;
    int normal, pressed, hover;
};
// The push buttons, ids 2 to 9 in order; the language's positions are set by place_controls.
constexpr page_button_t page_buttons[8] = {
    {id_scan_home, "btn_home", IDB_PAGE_BUTTON_NORMAL, IDB_PAGE_BUTTON_PRESSED, IDB_PAGE_BUTTON_HOVER},
    {id_scan_back, "btn_back", IDB_PAGE_BUTTON_NORMAL, IDB_PAGE_BUTTON_PRESSED, IDB_PAGE_BUTTON_HOVER},
    {id_scan_close, "btn_close", IDB_PAGE_BUTTON_NORMAL, IDB_PAGE_BUTTON_PRESSED, IDB_PAGE_BUTTON_HOVER},
    {id_scan_recover, "btn_recovery", IDB_RECOVER_BUTTON_NORMAL, IDB_RECOVER_BUTTON_PRESSED, IDB_RECOVER_BUTTON_HOVER},
    {id_scan_all, nullptr, 0, 0, 0},
    {id_scan_toggle, "btn_pause", IDB_SCAN_BUTTON_NORMAL, IDB_SCAN_BUTTON_PRESSED, IDB_SCAN_BUTTON_HOVER},
    {id_scan_stop, "btn_stop", IDB_SCAN_BUTTON_NORMAL, IDB_SCAN_BUTTON_PRESSED, IDB_SCAN_BUTTON_HOVER},
    {id_scan_filter, "btn_filter", IDB_FILTER_BUTTON_NORMAL, IDB_FILTER_BUTTON_PRESSED, IDB_FILTER_BUTTON_HOVER},
};

}  // namespace

recovery_window_c::recovery_window_c(HWND main_window) : main_window_(main_window), scan_(*this) {}

recovery_window_c::~recovery_window_c() = default;

void recovery_window_c::start_timer() {
    if (hwnd()) SetTimer(hwnd(), scan_timer_id, scan_timer_ms, nullptr);
}

void recovery_window_c::kill_timer() {
    if (hwnd()) KillTimer(hwnd(), scan_timer_id);
}

int recovery_window_c::confirm_cancel() {
    return show_message(main_window_, lookup_text("cancel_confirm"), mode_question);
}

bool recovery_window_c::may_close() {
    grid_.hold_report(true);
    bool is_confirmed = !grid_.is_recovering() ||
                        show_message(main_window_, lookup_text("recovery_close_confirm"), mode_question) == 1;
    is_confirmed = is_confirmed && scan_.may_leave();
    if (is_confirmed) grid_.stop_recovery(false);
    grid_.hold_report(false);
    return is_confirmed;
}

LRESULT recovery_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    background_ = load_skin_bitmap(IDB_PAGE_BACKGROUND);
    header_ = load_skin_bitmap(IDB_SCAN_HEADER);
    info_icon_ = load_skin_bitmap(IDB_HEADING_INFO);
    selection_icon_ = load_skin_bitmap(IDB_HEADING_SELECTION);
    pattern_ = load_skin_bitmap(IDB_PROGRESS_PATTERN);
    frame_brush_.reset(CreateSolidBrush(frame_colour));
    light_brush_.reset(CreateSolidBrush(light_colour));
    if (pattern_.is_valid()) pattern_brush_.reset(CreatePatternBrush(pattern_.get()));
    create_controls();
    current_ = -1;
    view_total_ = view_ticked_ = 0;
    return 0;
}

void recovery_window_c::create_controls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (size_t i = 0; i < 8; ++i) {
        const page_button_t& kind = page_buttons[i];
        if (kind.id == id_scan_all) {
            HWND box = CreateWindowExW(0, L"BUTTON", wide(lookup_text("btn_all")),
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0, 100, 20,
                                       hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kind.id)), instance, nullptr);
            SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(shared_font(font_face::verdana, 10, false)), FALSE);
            continue;
        }
        DWORD visible = kind.id == id_scan_filter ? 0 : WS_VISIBLE;
        HWND button = CreateWindowExW(0, L"BUTTON", wide(lookup_text(kind.text_key)), WS_CHILD | visible | BS_PUSHBUTTON,
                                      0, 0, 10, 10, hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kind.id)),
                                      instance, nullptr);
        bitmap_button_c& b = buttons_[i];
        b.attach(button);
        set_button_images(b, kind.normal, kind.pressed, kind.hover);
        b.set_text_colour(RGB(255, 255, 255));
        b.set_font(shared_font(font_face::verdana, 8, true));
    }
    bitmap_button_c& recover = buttons_[id_scan_recover - id_scan_home];
    if (is_current_language("de")) {
        recover.set_font(shared_font(font_face::verdana, 8, true));
        recover.set_text_position(8, 14);
    } else {
        recover.set_font(shared_font(font_face::verdana, 9, true));
        recover.set_text_position(38, 14);
    }

    tree_.create(hwnd(), tree_rect, tree_style, id_scan_tree);
    SendMessageW(tree_.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(shared_font(font_face::verdana, 10, false)), FALSE);
    tree_images_ = make_skin_image_list(16, 16, tree_image_ids);
    tree_.set_image_list(tree_images_.get());

    grid_.create(hwnd(), grid_rect, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
    grid_.set_notify_window(hwnd());
    add_roots();
    place_controls();
}

void recovery_window_c::place_controls() {
    RECT client{};
    GetClientRect(hwnd(), &client);
    const int toggle = scan_toggle_left();
    struct { UINT id; int x, y; } places[] = {
        {id_scan_home, 452, 445},    {id_scan_back, 564, 445},           {id_scan_close, 675, 445},
        {id_scan_recover, 630, 304}, {id_scan_toggle, toggle, 25}, {id_scan_stop, toggle + 100, 25},
        {id_scan_filter, 660, 25},
    };
    for (const auto& place : places)
        SetWindowPos(control(place.id), nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT box = select_all_rect(client);
    SetWindowPos(control(id_scan_all), nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT recovery_window_c::on_size(UINT, WPARAM, LPARAM, bool&) {
    place_controls();
    // Painted as the messages in hand allow, each control on its own: the page is sized as it
    // is shown, when a start or a load must not wait for every control's painting.
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    return 0;
}

LRESULT recovery_window_c::on_set_focus(UINT, WPARAM, LPARAM, bool&) {
    if (grid_.hwnd()) SetFocus(grid_.hwnd());
    return 0;
}

// The check box's text stands on the page's white panel.
LRESULT recovery_window_c::on_control_colour(UINT, WPARAM wp, LPARAM, bool&) {
    SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

// The wheel goes to the window with the focus and climbs to its parents; the grid is the page's
// one scrolled view, so it gets the wheel wherever the focus stands on the page.
LRESULT recovery_window_c::on_mouse_wheel(UINT msg, WPARAM wp, LPARAM lp, bool&) {
    if (grid_.hwnd()) SendMessageW(grid_.hwnd(), msg, wp, lp);
    return 0;
}

void recovery_window_c::add_roots() {
    group_names_.assign(std::begin(category_names), std::end(category_names));
    for (int i = 0; i < 3; ++i) roots_[i] = tree_.insert_item(TVI_ROOT, lookup_text(root_keys[i]), i, i);
    tree_.select_item(roots_[media_photo]);
}

void recovery_window_c::clear_results() {
    ++resets_;
    grid_.reset_grid();
    grid_.show_loading(scan_.is_loading());
    extensions_.clear();
    current_ = -1;
    view_total_ = view_ticked_ = 0;
    show_select_all();
    shown_ = 0;
    tree_.delete_all_items();
    add_roots();
}

// "Select all" is ticked exactly when every file of the shown group is, and never for an empty one.
void recovery_window_c::show_select_all() {
    bool is_all = view_total_ > 0 && view_ticked_ == view_total_;
    CheckDlgButton(hwnd(), static_cast<int>(id_scan_all), is_all ? BST_CHECKED : BST_UNCHECKED);
}

void recovery_window_c::show_buttons(const scan_buttons_t& buttons) {
    HWND toggle = control(id_scan_toggle);
    SetWindowTextW(toggle, wide(lookup_text(buttons.start_text_key)));
    ShowWindow(toggle, buttons.is_start_shown ? SW_SHOW : SW_HIDE);
    ShowWindow(control(id_scan_stop), buttons.is_stop_shown ? SW_SHOW : SW_HIDE);
    RedrawWindow(toggle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// A recovery still running copies from the results about to be emptied: it stops first and
// says how many files it recovered.
void recovery_window_c::leave_page(UINT message) {
    if (!scan_.may_leave()) return;
    grid_.stop_recovery(true);
    scan_.reset_scan();
    SendMessageW(main_window_, message, 0, 0);
}

LRESULT recovery_window_c::on_command(WORD, WORD id, HWND control_window, bool&) {
    switch (id) {
    case id_scan_home: leave_page(UM_SHOW_HOME); break;
    case id_scan_back: leave_page(UM_SHOW_OPTIONS); break;
    case id_scan_close:
        // The main window's close steps ask whatever must be asked, once.
        SendMessageW(main_window_, WM_CLOSE, 0, 0);
        break;
    case id_scan_recover: grid_.start_recovery(); break;
    case id_scan_all:
        grid_.set_all_selected(SendMessageW(control_window, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        SetFocus(grid_.hwnd());  // the grid keeps the wheel
        break;
    case id_scan_toggle:
        scan_.toggle_scan();
        tell_run_end();
        break;
    case id_scan_stop: scan_.stop_scan(); break;
    default: break;
    }
    return 0;
}

// The tree hands its focus on, so the system would draw the chosen group in the pale colours of
// an unfocused selection; it is drawn in the page's own light blue instead.
LRESULT recovery_window_c::on_notify(UINT, WPARAM, LPARAM lp, bool& handled) {
    const auto* header = reinterpret_cast<const NMHDR*>(lp);
    if (header->idFrom == id_scan_tree && header->code == NM_CUSTOMDRAW) {
        auto* draw = reinterpret_cast<NMTVCUSTOMDRAW*>(lp);
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && (draw->nmcd.uItemState & CDIS_SELECTED)) {
            draw->clrText = RGB(0, 0, 0);
            draw->clrTextBk = selection_colour;
        }
        return CDRF_DODEFAULT;
    }
    if (header->idFrom != id_scan_tree || header->code != TVN_SELCHANGEDW) {
        handled = false;
        return 0;
    }
    const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lp);
    LPARAM value = change->itemNew.lParam;
    if (value >= 0 && static_cast<size_t>(value) < group_names_.size())
        grid_.show_group(group_names_[static_cast<size_t>(value)]);
    return 0;
}

// The kind of an extension, classified when it is first seen, and its tree item. An extension
// in no table asks the user's attention once, not once per file.
media_kind recovery_window_c::file_extension(const std::string& extension) {
    auto known = extensions_.find(extension);
    if (known != extensions_.end()) return known->second;
    const uint32_t resets = resets_;
    media_kind kind = classify_extension(extension.c_str());
    if (resets_ != resets) return kind;  // the page was left while the box was open
    extensions_.emplace(extension, kind);
    HTREEITEM parent = kind <= media_audio ? roots_[kind] : TVI_ROOT;
    group_names_.push_back(extension);
    tree_.insert_item(parent, from_ansi(extension), kind, static_cast<LPARAM>(group_names_.size() - 1));
    if (kind <= media_audio) tree_.expand(parent);
    return kind;
}

// Copies the new records' extensions out under the queue lock and files them after releasing
// it: classifying may open a message box, and the reader and the thumbnail worker must not wait
// for the user meanwhile. The grid lays out and repaints once for the whole batch.
void recovery_window_c::file_new_records() {
    struct new_record_t {
        int32_t index;
        char ext[found_ext_capacity];
    };
    std::vector<new_record_t> batch;
    {
        queue_lock_c lock;
        const found_queue_c& queue = found_queue();
        if (queue.generation() != filed_generation_) {
            // The queue was emptied since the page counted its records: what it shows is gone.
            if (shown_ != 0) clear_results();
            shown_ = 0;
            filed_generation_ = queue.generation();
        }
        if (queue.size() > shown_) batch.resize(queue.size() - shown_);
        for (size_t i = 0; i < batch.size(); ++i) {
            batch[i].index = static_cast<int32_t>(shown_ + i);
            std::memcpy(batch[i].ext, queue.at(shown_ + i).ext, sizeof batch[i].ext);
            batch[i].ext[sizeof batch[i].ext - 1] = '\0';
        }
    }
    if (batch.empty()) return;
    // A box without an owner leaves the page usable: should the user leave it meanwhile, the
    // batch belongs to results that are gone.
    const uint32_t resets = resets_;
    std::string extension;
    for (const new_record_t& record : batch) {
        extension.assign(record.ext);
        media_kind kind = file_extension(extension);
        if (resets_ != resets) return;
        grid_.add_grid_item(extension, kind, record.index);
        ++shown_;
    }
    grid_.end_filing();
}

LRESULT recovery_window_c::on_timer(UINT, WPARAM wp, LPARAM, bool& handled) {
    if (wp != scan_timer_id) {
        handled = false;
        return 0;
    }
    // While a message box of an earlier tick is open, its loop delivers further ticks: they wait.
    if (is_filing_) return 0;
    is_filing_ = true;
    bool has_ended = scan_.on_timer_tick();
    file_new_records();
    is_filing_ = false;
    if (has_ended) grid_.show_loading(false);
    // The strip moves with every tick; what else changed (counts, details) invalidated itself.
    RECT client{};
    GetClientRect(hwnd(), &client);
    RECT strip = strip_rect(client);
    RedrawWindow(hwnd(), &strip, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    // Told once the last finds are on the grid, so that the user sees what was kept.
    if (has_ended) tell_run_end();
    return 0;
}

LRESULT recovery_window_c::on_start_search(UINT, WPARAM wp, LPARAM lp, bool&) {
    if (wp == 1 && lp) {
        scan_.start_scan(*reinterpret_cast<const scan_request_t*>(lp));
        InvalidateRect(hwnd(), nullptr, FALSE);
        tell_run_end();
    }
    return 0;
}

// A run that could not start, could not read the card or ended before the card's end is told in
// the message box; how much could not be read comes from the engine's summary.
void recovery_window_c::tell_run_end() {
    run_end_t end = scan_.take_untold_end();
    const char* key = run_end_message_key(end);
    if (!key) return;
    const engine_run_t& run = scan_.run();
    std::u16string text;
    if (end == run_end_t::read_errors) {
        text = run.has_summary ? format_text(lookup_text(key), {format_size(int64_t(run.summary.unreadable_sectors * 512))})
                               : lookup_text("scan_read_errors_unknown");
    } else {
        text = lookup_text(key);
    }
    bool is_nothing_scanned = end == run_end_t::no_engine || end == run_end_t::bad_cache_path ||
                              end == run_end_t::not_started || end == run_end_t::card_unreadable;
    show_message(main_window_, text, is_nothing_scanned ? mode_error : mode_warning);
}

// The page shows at once and fills as the loader lists the files, through the tick that files
// live finds; the spinner turns over the grid until the last of them is filed.
LRESULT recovery_window_c::on_show_results(UINT, WPARAM, LPARAM, bool&) {
    scan_.show_results(settings.cache_path);
    grid_.show_loading(scan_.is_loading());
    return 0;
}

LRESULT recovery_window_c::on_show_file_info(UINT, WPARAM wp, LPARAM, bool&) {
    current_ = static_cast<int32_t>(wp);
    // Only the details change; they are painted once the grid's own messages are done.
    RECT client{};
    GetClientRect(hwnd(), &client);
    RECT column = information_rect(client);
    InvalidateRect(hwnd(), &column, FALSE);
    return 0;
}

LRESULT recovery_window_c::on_selection_totals(UINT, WPARAM wp, LPARAM lp, bool&) {
    view_total_ = static_cast<int32_t>(wp);
    view_ticked_ = static_cast<int32_t>(lp);
    show_select_all();
    // Painted when the messages in hand are done: a tick that files finds repaints the page
    // once, not once for the counts and once for the strip.
    RECT client{};
    GetClientRect(hwnd(), &client);
    RECT column = information_rect(client);
    InvalidateRect(hwnd(), &column, FALSE);
    return 0;
}
