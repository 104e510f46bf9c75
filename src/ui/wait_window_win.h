// The busy spinner of a page whose work runs elsewhere (the home page's load, the grid's
// recovery): eight 64 × 64 frames drawn on white, turned by the owner's timer 100 every 80 ms and
// drawn centred over the owner's painting with white transparent. T chains this map first; it
// takes every WM_TIMER, and T calls draw_spinner at the end of its own painting.
#pragma once

#include <windows.h>

#include <cstdint>

#include "res/resource.h"
#include "ui/bitmap_button_win.h"
#include "base/handles_win.h"
#include "ui/painting_win.h"
#include "ui/window_impl_win.h"

constexpr UINT_PTR spinner_timer_id = 100;
constexpr UINT spinner_period_ms = 80;
constexpr int spinner_frame_count = 8;

template <class T>
class wait_window_c {
public:
    wait_window_c() {
        for (int i = 0; i < spinner_frame_count; ++i) frames_[i] = load_skin_bitmap(IDB_SPINNER_0 + i);
    }
    virtual ~wait_window_c() = default;

    BEGIN_MSG_MAP(wait_window_c)
        MESSAGE_HANDLER(WM_TIMER, on_timer)
    END_MSG_MAP()

    // The spinner turns from the frame where it last stopped.
    void start_spinner() {
        busy = true;
        SetTimer(self().hwnd(), spinner_timer_id, spinner_period_ms, nullptr);
    }
    void stop_spinner() {
        busy = false;
        KillTimer(self().hwnd(), spinner_timer_id);
    }

    // Draws the current frame in the middle of `client` while busy, white left out.
    void draw_spinner(HDC dc, const RECT& client) const {
        HBITMAP frame = frames_[frame_index].get();
        if (!busy || !frame) return;
        SIZE size = bitmap_size(frame);
        const int left = (client.right - client.left - size.cx) / 2 + client.left;
        const int top = (client.bottom - client.top - size.cy) / 2 + client.top;
        dc_c source(CreateCompatibleDC(dc));
        select_object_c selection(source.get(), frame);
        TransparentBlt(dc, left, top, size.cx, size.cy, source.get(), 0, 0, size.cx, size.cy, RGB(255, 255, 255));
    }

    int32_t frame_index = 0;
    bool busy = false;

private:
    T& self() { return static_cast<T&>(*this); }

    LRESULT on_timer(UINT, WPARAM id, LPARAM, bool&) {
        if (id != spinner_timer_id) return 0;
        frame_index = (frame_index + 1) % spinner_frame_count;
        // Only the frame's square changes: the owner may leave the rest of its painting out.
        RECT client{};
        GetClientRect(self().hwnd(), &client);
        RECT area = client;
        if (HBITMAP frame = frames_[frame_index].get()) {
            SIZE size = bitmap_size(frame);
            area.left = (client.right - client.left - size.cx) / 2 + client.left;
            area.top = (client.bottom - client.top - size.cy) / 2 + client.top;
            area.right = area.left + size.cx;
            area.bottom = area.top + size.cy;
        }
        RedrawWindow(self().hwnd(), &area, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return 0;
    }

    bitmap_c frames_[spinner_frame_count];
};
