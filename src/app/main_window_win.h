// The application's one top-level window: the skinned 800 × 600 frame with its 100-pixel caption
// (title, step labels, step picture, logo, close, minimise and menu buttons), the three pages of
// which exactly one is shown, the drop-down menu with the Language sub-menu, and the close steps.
// Pages never switch themselves: they send the UM_SHOW_* messages here.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "base/app_messages.h"
#include "pages/home_window_win.h"
#include "pages/option_window_win.h"
#include "pages/recovery_window_win.h"
#include "ui/message_loop_win.h"
#include "ui/text_slot_win.h"
#include "ui/ui_window_win.h"
#include "ui/window_impl_win.h"

constexpr int main_window_width = 800;
constexpr int main_window_height = 600;

constexpr UINT id_menu_help = 40009;
constexpr UINT id_menu_about = 40010;
constexpr UINT id_menu_exit = 40011;
constexpr UINT id_language_first = 45000;
constexpr UINT id_language_last = 45010;  // commands above it do nothing

class main_window_c : public CWindowImpl<main_window_c>,
                      public ui_window_c<main_window_c>,
                      public CMessageFilter,
                      public CIdleHandler {
public:
    DECLARE_WND_CLASS(L"TesseraMainWindow", CS_DBLCLKS)
    main_window_c();

    bool pre_translate_message(MSG* msg) override;
    bool on_idle() override;

    BEGIN_MSG_MAP(main_window_c)
        CHAIN_MSG_MAP(ui_window_c<main_window_c>)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_DESTROY, on_destroy)
        MESSAGE_HANDLER(WM_SETFOCUS, on_set_focus)
        MESSAGE_HANDLER(WM_CLOSE, on_close)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_GETMINMAXINFO, on_get_min_max_info)
        MESSAGE_HANDLER(WM_SIZE, on_size)
        MESSAGE_HANDLER(UM_RAISE_WINDOW, on_raise_window)
        MESSAGE_HANDLER(UM_SHOW_HOME, on_show_page)
        MESSAGE_HANDLER(UM_SHOW_OPTIONS, on_show_page)
        MESSAGE_HANDLER(UM_SHOW_SCAN_AND_START, on_show_page)
        MESSAGE_HANDLER(UM_SHOW_SCAN, on_show_page)
        MESSAGE_HANDLER(UM_STEP_DONE, on_step_done)
        COMMAND_RANGE_HANDLER(id_language_first, id_language_last, on_language)
        COMMAND_ID_HANDLER(id_menu_help, on_help)
        COMMAND_ID_HANDLER(id_menu_about, on_about)
        COMMAND_ID_HANDLER(id_menu_exit, on_exit)
    END_MSG_MAP()

    // The caption content drawn by the skinned frame.
    void paint_band(HDC dc, const RECT& window);
    void paint_caption(HDC dc, const RECT& window);
    // The step labels in the caption, in their font; each ends where the next starts and the
    // last at the logo.
    std::vector<text_slot_t> step_text_slots() const;

    // Asks before ending a running search, ends the engine and destroys the window.
    void close_steps();
    void open_menu();

    int step() const { return step_; }
    HWND current_page() const { return current_page_; }
    HMENU menu() const { return menu_.get(); }
    HWND home_page() const { return home_page_ ? home_page_->hwnd() : nullptr; }
    const home_window_c* home_window() const { return home_page_.get(); }
    HWND options_page() const { return options_page_ ? options_page_->hwnd() : nullptr; }
    HWND scan_page() const { return scan_page_ ? scan_page_->hwnd() : nullptr; }

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_destroy(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_set_focus(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_close(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_get_min_max_info(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_size(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_raise_window(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_show_page(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_step_done(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_language(WORD code, WORD id, HWND control, bool& handled);
    LRESULT on_help(WORD code, WORD id, HWND control, bool& handled);
    LRESULT on_about(WORD code, WORD id, HWND control, bool& handled);
    LRESULT on_exit(WORD code, WORD id, HWND control, bool& handled);

    void add_caption_button(int normal, int hover, int pressed, const RECT& hit, const wchar_t* name,
                            void (*action)(main_window_c&));
    void switch_to(HWND page, int new_step);
    void fit_current_page();
    void build_menu();

    // Members end in reverse order: the menu, then the pages (options, scan, home), then the
    // skin's brush, icons and bitmaps.
    bitmap_c band_image_;
    bitmap_c logo_image_;
    bitmap_c step_images_[4];
    icon_c large_icon_;
    icon_c small_icon_;
    brush_c band_brush_;
    std::unique_ptr<home_window_c> home_page_;
    std::unique_ptr<recovery_window_c> scan_page_;
    std::unique_ptr<option_window_c> options_page_;
    HWND current_page_ = nullptr;  // borrowed: one of the pages
    int step_ = 0;
    menu_c menu_;
};

// Moves a window to the middle of the work area of its monitor.
void centre_on_work_area(HWND window);
