// Caption buttons of the skinned frame: three bitmaps (normal, hover, pressed) drawn at a place
// anchored to the window's top-right corner, and an action of the owning window class T.
#pragma once

#include <windows.h>

#include <string>

#include "ui/bitmap_button_win.h"

enum caption_state_t { caption_normal = 0, caption_hover = 1, caption_pressed = 2 };

template <class T>
class button_c {
public:
    using action_fn = void (*)(T& window);
    virtual ~button_c() = default;

    // hit: left and right are distances from the window's right edge, top and bottom from its top.
    virtual void init_button(int normal, int hover, int pressed, const RECT& hit, const wchar_t* label) {
        set_images(normal, hover, pressed);
        hit_rect = hit;
        name = label;
    }
    virtual bool hit_test(int x, int y, const RECT& window) const = 0;
    virtual void on_hook() {}
    virtual void draw_button(HDC dc, const RECT& window) const = 0;
    virtual void set_images(int normal, int hover, int pressed) {
        const int ids[3] = {normal, hover, pressed};
        for (int i = 0; i < 3; ++i) images[i] = load_skin_bitmap(ids[i]);
    }

    bitmap_c images[3];
    int state = caption_normal;
    RECT hit_rect{};
    std::wstring name;
    action_fn action = nullptr;
};

template <class T>
class system_button_c : public button_c<T> {
public:
    bool hit_test(int x, int y, const RECT& window) const override {
        POINT mirrored{(window.right - window.left) - x, y};
        return PtInRect(&this->hit_rect, mirrored) != FALSE;
    }
    void draw_button(HDC dc, const RECT& window) const override {
        draw_bitmap(dc, this->images[this->state].get(), (window.right - window.left) - this->hit_rect.right,
                    this->hit_rect.top);
    }
};
