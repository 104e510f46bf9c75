#include "ui/message_window_win.h"

#include <shellapi.h>

#include "base/language.h"
#include "base/settings.h"
#include "base/wide_text_win.h"
#include "ui/dialog_parts_win.h"

namespace {

constexpr int box_width = 300, box_height = 200;
// Three lines of the message font; a longer text makes the box taller.
constexpr RECT message_area{80, 30, 272, 100};
constexpr int button_y = 136;

int icon_of_mode(int mode) {
    switch (mode) {
    case mode_notice: return IDB_ICON_NOTICE;
    case mode_warning: return IDB_ICON_WARNING;
    case mode_error: return IDB_ICON_ERROR;
    case mode_question: return IDB_ICON_QUESTION;
    case mode_done: return IDB_ICON_NOTICE;
    default: return 0;
    }
}

}  // namespace

dialog_layout_t message_box_layout(const std::u16string& text) {
    return lay_out_dialog_message(text, box_width, box_height, message_area);
}

message_window_c::message_window_c(const std::u16string& text, int mode) : text_(text), mode_(mode) {
    caption_height = 30;
    if (int icon = icon_of_mode(mode)) icon_ = load_skin_bitmap(icon);
}

int message_window_c::show_modal(HWND owner) {
    INT_PTR result = do_modal(owner);
    return result == 1 || result == 2 ? static_cast<int>(result) : 0;
}

void message_window_c::attach_button(bitmap_button_c& button, int id, const char* caption_key, int x) {
    attach_dialog_button(hwnd(), id, button, image_list_.get(), shared_font(font_face::verdana, 9, true),
                         lookup_text(caption_key), x, button_y + layout_.growth);
}

LRESULT message_window_c::on_init_dialog(UINT, WPARAM, LPARAM, bool&) {
    layout_ = message_box_layout(text_);
    add_dialog_close_button(*this);
    const int looks[] = {IDB_MESSAGE_BUTTON_NORMAL, IDB_MESSAGE_BUTTON_PRESSED, IDB_MESSAGE_BUTTON_HOVER};
    image_list_ = make_skin_image_list(70, 24, looks);
    if (mode_ == mode_question || mode_ == mode_done) {
        attach_button(first_button_, 1, mode_ == mode_question ? "btn_yes" : "btn_open", 180);
        attach_button(second_button_, 2, mode_ == mode_question ? "btn_no" : "btn_ok", 50);
    } else {
        attach_button(first_button_, 1, "btn_ok", 115);
    }
    background_brush_.reset(CreateSolidBrush(dialog_body_colour));
    band_brush_.reset(CreateSolidBrush(caption_colour));
    size_and_centre_dialog(hwnd(), layout_.width, layout_.height);
    return TRUE;
}

LRESULT message_window_c::on_erase_background(UINT, WPARAM wp, LPARAM, bool&) {
    fill_dialog_body(hwnd(), reinterpret_cast<HDC>(wp), background_brush_.get(), band_brush_.get(),
                     layout_.band_top);
    return 1;
}

LRESULT message_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dialog_message(hwnd(), icon_.get(), layout_.message);
    return 0;
}

LRESULT message_window_c::on_first(WORD, WORD, HWND, bool&) {
    if (mode_ == mode_done)
        ShellExecuteW(hwnd(), nullptr, wide(settings.recovery_path), nullptr, nullptr, SW_SHOW);
    end_dialog(1);
    return 0;
}

LRESULT message_window_c::on_second(WORD, WORD, HWND, bool&) {
    end_dialog(2);
    return 0;
}
