#include "ui/message_window_win.h"

#include <shellapi.h>

#include "app/language.h"
#include "app/settings.h"
#include "app/wide_text_win.h"
#include "ui/draw_text_win.h"
#include "ui/painting_win.h"

namespace {

constexpr int box_width = 300, box_height = 200;
constexpr int band_top = 130;
constexpr COLORREF body_colour = RGB(226, 240, 253);
constexpr COLORREF text_colour = RGB(91, 135, 201);

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

void close_box(message_window_c& box) { box.end_dialog(0); }

}  // namespace

message_window_c::message_window_c(const std::u16string& text, int mode) : text_(text), mode_(mode) {
    caption_height = 30;
    if (int icon = icon_of_mode(mode)) icon_ = load_skin_bitmap(icon);
}

int message_window_c::show_modal(HWND owner) {
    INT_PTR result = do_modal(owner);
    return result == 1 || result == 2 ? static_cast<int>(result) : 0;
}

void message_window_c::attach_button(bitmap_button_c& button, int id, const char* caption_key, int x) {
    HWND control = GetDlgItem(hwnd(), id);
    button.set_extended_style(button_style_hover | button_style_auto_size | button_style_shared_list);
    button.set_image_list(image_list_.get());
    button.set_image_indices(0, 1, 2, -1);
    button.set_font(shared_font(font_face::verdana, 9, true));
    button.set_text_colour(RGB(255, 255, 255));
    button.attach(control);
    button.set_text(wide(lookup_text(caption_key)));
    if (x >= 0) SetWindowPos(control, nullptr, x, 136, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT message_window_c::on_init_dialog(UINT, WPARAM, LPARAM, bool&) {
    auto* close = new system_button_c<message_window_c>;
    close->init_button(IDB_DIALOG_CLOSE_NORMAL, IDB_DIALOG_CLOSE_HOVER, IDB_DIALOG_CLOSE_PRESSED,
                       RECT{frame_width, frame_height, 31 + frame_width, 21 + frame_height}, L"system_close");
    close->action = close_box;
    add_button(close);

    const int looks[] = {IDB_MESSAGE_BUTTON_NORMAL, IDB_MESSAGE_BUTTON_PRESSED, IDB_MESSAGE_BUTTON_HOVER};
    image_list_ = make_skin_image_list(70, 24, looks);
    if (mode_ == mode_question || mode_ == mode_done) {
        attach_button(first_button_, 1, mode_ == mode_question ? "btn_yes" : "btn_open", 180);
        attach_button(second_button_, 2, mode_ == mode_question ? "btn_no" : "btn_ok", 50);
    } else {
        attach_button(first_button_, 1, "btn_ok", 115);
    }
    background_brush_.reset(CreateSolidBrush(body_colour));
    band_brush_.reset(CreateSolidBrush(caption_colour));

    SetWindowPos(hwnd(), nullptr, 0, 0, box_width, box_height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    centre_window(hwnd(), GetWindow(hwnd(), GW_OWNER));
    set_whole_window_region(hwnd());
    return TRUE;
}

LRESULT message_window_c::on_erase_background(UINT, WPARAM wp, LPARAM, bool&) {
    HDC dc = reinterpret_cast<HDC>(wp);
    RECT client{};
    GetClientRect(hwnd(), &client);
    FillRect(dc, &client, background_brush_.get());
    client.top = band_top;
    FillRect(dc, &client, band_brush_.get());
    return 1;
}

LRESULT message_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dc_c paint(hwnd());
    HDC dc = paint.get();
    draw_bitmap(dc, icon_.get(), 15, 30);
    select_object_c font(dc, shared_font(font_face::verdana, 10, false));
    SetTextColor(dc, text_colour);
    SetBkMode(dc, TRANSPARENT);
    RECT area{80, 30, 272, 100};
    draw_wrapped_text(dc, text_, area, 6, DT_VCENTER);
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
