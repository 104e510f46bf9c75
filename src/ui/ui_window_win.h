// The skinned frame every top-level window draws instead of the system's: a light blue caption
// band of caption_height pixels, a dark outer border, the title, and caption buttons that light
// up under the mouse. It works only through the non-client messages, so the client area stays
// the window's own. T chains this map first and may hide paint_band and paint_caption.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "ui/caption_button_win.h"
#include "ui/painting_win.h"
#include "ui/shared_fonts_win.h"
#include "ui/window_impl_win.h"
#include "ui/window_place_win.h"

constexpr COLORREF caption_colour = RGB(139, 184, 241);
constexpr COLORREF border_colour = RGB(66, 90, 138);
constexpr COLORREF title_colour = RGB(233, 243, 255);

template <class T>
class ui_window_c {
public:
    virtual ~ui_window_c() = default;

    BEGIN_MSG_MAP(ui_window_c)
        MESSAGE_HANDLER(WM_NCCREATE, on_nc_create)
        MESSAGE_HANDLER(WM_INITDIALOG, on_init_dialog)
        MESSAGE_HANDLER(WM_NCCALCSIZE, on_nc_calc_size)
        MESSAGE_HANDLER(WM_NCPAINT, on_nc_paint)
        MESSAGE_HANDLER(WM_NCACTIVATE, on_nc_activate)
        MESSAGE_HANDLER(WM_NCMOUSEMOVE, on_nc_mouse_move)
        MESSAGE_HANDLER(WM_NCLBUTTONDOWN, on_nc_button_down)
        MESSAGE_HANDLER(WM_NCLBUTTONDBLCLK, on_nc_button_down)
        MESSAGE_HANDLER(WM_NCLBUTTONUP, on_button_up)
        MESSAGE_HANDLER(WM_NCMOUSELEAVE, on_nc_mouse_leave)
        MESSAGE_HANDLER(WM_MOUSEMOVE, on_captured_move)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, on_captured_down)
        MESSAGE_HANDLER(WM_LBUTTONUP, on_button_up)
        MESSAGE_HANDLER(WM_CAPTURECHANGED, on_capture_changed)
    END_MSG_MAP()

    // Takes ownership of a button whose action is set; hit-tested and drawn in the order added.
    void add_button(button_c<T>* button) { buttons.emplace_back(button); }

    // Hooks T may hide: drawn into the caption band before the border, and after the buttons.
    void paint_band(HDC, const RECT&) {}
    void paint_caption(HDC dc, const RECT&) {
        wchar_t title[256] = {};
        if (GetWindowTextW(self().hwnd(), title, 256) <= 0) return;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, title_colour);
        select_object_c font(dc, shared_font(font_face::verdana, 8, true));
        TextOutW(dc, 10, 10, title, lstrlenW(title));
    }

    // Composes the whole frame off-screen and copies it onto the window in one step, leaving the
    // client area alone.
    void paint_frame() {
        HWND hwnd = self().hwnd();
        if (!hwnd) return;
        ++frame_paints;
        RECT window{};
        GetWindowRect(hwnd, &window);
        const int width = window.right - window.left, height = window.bottom - window.top;
        RECT client{};
        GetClientRect(hwnd, &client);
        POINT origin{0, 0};
        ClientToScreen(hwnd, &origin);
        OffsetRect(&client, origin.x - window.left, origin.y - window.top);

        window_dc_c window_dc(hwnd);
        memory_dc_c buffer(window_dc.get(), width, height);
        HDC dc = buffer.get();

        brush_c band(CreateSolidBrush(caption_colour));
        RECT whole{0, 0, width, height};
        FillRect(dc, &whole, band.get());
        RECT caption{frame_height, frame_width, width + frame_height, caption_height + frame_width};
        FillRect(dc, &caption, band.get());
        self().paint_band(dc, window);
        brush_c dark(CreateSolidBrush(border_colour));
        FrameRect(dc, &whole, dark.get());
        RECT ring = whole;
        for (int i = 1; i < frame_width; ++i) {
            InflateRect(&ring, -1, -1);
            FrameRect(dc, &ring, band.get());
        }
        for (const auto& button : buttons) button->draw_button(dc, window);
        self().paint_caption(dc, window);

        ExcludeClipRect(window_dc.get(), client.left, client.top, client.right, client.bottom);
        buffer.copy_to(window_dc.get());
    }

    int caption_metric = 0;
    int frame_width = 0;
    int frame_height = 0;
    int caption_height = 0;
    std::vector<std::unique_ptr<button_c<T>>> buttons;
    // The button the left button went down on. It holds the mouse capture until the release, so
    // the release reaches it wherever it happens and a press never outlives its release.
    button_c<T>* pressed = nullptr;
    bool leave_tracking = false;
    // How often the frame was painted; lets tests see that a repaint happened or did not.
    int frame_paints = 0;

