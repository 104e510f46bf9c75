// The push button drawn from bitmaps that every page and dialog uses. It subclasses an existing
// button window (a dialog item, or one the owner created) and reports clicks to the parent as
// WM_COMMAND with the control id, like a standard push button.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <span>

#include "base/handles_win.h"

constexpr DWORD button_style_hover = 1;
constexpr DWORD button_style_auto_size = 8;
constexpr DWORD button_style_shared_list = 16;

enum button_image_t { image_normal = 0, image_pressed = 1, image_hover = 2, image_disabled = 3 };

class bitmap_button_c {
public:
    bitmap_button_c() = default;
    virtual ~bitmap_button_c();
    bitmap_button_c(const bitmap_button_c&) = delete;
    bitmap_button_c& operator=(const bitmap_button_c&) = delete;

    // Takes over the button window; false when it is not a window.
    bool attach(HWND button);
    HWND hwnd() const { return hwnd_; }

    void set_extended_style(DWORD style) { extended_style_ = style; }
    DWORD extended_style() const { return extended_style_; }
    // A list the owner keeps (with the shared-list style) or one made by set_button_images.
    void set_image_list(HIMAGELIST list);
    void set_image_indices(int normal, int pressed, int hover, int disabled);
    int image_index(button_image_t which) const { return image_indices_[which]; }
    void set_font(HFONT font) { font_ = font; }
    HFONT font() const { return font_; }
    void set_text_colour(COLORREF colour) { text_colour_ = colour; }
    void set_text_position(int x, int y) { text_x_ = x; text_y_ = y; }
    POINT text_position() const { return POINT{text_x_, text_y_}; }
    void set_text(const wchar_t* text);

    bool is_mouse_over() const { return (state_ & state_mouse_over) != 0; }
    bool is_pressed() const { return (state_ & state_pressed) != 0; }
    // The image painting would draw now (an index in the list).
    int current_image() const;

    // The pixels the caption `text` (its own text when null) leaves free across the button,
    // measured with its font as painting places it; below 0 it is cut.
    int caption_room(const wchar_t* text = nullptr) const;
    // The button object attached to `window`, or nullptr when it is not a bitmap button.
    static bitmap_button_c* from_window(HWND window);

    // Lets the button own a list made from its own bitmaps.
    void own_image_list(image_list_c list);

private:
    static constexpr DWORD state_mouse_over = 1, state_focus = 2, state_pressed = 4;
    static LRESULT CALLBACK subclass_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    bool process_message(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    void paint(HDC dc);
    void set_state(DWORD flag, bool on);
    void size_to_images();

    image_list_c own_list_;
    HWND hwnd_ = nullptr;
    DWORD extended_style_ = 0;
    HIMAGELIST image_list_ = nullptr;  // borrowed unless own_list_ holds it
    int image_indices_[4] = {-1, -1, -1, -1};
    DWORD state_ = 0;
    HFONT font_ = nullptr;  // borrowed, a shared font
    COLORREF text_colour_ = RGB(0, 0, 0);
    int text_x_ = -1, text_y_ = -1;
};

// Loads the normal, pressed and hover bitmaps (pressed and hover may be -1) into a list of the
// normal bitmap's size that the button owns, in that order, and sets hover mode with sizing.
void set_button_images(bitmap_button_c& button, int normal, int pressed, int hover);

// A 24-bit bitmap of the program's resources as a DIB section; empty when there is none.
bitmap_c load_skin_bitmap(int id);
// A list of width x height 32-bit images made from the skin bitmaps `ids`, in that order. A
// bitmap that fails to load still takes its index, as an empty image.
image_list_c make_skin_image_list(int width, int height, std::span<const int> ids);
SIZE bitmap_size(HBITMAP bitmap);
// Draws a bitmap (borrowed) at its own size.
void draw_bitmap(HDC dc, HBITMAP bitmap, int x, int y);
