#include "app/main_window_win.h"

#include <shellapi.h>

#include <cstring>

#include "base/language.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/wide_text_win.h"
#include "pages/about_window_win.h"
#include "res/resource.h"
#include "ui/bitmap_button_win.h"
#include "ui/draw_text_win.h"
#include "ui/message_box_win.h"
#include "ui/painting_win.h"
#include "ui/window_place_win.h"
#include "version.h"

namespace {

constexpr int step_ids[4] = {IDB_STEPS_0, IDB_STEPS_1, IDB_STEPS_2, IDB_STEPS_3};
constexpr int band_bottom = 24;
const wchar_t* const help_page_address = L"" TESSERA_WEB_ADDRESS "help/";

void close_action(main_window_c& window) { window.close_steps(); }
void minimise_action(main_window_c& window) { ShowWindow(window.hwnd(), SW_MINIMIZE); }
void menu_action(main_window_c& window) { window.open_menu(); }
void logo_action(main_window_c& window) {
    ShellExecuteW(window.hwnd(), nullptr, reinterpret_cast<const wchar_t*>(product_page_address()),
                  nullptr, nullptr, SW_SHOW);
}

// The logo's caption button, counted from the window's right and top edges past the frame.
RECT logo_hit_rect(int frame_width, int frame_height) {
    return RECT{frame_width + 20, frame_height + 25, frame_width + 110, frame_height + 25 + 83};
}

// x positions of the three step labels, chosen by the language's code.
void step_label_positions(int x[3]) {
    const char* code = current_language_code();
    auto is = [code](const char* c) { return code && std::strcmp(code, c) == 0; };
    if (is("fr") || is("it") || is("es")) {
        x[0] = 30, x[1] = 190, x[2] = 430;
    } else if (is("de")) {
        x[0] = 80, x[1] = 200, x[2] = 420;
    } else {
        x[0] = 110, x[1] = 250, x[2] = 420;
    }
}

void set_item_text(HMENU menu, UINT id, const std::u16string& text) {
    std::u16string copy = text;
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(wide(copy));
    SetMenuItemInfoW(menu, id, FALSE, &item);
}

}  // namespace

main_window_c::main_window_c() { caption_height = 100; }

bool main_window_c::pre_translate_message(MSG*) { return false; }

bool main_window_c::on_idle() { return false; }

void main_window_c::add_caption_button(int normal, int hover, int pressed, const RECT& hit,
                                       const wchar_t* name, void (*action)(main_window_c&)) {
    auto* button = new system_button_c<main_window_c>;
    button->action = action;
    button->init_button(normal, hover, pressed, hit, name);
    add_button(button);
}

LRESULT main_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    if (CMessageLoop* loop = app_module.get_message_loop()) {
        loop->add_message_filter(this);
        loop->add_idle_handler(this);
    }
    const int f = frame_width, t = frame_height;
    add_caption_button(IDB_CAPTION_CLOSE_NORMAL, IDB_CAPTION_CLOSE_HOVER, IDB_CAPTION_CLOSE_PRESSED,
                       RECT{f, t, f + 30, t + 21}, L"system_close", close_action);
    add_caption_button(IDB_CAPTION_MINIMISE_NORMAL, IDB_CAPTION_MINIMISE_HOVER, IDB_CAPTION_MINIMISE_PRESSED,
                       RECT{f + 30, t, f + 60, t + 21}, L"system_minimum", minimise_action);
    add_caption_button(IDB_CAPTION_MENU_NORMAL, IDB_CAPTION_MENU_HOVER, IDB_CAPTION_MENU_PRESSED,
                       RECT{f + 60, t, f + 90, t + 21}, L"system_dropdown", menu_action);

    band_image_ = load_skin_bitmap(IDB_CAPTION_BAND);
    logo_image_ = load_skin_bitmap(IDB_LOGO);
    if (band_image_.is_valid()) band_brush_.reset(CreatePatternBrush(band_image_.get()));
    for (int i = 0; i < 4; ++i) step_images_[i] = load_skin_bitmap(step_ids[i]);

    RECT client{};
    GetClientRect(hwnd(), &client);
    home_page_ = std::make_unique<home_window_c>(hwnd());
    scan_page_ = std::make_unique<recovery_window_c>(hwnd());
    options_page_ = std::make_unique<option_window_c>(hwnd());
    home_page_->create(hwnd(), client, L"", page_style | WS_VISIBLE);
    options_page_->create(hwnd(), client, L"", page_style);
    scan_page_->create(hwnd(), client, L"", page_style);
    current_page_ = home_page_->hwnd();

    build_menu();

    // The window borrows the icons; the class has none, so no earlier icon comes back to free.
    HINSTANCE instance = GetModuleHandleW(nullptr);
    large_icon_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    small_icon_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_.get()));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));

    set_whole_window_region(hwnd());
    add_caption_button(IDB_LOGO, IDB_LOGO, IDB_LOGO, logo_hit_rect(f, t), L"logo", logo_action);
    step_ = 0;
    return 0;
}

