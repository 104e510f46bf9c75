#include "pages/home_window_win.h"

#include <cstring>

#include "base/language.h"
#include "base/wide_text_win.h"
#include "engine/work_folders_win.h"
#include "res/resource.h"
#include "ui/draw_text_win.h"
#include "ui/painting_win.h"
#include "ui/shared_fonts_win.h"

namespace {

constexpr POINT start_place{60, 105}, resume_place{420, 105}, strip_place{60, 305};
constexpr RECT text_area{60, 435, 740, 500};
constexpr COLORREF text_colour = RGB(53, 116, 195);
constexpr COLORREF text_background = RGB(245, 250, 253);

// Where a button's caption stands and in which font: longer translations get a smaller one.
struct caption_look_t {
    POINT at;
    int points;
    bool is_bold;
};

void caption_looks(caption_look_t& start, caption_look_t& resume) {
    const char* code = current_language_code();
    auto is = [code](const char* c) { return code && std::strcmp(code, c) == 0; };
    if (is("de")) {
        start = {{125, 30}, 16, false}, resume = {{102, 40}, 9, true};
    } else if (is("fr") || is("it") || is("es")) {
        start = {{125, 35}, 9, true}, resume = {{112, 38}, 9, true};
    } else {
        start = {{150, 30}, 16, false}, resume = {{112, 30}, 16, false};
    }
}

}  // namespace

text_slot_t home_text_slot() {
    text_slot_t slot;
    slot.key = "home_text";
    slot.text = lookup_text("home_text");
    slot.face = font_face::arial;
    slot.points = 9;
    slot.area = text_area;
    slot.line_gap = 5;
    return slot;
}

void home_window_c::create_button(bitmap_button_c& button, int id, int normal, int pressed, int hover,
                                  const char* text_key) {
    HWND control = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0,
                                   hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    set_button_images(button, normal, pressed, hover);
    button.set_text_colour(RGB(255, 255, 255));
    button.attach(control);
    button.set_text(wide(lookup_text(text_key)));
}

LRESULT home_window_c::on_create(UINT, WPARAM, LPARAM, bool&) {
    create_button(start_button_, home_start_id, IDB_HOME_START_NORMAL, IDB_HOME_START_PRESSED,
                  IDB_HOME_START_HOVER, "home_btn_start");
    create_button(resume_button_, home_resume_id, IDB_HOME_RESUME_NORMAL, IDB_HOME_RESUME_PRESSED,
                  IDB_HOME_RESUME_HOVER, "home_btn_resume");
    caption_look_t start, resume;
    caption_looks(start, resume);
    start_button_.set_font(shared_font(font_face::verdana, start.points, start.is_bold));
    start_button_.set_text_position(start.at.x, start.at.y);
    resume_button_.set_font(shared_font(font_face::verdana, resume.points, resume.is_bold));
    resume_button_.set_text_position(resume.at.x, resume.at.y);
    background_ = load_skin_bitmap(IDB_PAGE_BACKGROUND);
    strip_ = load_skin_bitmap(IDB_HOME_STRIP);
    return 0;
}

LRESULT home_window_c::on_size(UINT, WPARAM, LPARAM, bool&) {
    const UINT keep = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(start_button_.hwnd(), nullptr, start_place.x, start_place.y, 0, 0, keep);
    SetWindowPos(resume_button_.hwnd(), nullptr, resume_place.x, resume_place.y, 0, 0, keep);
    RedrawWindow(hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME | RDW_ALLCHILDREN);
    return 0;
}

LRESULT home_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dc_c paint(hwnd());
    const RECT client = client_rect(hwnd());
    memory_dc_c buffer(paint.get(), client.right, client.bottom);
    HDC dc = buffer.get();
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_bitmap(dc, background_.get(), 0, 0);
    draw_bitmap(dc, strip_.get(), strip_place.x, strip_place.y);
    SetTextColor(dc, text_colour);
    SetBkColor(dc, text_background);
    SetBkMode(dc, OPAQUE);
    draw_slot(dc, home_text_slot());
    buffer.copy_to(paint.get());
    return 0;
}

LRESULT home_window_c::on_command(UINT, WPARAM wp, LPARAM, bool&) {
    switch (LOWORD(wp)) {
    case home_start_id:
        SendMessageW(main_window_, UM_SHOW_OPTIONS, 0, 0);
        break;
    case home_resume_id:
        // The scan page shows at once and loads the earlier finds itself.
        SendMessageW(main_window_, UM_SHOW_SCAN, 0, 0);
        break;
    }
    return 0;
}
