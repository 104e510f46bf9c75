// The cache warning: a skinned 400 × 200 dialog with the warning icon, one wrapped message and
// Cancel and OK buttons, which the options page shows before a search whose finds may not fit.
// A text longer than the usual area makes the dialog taller, with the buttons further down.
#pragma once

#include <windows.h>

#include <string>

#include "ui/bitmap_button_win.h"
#include "ui/dialog_impl_win.h"
#include "ui/dialog_parts_win.h"
#include "base/handles_win.h"
#include "ui/message_window_win.h"
#include "ui/ui_window_win.h"

// The warning's size and the place of its text for `text` (the shared fonts must exist).
dialog_layout_t cache_warning_layout(const std::u16string& text);

class folder_window_c : public CDialogImpl<folder_window_c>, public ui_window_c<folder_window_c> {
public:
    static constexpr int dialog_id = IDD_MESSAGE;

    explicit folder_window_c(std::u16string text);

    BEGIN_MSG_MAP(folder_window_c)
        CHAIN_MSG_MAP(ui_window_c<folder_window_c>)
        MESSAGE_HANDLER(WM_INITDIALOG, on_init_dialog)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        COMMAND_ID_HANDLER(IDOK, on_button)
        COMMAND_ID_HANDLER(IDCANCEL, on_button)
    END_MSG_MAP()

private:
    LRESULT on_init_dialog(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_button(WORD code, WORD id, HWND control, bool& handled);

    std::u16string text_;
    bitmap_c icon_;
    image_list_c image_list_;  // shared by the two buttons, so declared before them
    bitmap_button_c ok_button_;
    bitmap_button_c cancel_button_;
    brush_c body_brush_;
    brush_c band_brush_;
    dialog_layout_t layout_;
};

// Shows the warning modally over `owner`: 1 for OK, 2 for Cancel (or Esc), 0 for the caption's
// close button. Only 2 refuses the search.
int show_cache_warning(const std::u16string& text, HWND owner);