void main_window_c::build_menu() {
    menu_.reset(CreatePopupMenu());
    // The sub-menu belongs to menu_ once appended, and goes with it.
    HMENU languages = CreatePopupMenu();
    const auto& names = language_table().names();
    for (size_t i = 0; i < names.size(); ++i) {
        UINT flags = MF_STRING | (i == language_table().current_index() ? MF_CHECKED : 0);
        AppendMenuW(languages, flags, id_language_first + i, wide(names[i]));
    }
    HMENU menu = menu_.get();
    AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(languages), L"Language");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, id_menu_help, L"Help");
    AppendMenuW(menu, MF_STRING, id_menu_about, L"About");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, id_menu_exit, L"Exit");
}

LRESULT main_window_c::on_destroy(UINT, WPARAM, LPARAM, bool&) {
    if (CMessageLoop* loop = app_module.get_message_loop()) {
        loop->remove_message_filter(this);
        loop->remove_idle_handler(this);
    }
    PostQuitMessage(0);
    return 0;
}

LRESULT main_window_c::on_set_focus(UINT, WPARAM, LPARAM, bool&) {
    if (IsWindow(current_page_)) SetFocus(current_page_);
    return 0;
}

LRESULT main_window_c::on_close(UINT, WPARAM, LPARAM, bool&) {
    close_steps();
    return 0;
}

void main_window_c::close_steps() {
    if (scan_page_ && !scan_page_->may_close()) return;
    if (scan_page_) scan_page_->terminate_engine();
    DestroyWindow(hwnd());
}

void main_window_c::open_menu() {
    set_item_text(menu_.get(), id_menu_help, lookup_text("menu_help"));
    set_item_text(menu_.get(), id_menu_exit, lookup_text("menu_exit"));
    set_item_text(menu_.get(), id_menu_about, lookup_text("menu_about"));
    RECT window{}, client{};
    GetWindowRect(hwnd(), &window);
    GetClientRect(hwnd(), &client);
    int x = window.left + client.right - 103;
    int y = window.top + 10;
    x = clamp_to_work_area(x, y);
    TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, hwnd(), nullptr);
}

LRESULT main_window_c::on_erase_background(UINT, WPARAM wp, LPARAM, bool&) {
    RECT client{};
    GetClientRect(hwnd(), &client);
    InflateRect(&client, -1, -1);
    FillRect(reinterpret_cast<HDC>(wp), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return 0;
}

LRESULT main_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dc_c paint(hwnd());
    return 0;
}

LRESULT main_window_c::on_get_min_max_info(UINT, WPARAM, LPARAM lp, bool&) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lp);
    info->ptMinTrackSize.x = main_window_width;
    info->ptMinTrackSize.y = main_window_height;
    return 0;
}

// A minimised window would stay an icon after SW_SHOW, so it is restored first: the user who
// started a second copy wants to see the first one.
LRESULT main_window_c::on_raise_window(UINT, WPARAM, LPARAM, bool&) {
    ShowWindow(hwnd(), IsIconic(hwnd()) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd());
    BringWindowToTop(hwnd());
    return 0;
}

void main_window_c::switch_to(HWND page, int new_step) {
    if (new_step >= 0) {
        step_ = new_step;
        repaint_frame_now();
    }
    if (!page || page == current_page_) return;
    if (current_page_) ShowWindow(current_page_, SW_HIDE);
    current_page_ = page;
    ShowWindow(page, SW_SHOW);
    SetFocus(page);
    fit_current_page();
}

