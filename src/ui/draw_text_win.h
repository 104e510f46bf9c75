// Word-wrapped text for the fixed-size panels, and keeping a pop-up menu on screen.
#pragma once

#include <windows.h>

#include <string>

// Draws `text` into `rect`, breaking lines at spaces, tabs and line feeds (a word wider than the
// rectangle is broken where it overflows), `line_gap` pixels between lines, one tab stop every 8
// pixels. A text that is one line is drawn with DrawTextW in the whole rectangle with `format`,
// so DT_VCENTER centres it; DT_CALCRECT only measures. Drawing stops before the first line that
// would cross the bottom. On return rect.bottom is the bottom of the last line measured.
void draw_wrapped_text(HDC dc, const std::u16string& text, RECT& rect, int line_gap, UINT format);

// x itself when (x, y) lies on a monitor; otherwise x moved into the horizontal extent of the
// work area of the nearest monitor.
int clamp_to_work_area(int x, int y);
