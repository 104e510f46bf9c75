#include "pages/option_window_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "base/app_messages.h"
#include "base/language.h"
#include "base/settings.h"
#include "base/wide_text_win.h"
#include "pages/drive_list.h"
#include "pages/drive_list_win.h"
#include "pages/folder_picker_win.h"
#include "ui/shared_fonts_win.h"

namespace {

// Windows tells a radio button's parent of a click also when a mouse press gives the radio the
// focus, and again on the release that checks it: one click would switch the folder field, and
// warn, twice. A notice that comes while the primary button is still down is the focus's; the
// release's (or the space bar's) follows and is the one acted on.
bool is_primary_button_down() {
    int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return GetKeyState(button) < 0;
}

constexpr COLORREF title_colour = RGB(71, 130, 195);
constexpr COLORREF note_colour = RGB(91, 135, 201);
constexpr COLORREF warning_colour = RGB(255, 126, 0);
constexpr COLORREF check_background = RGB(245, 250, 253);
constexpr COLORREF frame_colour = RGB(140, 178, 215);
constexpr COLORREF band_colour = RGB(226, 240, 253);
constexpr int band_top = 435;

// Where each control stands; bitmap buttons take the size of their images.
struct control_place_t {
    int id, x, y, width, height;
};
constexpr control_place_t control_places[] = {
    {option_window_c::id_card_list, 60, 129, 398, 24},   {option_window_c::id_camera_list, 60, 204, 398, 300},
    {option_window_c::id_refresh, 468, 128, 0, 0},       {option_window_c::id_photo, 92, 270, 70, 24},
    {option_window_c::id_video, 212, 270, 100, 24},      {option_window_c::id_audio, 352, 270, 100, 24},
    {option_window_c::id_recovery_radio, 60, 312, 15, 20}, {option_window_c::id_cache_radio, 270, 312, 15, 20},
    {option_window_c::id_folder_field, 60, 340, 400, 18}, {option_window_c::id_browse, 468, 336, 0, 0},
    {option_window_c::id_open, 578, 336, 0, 0},          {option_window_c::id_back, 452, 445, 0, 0},
    {option_window_c::id_next, 564, 445, 0, 0},          {option_window_c::id_close, 675, 445, 0, 0},
};

// The six bitmap buttons in creation order, with their normal, pressed and hover images.
struct button_entry_t {
    int id;
    const char* text_key;
    int normal, pressed, hover;
};
constexpr button_entry_t button_entries[] = {
    {option_window_c::id_refresh, "btn_refresh", IDB_SMALL_BUTTON_NORMAL, IDB_SMALL_BUTTON_PRESSED, IDB_SMALL_BUTTON_HOVER},
    {option_window_c::id_browse, "btn_browse", IDB_SMALL_BUTTON_NORMAL, IDB_SMALL_BUTTON_PRESSED, IDB_SMALL_BUTTON_HOVER},
    {option_window_c::id_open, "btn_open", IDB_SMALL_BUTTON_NORMAL, IDB_SMALL_BUTTON_PRESSED, IDB_SMALL_BUTTON_HOVER},
    {option_window_c::id_back, "btn_back", IDB_PAGE_BUTTON_NORMAL, IDB_PAGE_BUTTON_PRESSED, IDB_PAGE_BUTTON_HOVER},
    {option_window_c::id_next, "btn_next", IDB_PAGE_BUTTON_NORMAL, IDB_PAGE_BUTTON_PRESSED, IDB_PAGE_BUTTON_HOVER},
    {option_window_c::id_close, "btn_close", IDB_PAGE_BUTTON_NORMAL, IDB_PAGE_BUTTON_PRESSED, IDB_PAGE_BUTTON_HOVER},
};

// The tick boxes' labels are in Arial 9.
constexpr font_face check_font_face = font_face::arial;
constexpr int check_font_points = 9;
struct check_entry_t {
    int id;
    const char* text_key;
};
constexpr check_entry_t check_entries[] = {
    {option_window_c::id_photo, "option_photo"},
    {option_window_c::id_video, "option_video"},
    {option_window_c::id_audio, "option_audio"},
};

// The camera brands offered; the choice is shown only and never read.
const wchar_t* const camera_names[] = {
    L"General Digital Camera", L"Agfa Digital Camera",     L"Argus Digital Camera",     L"Canon Digital Camera",
    L"Casio Digital Camera",   L"Chinon Epson Digital Camera", L"FujiFilm Digital Camera", L"Goldstar Digital Camera",
    L"HP Digital Camera",      L"Hitachi Digital Camera",  L"IBM Digital Camera",       L"Imation Digital Camera",
    L"JVC Digital Camera",     L"Kinon Digital Camera",    L"Kodak Digital Camera",     L"Konica Digital Camera",
    L"Kyocera Digital Camera", L"LG Digital Camera",       L"Leica Digital Camera",     L"Lexar Digital Camera",
    L"Lumix Digital Camera",   L"Minolta Digital Camera",  L"NEC Digital Camera",       L"Nikon Digital Camera",
    L"Olympus Digital Camera", L"Panasonic Digital Camera", L"Pentax Digital Camera",   L"Phillips Digital Camera",
    L"Polaroid Digital Camera", L"Ricoh Digital Camera",   L"Samsung Digital Camera",   L"SanDisk Digital Camera",
    L"Sanyo Digital Camera",   L"Sharp Digital Camera",    L"Sigma Digital Camera",     L"Sony Digital Camera",
    L"Toshiba Digital Camera", L"Verbatim Digital Camera", L"Vivitar Digital Camera",   L"Yashica Digital Camera",
};

// A text painted on the page: its top left corner, the right edge it must stay left of (the
// page's margin, or the control beside it) and its font.
struct painted_text_t {
    const char* key;
    int x, y, right;
    font_face face;
    int points;
    bool is_bold;
    COLORREF colour;
};
constexpr int text_right = 780;
constexpr painted_text_t painted_texts[] = {
    {"option_title1", 60, 20, text_right, font_face::verdana, 10, true, title_colour},
    {"option_text1", 78, 42, text_right, font_face::arial, 8, false, RGB(0, 0, 0)},
    {"option_text2", 78, 60, text_right, font_face::arial, 8, false, RGB(0, 0, 0)},
    {"option_text3", 78, 78, text_right, font_face::arial, 8, false, RGB(0, 0, 0)},
    {"option_title2", 60, 109, text_right, font_face::verdana, 10, true, title_colour},
    {"option_text4", 60, 156, text_right, font_face::verdana, 8, false, note_colour},
    {"option_title3", 60, 185, text_right, font_face::verdana, 10, true, title_colour},
    {"option_title4", 60, 246, text_right, font_face::verdana, 10, true, title_colour},
    {"option_title5", 80, 312, 270, font_face::verdana, 10, true, title_colour},
    {"cache_folder", 290, 312, text_right, font_face::verdana, 10, true, title_colour},
    {"option_text5", 60, 363, text_right, font_face::verdana, 8, false, note_colour},
    {"option_text6", 60, 395, text_right, font_face::verdana, 10, true, warning_colour},
};

text_slot_t slot_of(const painted_text_t& painted) {
    text_slot_t slot;
    slot.key = painted.key;
    slot.text = lookup_text(painted.key);
    slot.face = painted.face;
    slot.points = painted.points;
    slot.is_bold = painted.is_bold;
    slot.area = RECT{painted.x, painted.y, painted.right, painted.y + 20};
    return slot;
}

struct painted_image_t {
    int id, x, y;
};
constexpr painted_image_t painted_images[] = {
    {IDB_BULLET, 66, 47}, {IDB_BULLET, 66, 65}, {IDB_BULLET, 66, 83},
    {IDB_KIND_PHOTO, 70, 273}, {IDB_KIND_VIDEO, 190, 274}, {IDB_KIND_AUDIO, 330, 274},
};

void draw_frame(HDC dc, RECT rect, HBRUSH brush) { FrameRect(dc, &rect, brush); }

const control_place_t* place_of(int id) {
    for (const control_place_t& place : control_places)
        if (place.id == id) return &place;
    return nullptr;
}

void set_font(HWND control, HFONT font) { SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

}  // namespace

scan_request_t search_request;

std::vector<text_slot_t> option_page_text_slots() {
    std::vector<text_slot_t> slots;
    for (const painted_text_t& text : painted_texts) slots.push_back(slot_of(text));
    // A tick box's label stands right of its box, in the control's font.
    const int box_width = GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE);
    for (const check_entry_t& entry : check_entries) {
        const control_place_t* place = place_of(entry.id);
        text_slot_t slot;
        slot.key = entry.text_key;
        slot.text = lookup_text(entry.text_key);
        slot.face = check_font_face;
        slot.points = check_font_points;
        slot.area = RECT{place->x + box_width, place->y, place->x + place->width, place->y + place->height};
        slots.push_back(slot);
    }
    return slots;
}

