#include "ui/draw_text_win.h"

namespace {

constexpr int tab_stop = 8;

const wchar_t* wide_at(const std::u16string& text, size_t at) {
    return reinterpret_cast<const wchar_t*>(text.c_str()) + at;
}

SIZE measure(HDC dc, const std::u16string& text, size_t at, size_t count) {
    int stops = tab_stop;
    DWORD extent = GetTabbedTextExtentW(dc, wide_at(text, at), static_cast<int>(count), 1, &stops);
    return SIZE{LOWORD(extent), HIWORD(extent)};
}

void draw_line(HDC dc, const std::u16string& text, size_t at, size_t count, int x, int y) {
    if (count == 0) return;
    int stops = tab_stop;
    TabbedTextOutW(dc, x, y, wide_at(text, at), static_cast<int>(count), 1, &stops, x);
}

bool is_break(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

}  // namespace

void draw_wrapped_text(HDC dc, const std::u16string& text, RECT& rect, int line_gap, UINT format) {
    if (text.empty()) return;
    const bool is_measuring = (format & DT_CALCRECT) != 0;
    const int width = rect.right - rect.left;
    const int x = rect.left;
    int y = rect.top;
    size_t line_start = 0;
    while (true) {
        int line_width = 0, line_height = 0;
        size_t i = line_start;
        bool overflowed = false;
        for (; i < text.size(); ++i) {
            SIZE size = measure(dc, text, i, 1);
            if (size.cy > line_height) line_height = size.cy;
            if (text[i] == u'\n' || line_width + size.cx > width) {
                overflowed = true;
                break;
            }
            line_width += size.cx;
        }
        if (!overflowed) {
            if (!is_measuring && y + line_height <= rect.bottom) {
                if (line_start == 0) {
                    RECT whole = rect;
                    DrawTextW(dc, wide_at(text, 0), static_cast<int>(text.size()), &whole,
                              format | DT_SINGLELINE | DT_EXPANDTABS);
                } else {
                    draw_line(dc, text, line_start, text.size() - line_start, x, y);
                }
            }
            rect.bottom = y + line_height;
            return;
        }
        // The break: the last space, tab or line feed from the overflowing character back; it
        // ends the drawn line. Without one the line breaks before the overflowing character.
        size_t line_end = i, next_start = i;
        for (size_t j = i + 1; j-- > line_start;) {
            if (is_break(text[j])) {
                line_end = j;
                next_start = j + 1;
                break;
            }
        }
        // A single character wider than the rectangle still takes a line of its own, so the
        // walk always moves on.
        if (next_start == line_start) next_start = line_end = line_start + 1;
        if (!is_measuring) {
            if (y + line_height > rect.bottom) {
                rect.bottom = y + line_height;
                return;
            }
            draw_line(dc, text, line_start, line_end - line_start, x, y);
        }
        y += line_height + line_gap;
        line_start = next_start;
        if (line_start >= text.size()) {
            rect.bottom = y - line_gap;
            return;
        }
    }
}

int clamp_to_work_area(int x, int y) {
    POINT point{x, y};
    if (MonitorFromPoint(point, MONITOR_DEFAULTTONULL)) return x;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info)) return x;
    if (x < info.rcWork.left) return info.rcWork.left;
    if (x > info.rcWork.right) return info.rcWork.right;
    return x;
}
