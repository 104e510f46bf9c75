#include "pages/about_window_win.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "base/app_folder.h"
#include "base/language.h"
#include "base/text_format.h"
#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "res/resource.h"
#include "ui/dialog_parts_win.h"
#include "ui/painting_win.h"
#include "ui/shared_fonts_win.h"
#include "version.h"

namespace {

constexpr int about_width = 500, about_height = 400;
constexpr RECT white_area{15, 85, 470, 185};
constexpr size_t max_info_characters = 1023;
constexpr int max_info_growth = 200;
constexpr int information_y = 65;
constexpr int update_button_y = 210, back_button_y = 250;

text_slot_t verdana8_slot(const char* key, std::u16string text, RECT area, int line_gap) {
    text_slot_t slot;
    slot.key = key;
    slot.text = std::move(text);
    slot.area = area;
    slot.line_gap = line_gap;
    return slot;
}

// The compiler's forms: "Jun  9 2013" and "20:17:49".
const char build_date[] = __DATE__;
const char build_time[] = __TIME__;

}  // namespace

std::u16string about_info_text() {
    std::u16string pattern = lookup_text("about_info");
    const std::u16string token = u"{version}";
    for (size_t at = pattern.find(token); at != std::u16string::npos; at = pattern.find(token, at))
        pattern.replace(at, token.size(), utf8_to_utf16(TESSERA_VERSION_TEXT));
    std::u16string text = format_text(pattern, {u"", utf8_to_utf16(build_date), utf8_to_utf16(build_time)});
    if (text.size() > max_info_characters) text.resize(max_info_characters);
    return text;
}

about_layout_t about_layout() {
    about_layout_t layout;
    layout.name.key = "about_name";
    layout.name.text = lookup_text("about_name");
    layout.name.face = font_face::arial;
    layout.name.points = 25;
    layout.name.is_bold = true;
    layout.name.area = RECT{90, 49, 460, 90};
    layout.copyright = verdana8_slot("about_copyright", lookup_text("about_copyright"), RECT{15, 5, 485, 20}, -1);
    // One line stands at information_y; more lines take the room under the copyright, upwards.
    text_slot_t one_line = verdana8_slot("", u"A", RECT{0, 0, 100, 0}, 6);
    const int line_height = slot_height(one_line);
    layout.information = verdana8_slot("about_information", lookup_text("about_information"),
                                       RECT{15, 25, 485, information_y + line_height}, 6);
    const int taken = slot_height(layout.information);
    layout.information_top = taken > line_height ? information_y + line_height - taken : information_y;
    if (layout.information_top < layout.information.area.top) layout.information_top = layout.information.area.top;
    // The block with the version grows the white panel, and the dialog, downwards.
    layout.info = verdana8_slot("about_info", about_info_text(),
                                RECT{white_area.left + 5, white_area.top + 10, white_area.right - 5, white_area.bottom - 10}, 6);
    const int growth = slot_overflow(layout.info, 0);
    layout.growth = growth <= 0 ? 0 : growth < max_info_growth ? growth : max_info_growth;
    layout.info.grows_to = layout.info.area.bottom + max_info_growth;
    layout.info.area.bottom += layout.growth;
    layout.white_area = white_area;
    layout.white_area.bottom += layout.growth;
    layout.height = about_height + layout.growth;
    return layout;
}

about_window_c::about_window_c() {
    caption_height = 100;
    emblem_ = load_skin_bitmap(IDB_EMBLEM);
    strip_ = load_skin_bitmap(IDB_ABOUT_STRIP);
    if (strip_.is_valid()) strip_brush_.reset(CreatePatternBrush(strip_.get()));
    body_brush_.reset(CreateSolidBrush(caption_colour));
}

int about_window_c::show_modal(HWND owner) {
    INT_PTR result = do_modal(owner);
    return result == 1 || result == 2 ? static_cast<int>(result) : 0;
}

LRESULT about_window_c::on_init_dialog(UINT, WPARAM, LPARAM, bool&) {
    layout_ = about_layout();
    add_dialog_close_button(*this);
    const int looks[] = {IDB_ABOUT_BUTTON_NORMAL, IDB_ABOUT_BUTTON_PRESSED, IDB_ABOUT_BUTTON_HOVER};
    image_list_ = make_skin_image_list(130, 24, looks);
    HFONT font = shared_font(font_face::verdana, 8, false);
    attach_dialog_button(hwnd(), IDOK, update_button_, image_list_.get(), font, lookup_text("about_btn_check"),
                         340, update_button_y + layout_.growth);
    attach_dialog_button(hwnd(), IDCANCEL, back_button_, image_list_.get(), font, lookup_text("about_btn_bk"),
                         340, back_button_y + layout_.growth);
    size_and_centre_dialog(hwnd(), about_width, layout_.height);
    return TRUE;
}

void about_window_c::paint_caption(HDC dc, const RECT&) {
    draw_bitmap(dc, emblem_.get(), 20, 30);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    draw_slot(dc, layout_.name);
    const int strip_height = strip_.is_valid() ? bitmap_size(strip_.get()).cy : 0;
    RECT line{5, 100 - strip_height, 490, 100};
    if (strip_brush_.is_valid()) FillRect(dc, &line, strip_brush_.get());
}

LRESULT about_window_c::on_erase_background(UINT, WPARAM wp, LPARAM, bool&) {
    HDC dc = reinterpret_cast<HDC>(wp);
    RECT client = client_rect(hwnd());
    FillRect(dc, &client, body_brush_.get());
    FillRect(dc, &layout_.white_area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return 1;
}

LRESULT about_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dc_c paint(hwnd());
    HDC dc = paint.get();
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    draw_slot(dc, layout_.copyright);
    text_slot_t information = layout_.information;
    information.area.top = layout_.information_top;
    draw_slot(dc, information);
    SetTextColor(dc, RGB(0, 0, 0));
    draw_slot(dc, layout_.info);
    return 0;
}

void about_window_c::run_updater() {
    wchar_t path[MAX_PATH] = {};
    // A folder too long to take both components would name something else: start nothing then.
    bool is_whole = app_folder.size() < MAX_PATH && lstrcpynW(path, wide(app_folder), MAX_PATH) &&
                    PathAppendW(path, L"update") && PathAppendW(path, L"update.exe");
    if (is_whole) ShellExecuteW(hwnd(), nullptr, path, nullptr, nullptr, SW_SHOW);
    end_dialog(1);
}

LRESULT about_window_c::on_update(WORD, WORD, HWND, bool&) {
    run_updater();
    return 0;
}

LRESULT about_window_c::on_back(WORD, WORD, HWND, bool&) {
    end_dialog(2);
    return 0;
}
