// The options page: the card to search, the kinds of files, the recovery and cache folders, and
// the next button that checks the choices and hands the scan request to the main window.
// Controls and painting are in option_window_win.cpp; the folder field and the start of a
// search in option_search_win.cpp.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "engine/engine_command.h"
#include "pages/page_window_win.h"
#include "ui/text_slot_win.h"

// The request of the last search started here; the scan page copies it when it receives it.
extern scan_request_t search_request;

// The page's painted texts and tick box labels in the current language, where it puts them.
std::vector<text_slot_t> option_page_text_slots();

class option_window_c : public CWindowImpl<option_window_c> {
public:
    DECLARE_WND_CLASS(L"TesseraOptionsPage", 0)
    explicit option_window_c(HWND main_window) : main_window_(main_window) {}

    // Command ids of the controls.
    static constexpr int id_back = 2, id_next = 3, id_close = 4, id_refresh = 5, id_browse = 6,
                         id_open = 7, id_card_list = 8, id_camera_list = 9, id_folder_field = 10,
                         id_photo = 11, id_video = 12, id_audio = 13, id_recovery_radio = 14,
                         id_cache_radio = 15;

    BEGIN_MSG_MAP(option_window_c)
        MESSAGE_HANDLER(WM_CREATE, on_create)
        MESSAGE_HANDLER(WM_SIZE, on_size)
        MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
        MESSAGE_HANDLER(WM_PAINT, on_paint)
        MESSAGE_HANDLER(WM_CTLCOLORSTATIC, on_control_colour)
        MESSAGE_HANDLER(WM_COMMAND, on_command)
    END_MSG_MAP()

private:
    LRESULT on_create(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_size(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_erase_background(UINT, WPARAM, LPARAM, bool&) { return 1; }
    LRESULT on_paint(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_control_colour(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    LRESULT on_command(UINT msg, WPARAM wp, LPARAM lp, bool& handled);

    void create_controls();
    // Creates a child control at its place on the page.
    HWND create_control(const wchar_t* window_class, const std::u16string& text, DWORD style, int id);
    void fill_card_list();
    void paint(HDC dc, const RECT& client);

    void refresh_cards();
    void browse_folder();
    void open_folder();
    // The field names an existing folder; otherwise "option_no_dir" has been shown.
    bool check_folder_field();
    void switch_folder_field(int id);
    void start_search();

    // The field's text, at most 259 characters.
    std::u16string folder_field_text() const;
    // Stores the field's text into the setting it shows (in memory only).
    void store_folder_field();
    bool is_checked(int id) const;
    void warn(const char* text_key);

    HWND main_window_;  // borrowed: the parent, to which requests are sent
    std::array<bitmap_button_c, 6> buttons_;
    bitmap_c background_;
    std::array<bitmap_c, 6> images_;  // three bullets, then the photo, video and audio icons
    brush_c check_brush_, frame_brush_, band_brush_;
    bool edit_shows_cache_ = false;
};
