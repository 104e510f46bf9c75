#include "ui/text_slot_win.h"

#include "base/wide_text_win.h"
#include "ui/draw_text_win.h"
#include "ui/painting_win.h"

void draw_slot(HDC dc, const text_slot_t& slot, UINT format) {
    select_object_c font(dc, shared_font(slot.face, slot.points, slot.is_bold));
    RECT area = slot.area;
    if (slot.line_gap >= 0) {
        draw_wrapped_text(dc, slot.text, area, slot.line_gap, format);
        return;
    }
    TextOutW(dc, area.left, area.top, wide(slot.text), static_cast<int>(slot.text.size()));
}

namespace {

// The extent of one line, or the height of the wrapped text, in `width`.
SIZE measure(const text_slot_t& slot, int width) {
    window_dc_c screen(nullptr);
    select_object_c font(screen.get(), shared_font(slot.face, slot.points, slot.is_bold));
    if (slot.line_gap < 0) {
        SIZE size{};
        GetTextExtentPoint32W(screen.get(), wide(slot.text), static_cast<int>(slot.text.size()), &size);
        return size;
    }
    RECT area{0, 0, width, 0};
    draw_wrapped_text(screen.get(), slot.text, area, slot.line_gap, DT_CALCRECT);
    return SIZE{width, area.bottom};
}

}  // namespace

int slot_height(const text_slot_t& slot) { return measure(slot, slot.area.right - slot.area.left).cy; }

int slot_overflow(const text_slot_t& slot, int spare) {
    const int width = slot.area.right - slot.area.left - spare;
    SIZE size = measure(slot, width);
    return slot.line_gap < 0 ? size.cx - width : size.cy - (slot.area.bottom - slot.area.top);
}