HWND option_window_c::create_control(const wchar_t* window_class, const std::u16string& text, DWORD style, int id) {
    const control_place_t* place = place_of(id);
    return CreateWindowExW(0, window_class, wide(text), WS_CHILD | WS_VISIBLE | style, place->x, place->y,
                           place->width, place->height, hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

LRESULT option_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_USEREX_CLASSES};
    InitCommonControlsEx(&classes);
    create_controls();
    background_ = load_skin_bitmap(IDB_PAGE_BACKGROUND);
    for (size_t i = 0; i < std::size(painted_images); ++i) images_[i] = load_skin_bitmap(painted_images[i].id);
    check_brush_.reset(CreateSolidBrush(check_background));
    frame_brush_.reset(CreateSolidBrush(frame_colour));
    band_brush_.reset(CreateSolidBrush(band_colour));
    HFONT arial9 = shared_font(font_face::arial, 9, false);
    HWND field = create_control(L"EDIT", settings.recovery_path, 0, id_folder_field);
    set_font(field, arial9);
    edit_shows_cache_ = false;
    return 0;
}

void option_window_c::create_controls() {
    HFONT button_font = shared_font(font_face::verdana, 9, true);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const button_entry_t& entry = button_entries[i];
        HWND button = create_control(L"BUTTON", lookup_text(entry.text_key), BS_PUSHBUTTON, entry.id);
        buttons_[i].attach(button);
        set_button_images(buttons_[i], entry.normal, entry.pressed, entry.hover);
        buttons_[i].set_font(button_font);
        buttons_[i].set_text_colour(RGB(255, 255, 255));
    }
    HFONT arial9 = shared_font(font_face::arial, 9, false);
    HFONT check_font = shared_font(check_font_face, check_font_points, false);
    for (const check_entry_t& entry : check_entries)
        set_font(create_control(L"BUTTON", lookup_text(entry.text_key), BS_AUTOCHECKBOX | WS_TABSTOP, entry.id),
                 check_font);
    create_control(L"BUTTON", u"", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, id_recovery_radio);
    create_control(L"BUTTON", u"", BS_AUTORADIOBUTTON, id_cache_radio);
    CheckRadioButton(hwnd(), id_recovery_radio, id_cache_radio, id_recovery_radio);

    HWND cards = create_control(L"COMBOBOX", u"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, id_card_list);
    set_font(cards, arial9);
    fill_card_list();
    HWND cameras = create_control(WC_COMBOBOXEXW, u"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, id_camera_list);
    set_font(cameras, arial9);
    for (const wchar_t* name : camera_names) {
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT;
        item.iItem = -1;
        item.pszText = const_cast<wchar_t*>(name);
        SendMessageW(cameras, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(cameras, CB_SETCURSEL, 0, 0);
}

void option_window_c::fill_card_list() {
    HWND cards = GetDlgItem(hwnd(), id_card_list);
    SendMessageW(cards, CB_RESETCONTENT, 0, 0);
    for (const drive_info_t& drive : drive_list)
        SendMessageW(cards, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(drive.display_label)));
    SendMessageW(cards, CB_SETCURSEL, 0, 0);
}

LRESULT option_window_c::on_size(UINT, WPARAM, LPARAM, bool&) {
    for (const control_place_t& place : control_places) {
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (place.width == 0 ? SWP_NOSIZE : 0);
        SetWindowPos(GetDlgItem(hwnd(), place.id), nullptr, place.x, place.y, place.width, place.height, flags);
    }
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
}

LRESULT option_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dc_c target(hwnd());
    RECT client = client_rect(hwnd());
    memory_dc_c buffer(target.get(), client.right, client.bottom);
    paint(buffer.get(), client);
    buffer.copy_to(target.get());
    return 0;
}

void option_window_c::paint(HDC dc, const RECT& client) {
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_bitmap(dc, background_.get(), 0, 0);
    SetBkMode(dc, TRANSPARENT);
    for (const painted_text_t& text : painted_texts) {
        SetTextColor(dc, text.colour);
        draw_slot(dc, slot_of(text));
    }
    for (size_t i = 0; i < std::size(painted_images); ++i)
        draw_bitmap(dc, images_[i].get(), painted_images[i].x, painted_images[i].y);
    draw_frame(dc, RECT{60, 265, 460, 296}, frame_brush_.get());
    draw_frame(dc, RECT{59, 337, 461, 360}, frame_brush_.get());
    RECT band{0, band_top, client.right, client.bottom};
    FillRect(dc, &band, band_brush_.get());
}

LRESULT option_window_c::on_control_colour(UINT, WPARAM wp, LPARAM, bool&) {
    SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
    return reinterpret_cast<LRESULT>(check_brush_.get());
}

LRESULT option_window_c::on_command(UINT, WPARAM wp, LPARAM, bool& handled) {
    switch (LOWORD(wp)) {
    case id_back: SendMessageW(main_window_, UM_SHOW_HOME, 0, 0); break;
    case id_next: start_search(); break;
    case id_close: SendMessageW(main_window_, WM_CLOSE, 0, 0); break;
    case id_refresh: refresh_cards(); break;
    case id_browse: browse_folder(); break;
    case id_open: open_folder(); break;
    case id_recovery_radio:
    case id_cache_radio:
        if (!is_primary_button_down()) switch_folder_field(LOWORD(wp));
        break;
    default: handled = false; break;
    }
    return 0;
}

void option_window_c::refresh_cards() {
    refresh_drive_list();
    fill_card_list();
}

void option_window_c::browse_folder() {
    std::u16string folder;
    if (pick_folder(folder)) SetDlgItemTextW(hwnd(), id_folder_field, wide(folder));
}

void option_window_c::open_folder() {
    std::u16string folder = folder_field_text();
    ShellExecuteW(hwnd(), nullptr, wide(folder), nullptr, nullptr, SW_SHOWNORMAL);
}
