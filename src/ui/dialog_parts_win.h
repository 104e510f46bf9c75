// What the skinned dialogs (message box, cache warning, about) share: the caption's close
// button, bitmap buttons on one shared image list, the size and place of the dialog, the light
// body with its darker button band, and the icon with its wrapped message.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "res/resource.h"
#include "ui/bitmap_button_win.h"
#include "ui/text_slot_win.h"
#include "ui/ui_window_win.h"

constexpr COLORREF dialog_body_colour = RGB(226, 240, 253);
constexpr COLORREF dialog_message_colour = RGB(91, 135, 201);
constexpr int dialog_band_top = 130;

// Adds the close button that sits just inside the frame's top-right corner and ends the dialog
// with 0. Call it at WM_INITDIALOG, after the frame has read its thickness.
template <class T>
void add_dialog_close_button(T& dialog) {
    auto* close = new system_button_c<T>;
    close->init_button(IDB_DIALOG_CLOSE_NORMAL, IDB_DIALOG_CLOSE_HOVER, IDB_DIALOG_CLOSE_PRESSED,
                       RECT{dialog.frame_width, dialog.frame_height, 31 + dialog.frame_width,
                            21 + dialog.frame_height},
                       L"system_close");
    close->action = [](T& window) { window.end_dialog(0); };
    dialog.add_button(close);
}

// Makes the dialog's item `id` a bitmap button on the owner's list (normal, pressed and hover at
// 0, 1, 2), sized to the images, with white text in `font`, and moves it to (x, y) unless x < 0.
void attach_dialog_button(HWND dialog, int id, bitmap_button_c& button, HIMAGELIST list, HFONT font,
                          const std::u16string& caption, int x, int y);

// Sizes the dialog, centres it over its owner (or the work area) and gives it its region.
void size_and_centre_dialog(HWND dialog, int width, int height);

// Fills the client area with `body`, and from `band_top` down with `band`.
void fill_dialog_body(HWND dialog, HDC dc, HBRUSH body, HBRUSH band, int band_top = dialog_band_top);

// A dialog's message: wrapped into `area`, 6 pixels between lines, in Verdana 10.
text_slot_t dialog_message_slot(const std::u16string& text, RECT area);

// Paints the icon at (15, 30) and the message in the message colour; a message of one line is
// centred in its area.
void paint_dialog_message(HWND dialog, HBITMAP icon, const text_slot_t& message);

// Where a message dialog puts its parts for one text. A text taller than the dialog's usual
// text area makes the area, and so the dialog, taller by the difference (at most
// max_dialog_growth pixels); the button band and the buttons move down by as much.
constexpr int max_dialog_growth = 300;
struct dialog_layout_t {
    int width = 0, height = 0;  // of the dialog window
    text_slot_t message;        // its area in client coordinates
    int band_top = dialog_band_top;
    int growth = 0;  // added below the text area: add it to the y of everything under it
};
dialog_layout_t lay_out_dialog_message(const std::u16string& text, int width, int height, RECT area);