protected:
    void invalidate_frame() {
        RedrawWindow(self().hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOERASE | RDW_NOINTERNALPAINT | RDW_NOCHILDREN);
    }
    void repaint_frame_now() {
        RedrawWindow(self().hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_FRAME | RDW_NOERASE | RDW_NOINTERNALPAINT | RDW_NOCHILDREN | RDW_UPDATENOW);
    }

private:
    T& self() { return static_cast<T&>(*this); }

    // The mouse point of a message relative to the window's top-left corner: non-client messages
    // carry a screen point, client ones (those the capture brings) a client point.
    POINT window_point(LPARAM lp, RECT& window, bool is_client = false) {
        POINT point{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        if (is_client) ClientToScreen(self().hwnd(), &point);
        GetWindowRect(self().hwnd(), &window);
        return POINT{point.x - window.left, point.y - window.top};
    }
    button_c<T>* button_at(POINT point, const RECT& window) {
        for (auto& button : buttons)
            if (button->hit_test(point.x, point.y, window)) return button.get();
        return nullptr;
    }
    void show_state(button_c<T>* button, int state) {
        if (button->state == state) return;
        button->state = state;
        invalidate_frame();
    }
    void track_leave() {
        if (leave_tracking) return;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_NONCLIENT, self().hwnd(), 0};
        leave_tracking = TrackMouseEvent(&track) != FALSE;
    }
    void press(button_c<T>* button) {
        for (auto& other : buttons) other->state = caption_normal;
        pressed = button;
        button->state = caption_pressed;
        if (GetCapture() != self().hwnd()) SetCapture(self().hwnd());
        repaint_frame_now();
    }
    // Ends the press without a click; the capture goes with it.
    void cancel_press() {
        button_c<T>* button = pressed;
        pressed = nullptr;
        if (GetCapture() == self().hwnd()) ReleaseCapture();
        if (button) show_state(button, caption_normal);
    }

    LRESULT on_nc_create(UINT, WPARAM, LPARAM, bool& handled) {
        caption_metric = GetSystemMetrics(SM_CYCAPTION);
        frame_width = GetSystemMetrics(SM_CXFRAME);
        frame_height = GetSystemMetrics(SM_CYFRAME);
        handled = false;
        return 0;
    }
    LRESULT on_init_dialog(UINT, WPARAM, LPARAM, bool& handled) {
        caption_metric = GetSystemMetrics(SM_CYCAPTION);
        frame_width = GetSystemMetrics(SM_CXDLGFRAME);
        frame_height = GetSystemMetrics(SM_CYDLGFRAME);
        SetWindowPos(self().hwnd(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        handled = false;
        return 0;
    }
    // Both branches: WM_NCCALCSIZE also arrives with wParam FALSE while the window is created.
    LRESULT on_nc_calc_size(UINT, WPARAM wp, LPARAM lp, bool& handled) {
        RECT* proposed = wp ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lp)->rgrc[0] : reinterpret_cast<RECT*>(lp);
        if (proposed && caption_metric) proposed->top += caption_height - caption_metric;
        handled = false;
        return 0;
    }
    LRESULT on_nc_paint(UINT, WPARAM, LPARAM, bool&) {
        paint_frame();
        return 0;
    }
    LRESULT on_nc_activate(UINT, WPARAM wp, LPARAM, bool& handled) {
        if (IsIconic(self().hwnd())) {
            handled = false;
            return 0;
        }
        paint_frame();
        return wp ? FALSE : TRUE;
    }
    LRESULT on_nc_mouse_move(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
        if (pressed) return on_captured_move(msg, wp, lp, handled);
        handled = false;
        RECT window{};
        POINT point = window_point(lp, window);
        for (auto& button : buttons) {
            bool is_over = button->hit_test(point.x, point.y, window);
            if (!is_over) {
                if (button->state == caption_normal) continue;
                button->state = caption_normal;
                invalidate_frame();
                return 0;
            }
            if (button->state != caption_normal) continue;
            button->state = caption_hover;
            track_leave();
            invalidate_frame();
            return 0;
        }
        return 0;
    }
    // A press on a caption button starts afresh whatever the button showed before, a second
    // press of a double-click included, and never reaches the system, which would start moving
    // the window (or maximise it) and take the release for itself.
    LRESULT on_nc_button_down(UINT, WPARAM, LPARAM lp, bool& handled) {
        RECT window{};
        button_c<T>* button = button_at(window_point(lp, window), window);
        if (button) press(button);
        else handled = false;
        return 0;
    }
    // While pressed the button shows pressed over it and normal off it, as the press goes on.
    LRESULT on_captured_move(UINT msg, WPARAM, LPARAM lp, bool& handled) {
        if (!pressed) {
            handled = false;
            return 0;
        }
        RECT window{};
        POINT point = window_point(lp, window, msg == WM_MOUSEMOVE);
        show_state(pressed, pressed->hit_test(point.x, point.y, window) ? caption_pressed : caption_normal);
        return 0;
    }
    // A press whose release never came: the next one starts anew on a button, or ends it.
    LRESULT on_captured_down(UINT, WPARAM, LPARAM lp, bool& handled) {
        if (!pressed) {
            handled = false;
            return 0;
        }
        RECT window{};
        POINT point = window_point(lp, window, true);
        if (button_c<T>* button = button_at(point, window)) press(button);
        else cancel_press();
        return 0;
    }
    // The release ends the press wherever it happens; over the pressed button it clicks it.
    LRESULT on_button_up(UINT msg, WPARAM, LPARAM lp, bool& handled) {
        if (!pressed) {
            handled = false;
            return 0;
        }
        button_c<T>* button = pressed;
        pressed = nullptr;
        if (GetCapture() == self().hwnd()) ReleaseCapture();
        RECT window{};
        POINT point = window_point(lp, window, msg == WM_LBUTTONUP);
        const bool is_over = button->hit_test(point.x, point.y, window);
        button->state = is_over ? caption_hover : caption_normal;
        if (is_over) track_leave();
        repaint_frame_now();
        // The action may end the window (close, end the dialog): nothing of it is used after.
        if (is_over && button->action) button->action(self());
        return 0;
    }
    // Another window took the mouse (a menu, a dialog): the press ends without a click.
    LRESULT on_capture_changed(UINT, WPARAM, LPARAM lp, bool& handled) {
        handled = false;
        if (pressed && reinterpret_cast<HWND>(lp) != self().hwnd()) cancel_press();
        return 0;
    }
    // Leaving the frame lets go of the hover; a press keeps its button until its release.
    LRESULT on_nc_mouse_leave(UINT, WPARAM, LPARAM, bool&) {
        leave_tracking = false;
        for (auto& button : buttons)
            if (button.get() != pressed) show_state(button.get(), caption_normal);
        return 0;
    }
};
