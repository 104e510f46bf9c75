#include "ui/dialog_parts_win.h"

#include "base/wide_text_win.h"
#include "ui/draw_text_win.h"
#include "ui/painting_win.h"
#include "ui/shared_fonts_win.h"
#include "ui/window_place_win.h"

void attach_dialog_button(HWND dialog, int id, bitmap_button_c& button, HIMAGELIST list, HFONT font,
                          const std::u16string& caption, int x, int y) {
    HWND control = GetDlgItem(dialog, id);
    button.set_extended_style(button_style_hover | button_style_auto_size | button_style_shared_list);
    button.set_image_list(list);
    button.set_image_indices(0, 1, 2, -1);
    button.set_font(font);
    button.set_text_colour(RGB(255, 255, 255));
    button.attach(control);
    button.set_text(wide(caption));
    if (x >= 0) SetWindowPos(control, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void size_and_centre_dialog(HWND dialog, int width, int height) {
    SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    centre_window(dialog, GetWindow(dialog, GW_OWNER));
    set_whole_window_region(dialog);
}

void fill_dialog_body(HWND dialog, HDC dc, HBRUSH body, HBRUSH band, int band_top) {
    RECT client = client_rect(dialog);
    FillRect(dc, &client, body);
    client.top = band_top;
    FillRect(dc, &client, band);
}

text_slot_t dialog_message_slot(const std::u16string& text, RECT area) {
    text_slot_t slot;
    slot.text = text;
    slot.face = font_face::verdana;
    slot.points = 10;
    slot.area = area;
    slot.line_gap = 6;
    return slot;
}

void paint_dialog_message(HWND dialog, HBITMAP icon, const text_slot_t& message) {
    paint_dc_c paint(dialog);
    HDC dc = paint.get();
    draw_bitmap(dc, icon, 15, 30);
    SetTextColor(dc, dialog_message_colour);
    SetBkMode(dc, TRANSPARENT);
    draw_slot(dc, message, DT_VCENTER);
}

dialog_layout_t lay_out_dialog_message(const std::u16string& text, int width, int height, RECT area) {
    dialog_layout_t layout;
    layout.message = dialog_message_slot(text, area);
    const int growth = slot_overflow(layout.message, 0);
    layout.growth = growth <= 0 ? 0 : growth < max_dialog_growth ? growth : max_dialog_growth;
    layout.width = width;
    layout.height = height + layout.growth;
    layout.message.grows_to = area.bottom + max_dialog_growth;
    layout.message.area.bottom += layout.growth;
    layout.band_top = dialog_band_top + layout.growth;
    return layout;
}
