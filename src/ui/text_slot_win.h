// A text as a page or dialog draws it: its font and the rectangle it must stay within. The
// code that draws a text and the check that every language fits read the same slot.
#pragma once

#include <windows.h>

#include <string>

#include "ui/shared_fonts_win.h"

struct text_slot_t {
    const char* key = "";  // the language file's key, to name the text when it does not fit
    std::u16string text;
    font_face face = font_face::verdana;
    int points = 8;
    bool is_bold = false;
    RECT area{};
    int line_gap = -1;  // pixels between wrapped lines; below 0 the text is one line
    int grows_to = 0;   // the lowest bottom a dialog that grows with its text gives the area
};

// Draws the slot's text in its font and the DC's colours: one line at the area's top left, a
// wrapped text with draw_wrapped_text and `format`.
void draw_slot(HDC dc, const text_slot_t& slot, UINT format = 0);

// The height the slot's text takes in its area's width (wrapped unless it is one line).
int slot_height(const text_slot_t& slot);

// The pixels the slot's text needs beyond its area when the area is `spare` pixels narrower
// than it is: past the right edge for one line, below the bottom when wrapped. 0 or less when
// it fits.
int slot_overflow(const text_slot_t& slot, int spare);
