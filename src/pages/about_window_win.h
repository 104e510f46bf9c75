// The about dialog: the emblem and the product's name in a tall caption, the copyright, a line
// on what the program does, the version with the build date and time, and two buttons: one
// starts the updater (update/update.exe below the program's folder) and closes the dialog, the
// other only closes it.
#pragma once

#include <windows.h>

#include <string>

#include "res/resource.h"
#include "ui/bitmap_button_win.h"
#include "ui/dialog_impl_win.h"
#include "base/handles_win.h"
#include "ui/text_slot_win.h"
#include "ui/ui_window_win.h"

// Where the dialog puts its texts in the current language (the shared fonts must exist). The
// line on what the program does wraps upwards into the room under the copyright; a taller
// block with the version makes its white panel, and the dialog, taller, the buttons lower.
struct about_layout_t {
    text_slot_t name, copyright, information, info;
    int information_top = 0;  // where the information's first line stands
    RECT white_area{};
    int growth = 0;
    int height = 0;
};
about_layout_t about_layout();

class about_window_c : public CDialogImpl<about_window_c>, public ui_window_c<about_window_c> {
public:
    static constexpr int dialog_id = IDD_ABOUT;

    about_window_c();

    // 1 after the updater was started, 2 from the back button or Esc, 0 from the caption's close.
    int show_modal(HWND owner);

    BEGIN_MSG_MAP(about_window_c)
        CHAIN_MSG_MAP(ui_window_c<about_window_c>)
        MESSAGE_HANDLER(WM_INITDIALOG, on_init_dialog)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        COMMAND_ID_HANDLER(IDOK, on_update)
        COMMAND_ID_HANDLER(IDCANCEL, on_back)
    END_MSG_MAP()

    void paint_caption(HDC dc, const RECT& window);
    // Starts the updater with no arguments, not looking at the outcome, and ends the dialog with 1.
    void run_updater();

private:
    LRESULT on_init_dialog(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_update(WORD code, WORD id, HWND control, bool& handled);
    LRESULT on_back(WORD code, WORD id, HWND control, bool& handled);

    bitmap_c emblem_;
    bitmap_c strip_;
    brush_c strip_brush_;
    brush_c body_brush_;
    image_list_c image_list_;  // shared by the two buttons, so declared before them
    bitmap_button_c update_button_;
    bitmap_button_c back_button_;
    about_layout_t layout_;
};

// The text of "about_info" with the program's version and its build date and time.
std::u16string about_info_text();
