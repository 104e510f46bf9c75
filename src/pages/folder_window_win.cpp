#include "pages/folder_window_win.h"

#include "base/language.h"
#include "res/resource.h"
#include "ui/dialog_parts_win.h"
#include "ui/shared_fonts_win.h"

namespace {

constexpr int warning_width = 400, warning_height = 200;
// A longer text makes the dialog taller.
constexpr RECT message_area{80, 30, 372, 150};
constexpr int button_y = 136;

}  // namespace

dialog_layout_t cache_warning_layout(const std::u16string& text) {
    return lay_out_dialog_message(text, warning_width, warning_height, message_area);
}

folder_window_c::folder_window_c(std::u16string text) : text_(std::move(text)) {
    caption_height = 30;
    icon_ = load_skin_bitmap(IDB_ICON_WARNING);
}

LRESULT folder_window_c::on_init_dialog(UINT, WPARAM, LPARAM, bool&) {
    layout_ = cache_warning_layout(text_);
    add_dialog_close_button(*this);
    const int looks[] = {IDB_MESSAGE_BUTTON_NORMAL, IDB_MESSAGE_BUTTON_PRESSED, IDB_MESSAGE_BUTTON_HOVER};
    image_list_ = make_skin_image_list(70, 24, looks);
    HFONT font = shared_font(font_face::verdana, 9, true);
    attach_dialog_button(hwnd(), IDOK, ok_button_, image_list_.get(), font, lookup_text("btn_ok"), 230,
                         button_y + layout_.growth);
    attach_dialog_button(hwnd(), IDCANCEL, cancel_button_, image_list_.get(), font, lookup_text("btn_cancel"),
                         100, button_y + layout_.growth);
    body_brush_.reset(CreateSolidBrush(dialog_body_colour));
    band_brush_.reset(CreateSolidBrush(caption_colour));
    size_and_centre_dialog(hwnd(), layout_.width, layout_.height);
    return TRUE;
}

LRESULT folder_window_c::on_erase_background(UINT, WPARAM wp, LPARAM, bool&) {
    fill_dialog_body(hwnd(), reinterpret_cast<HDC>(wp), body_brush_.get(), band_brush_.get(), layout_.band_top);
    return 1;
}

LRESULT folder_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dialog_message(hwnd(), icon_.get(), layout_.message);
    return 0;
}

LRESULT folder_window_c::on_button(WORD, WORD id, HWND, bool&) {
    end_dialog(id);
    return 0;
}

int show_cache_warning(const std::u16string& text, HWND owner) {
    folder_window_c warning(text);
    INT_PTR result = warning.do_modal(owner);
    return result == IDOK || result == IDCANCEL ? static_cast<int>(result) : 0;
}