// The current page fills the client area. A minimised window has no client area: a page switched
// to meanwhile keeps its size, and restoring (WM_SIZE) fits it again.
void main_window_c::fit_current_page() {
    if (!current_page_ || IsIconic(hwnd())) return;
    RECT client{};
    GetClientRect(hwnd(), &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    SetWindowPos(current_page_, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(current_page_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT main_window_c::on_size(UINT, WPARAM wp, LPARAM, bool&) {
    if (wp != SIZE_MINIMIZED) fit_current_page();
    return 0;
}

LRESULT main_window_c::on_show_page(UINT msg, WPARAM wp, LPARAM lp, bool&) {
    switch (msg) {
    case UM_SHOW_HOME:
        switch_to(home_page(), 0);
        break;
    case UM_SHOW_OPTIONS:
        switch_to(options_page(), 1);
        break;
    case UM_SHOW_SCAN_AND_START:
        switch_to(scan_page(), 2);
        if (wp != 0 && scan_page()) SendMessageW(scan_page(), UM_START_SEARCH, wp, lp);
        break;
    case UM_SHOW_SCAN:
        switch_to(scan_page(), -1);
        if (scan_page()) SendMessageW(scan_page(), UM_SHOW_RESULTS, wp, lp);
        break;
    }
    return 0;
}

LRESULT main_window_c::on_step_done(UINT, WPARAM, LPARAM, bool&) {
    if (step_ != 3) {
        step_ = 3;
        repaint_frame_now();
    }
    return 0;
}

LRESULT main_window_c::on_language(WORD, WORD id, HWND, bool&) {
    size_t index = id - id_language_first;
    const auto& names = language_table().names();
    if (index >= names.size() || index == language_table().current_index()) return 0;
    settings.language = cut_to_capacity(names[index], language_capacity);
    language_table().set_current_index(index);
    save_settings();
    show_message(hwnd(), lookup_text("config_language_change_notice"), mode_notice);
    return 0;
}

LRESULT main_window_c::on_help(WORD, WORD, HWND, bool&) {
    ShellExecuteW(hwnd(), nullptr, help_page_address, nullptr, nullptr, SW_SHOW);
    return 0;
}

LRESULT main_window_c::on_about(WORD, WORD, HWND, bool&) {
    about_window_c about;
    about.show_modal(hwnd());
    return 0;
}

LRESULT main_window_c::on_exit(WORD, WORD, HWND, bool&) {
    close_steps();
    return 0;
}

void main_window_c::paint_band(HDC dc, const RECT& window) {
    if (!band_brush_.is_valid()) return;
    RECT band{0, frame_height, window.right - window.left, band_bottom};
    FillRect(dc, &band, band_brush_.get());
}

void main_window_c::paint_caption(HDC dc, const RECT&) {
    wchar_t title[256] = {};
    int length = GetWindowTextW(hwnd(), title, 256);
    if (length <= 0) return;
    SetBkMode(dc, TRANSPARENT);
    select_object_c font(dc, shared_font(font_face::verdana, 8, true));
    SetTextColor(dc, title_colour);
    if (large_icon_.is_valid()) DrawIconEx(dc, 5, 5, large_icon_.get(), 20, 20, 0, nullptr, DI_NORMAL);
    TextOutW(dc, 30, 8, title, length);
    SetTextColor(dc, RGB(255, 255, 255));
    for (const text_slot_t& slot : step_text_slots()) draw_slot(dc, slot);
    if (step_ >= 0 && step_ < 4) draw_bitmap(dc, step_images_[step_].get(), 20, 60);
}

std::vector<text_slot_t> main_window_c::step_text_slots() const {
    RECT window{};
    GetWindowRect(hwnd(), &window);
    int x[3];
    step_label_positions(x);
    const int logo_left = (window.right - window.left) - logo_hit_rect(frame_width, frame_height).right;
    const int ends[3] = {x[1], x[2], logo_left};
    const char* keys[3] = {"top_step1", "top_step2", "top_step3"};
    std::vector<text_slot_t> slots;
    for (int i = 0; i < 3; ++i) {
        text_slot_t slot;
        slot.key = keys[i];
        slot.text = lookup_text(keys[i]);
        slot.is_bold = true;
        slot.area = RECT{x[i], 38, ends[i], 54};
        slots.push_back(slot);
    }
    return slots;
}

void centre_on_work_area(HWND window) { centre_window(window, nullptr); }
