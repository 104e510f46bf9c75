// The program's own modal message box: a skinned 300 × 200 dialog with an icon by mode, the
// wrapped text and one or two bitmap buttons labelled from the language file. A text longer
// than three lines makes the box taller, with the buttons further down.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "res/resource.h"
#include "ui/bitmap_button_win.h"
#include "ui/dialog_impl_win.h"
#include "ui/dialog_parts_win.h"
#include "ui/message_box_win.h"
#include "ui/ui_window_win.h"

// The box's size and the place of its text for `text` (the shared fonts must exist).
dialog_layout_t message_box_layout(const std::u16string& text);

class message_window_c : public CDialogImpl<message_window_c>, public ui_window_c<message_window_c> {
public:
    static constexpr int dialog_id = IDD_MESSAGE;

    // The text is borrowed: the caller keeps it alive until the box has closed.
    message_window_c(const std::u16string& text, int mode);

    // 1 for the first button (or Enter), 2 for the second (or Escape), 0 for the caption's close.
    int show_modal(HWND owner);

    BEGIN_MSG_MAP(message_window_c)
        CHAIN_MSG_MAP(ui_window_c<message_window_c>)
        MESSAGE_HANDLER(WM_INITDIALOG, on_init_dialog)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        COMMAND_ID_HANDLER(1, on_first)
        COMMAND_ID_HANDLER(2, on_second)
    END_MSG_MAP()

private:
    LRESULT on_init_dialog(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_first(WORD code, WORD id, HWND control, bool& handled);
    LRESULT on_second(WORD code, WORD id, HWND control, bool& handled);
    void attach_button(bitmap_button_c& button, int id, const char* caption_key, int x);

    image_list_c image_list_;  // shared by the two buttons, so declared before them
    bitmap_button_c first_button_;
    bitmap_button_c second_button_;
    brush_c background_brush_;
    brush_c band_brush_;
    bitmap_c icon_;
    const std::u16string& text_;
    int mode_;
    dialog_layout_t layout_;
};
