#include "ui/bitmap_button_win.h"

#include "ui/painting_win.h"

namespace {

// Names the button object on its window, so that a check can find it from the window.
const wchar_t button_property[] = L"tessera_bitmap_button";

}  // namespace

bitmap_c load_skin_bitmap(int id) {
    return bitmap_c(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

image_list_c make_skin_image_list(int width, int height, std::span<const int> ids) {
    image_list_c list(ImageList_Create(width, height, ILC_COLOR32, static_cast<int>(ids.size()), 0));
    for (int id : ids) {
        bitmap_c bitmap = load_skin_bitmap(id);
        if (!bitmap.is_valid()) bitmap.reset(CreateBitmap(width, height, 1, 32, nullptr));
        ImageList_Add(list.get(), bitmap.get(), nullptr);
    }
    return list;
}

SIZE bitmap_size(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

void draw_bitmap(HDC dc, HBITMAP bitmap, int x, int y) {
    if (!bitmap) return;
    SIZE size = bitmap_size(bitmap);
    dc_c source(CreateCompatibleDC(dc));
    select_object_c chosen(source.get(), bitmap);
    BitBlt(dc, x, y, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
}

void set_button_images(bitmap_button_c& button, int normal, int pressed, int hover) {
    SIZE size = bitmap_size(load_skin_bitmap(normal).get());
    int ids[3] = {normal, 0, 0};
    int count = 1, pressed_index = -1, hover_index = -1;
    if (pressed != -1) {
        pressed_index = count;
        ids[count++] = pressed;
    }
    if (hover != -1) {
        hover_index = count;
        ids[count++] = hover;
    }
    button.set_extended_style(button_style_hover | button_style_auto_size);
    button.own_image_list(make_skin_image_list(size.cx, size.cy, std::span<const int>(ids, count)));
    button.set_image_indices(0, pressed_index, hover_index, -1);
}

bitmap_button_c::~bitmap_button_c() {
    if (!hwnd_) return;
    RemoveWindowSubclass(hwnd_, subclass_proc, 0);
    RemovePropW(hwnd_, button_property);
}

bool bitmap_button_c::attach(HWND button) {
    if (!IsWindow(button) || hwnd_) return false;
    hwnd_ = button;
    SetWindowSubclass(button, subclass_proc, 0, reinterpret_cast<DWORD_PTR>(this));
    SetPropW(button, button_property, this);
    size_to_images();
    InvalidateRect(hwnd_, nullptr, FALSE);
    return true;
}

void bitmap_button_c::own_image_list(image_list_c list) {
    own_list_ = std::move(list);
    set_image_list(own_list_.get());
}

void bitmap_button_c::set_image_list(HIMAGELIST list) {
    image_list_ = list;
    size_to_images();
}

void bitmap_button_c::set_image_indices(int normal, int pressed, int hover, int disabled) {
    image_indices_[image_normal] = normal;
    image_indices_[image_pressed] = pressed;
    image_indices_[image_hover] = hover;
    image_indices_[image_disabled] = disabled;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void bitmap_button_c::set_text(const wchar_t* text) {
    if (hwnd_) SetWindowTextW(hwnd_, text);
}

void bitmap_button_c::size_to_images() {
    if (!hwnd_ || !image_list_ || !(extended_style_ & button_style_auto_size)) return;
    int width = 0, height = 0;
    if (ImageList_GetIconSize(image_list_, &width, &height))
        SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int bitmap_button_c::current_image() const {
    int index = image_indices_[image_normal];
    if (hwnd_ && !IsWindowEnabled(hwnd_)) index = image_indices_[image_disabled];
    else if (state_ & state_pressed) index = image_indices_[image_pressed];
    else if ((extended_style_ & button_style_hover) ? (state_ & state_mouse_over) : (state_ & state_focus))
        index = image_indices_[image_hover];
    return index == -1 ? image_indices_[image_normal] : index;
}

void bitmap_button_c::paint(HDC dc) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (image_list_ && current_image() >= 0) ImageList_Draw(image_list_, current_image(), dc, 0, 0, ILD_NORMAL);
    wchar_t text[256] = {};
    int length = GetWindowTextW(hwnd_, text, 256);
    if (length <= 0) return;
    select_object_c font(dc, font_);
    SetTextColor(dc, text_colour_);
    SetBkMode(dc, TRANSPARENT);
    if (text_x_ == -1 || text_y_ == -1)
        DrawTextW(dc, text, length, &client, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    else
        TextOutW(dc, text_x_, text_y_, text, length);
}

int bitmap_button_c::caption_room(const wchar_t* text) const {
    wchar_t own[256] = {};
    if (!text) {
        GetWindowTextW(hwnd_, own, 256);
        text = own;
    }
    RECT client{};
    GetClientRect(hwnd_, &client);
    window_dc_c screen(nullptr);
    select_object_c font(screen.get(), font_);
    SIZE size{};
    GetTextExtentPoint32W(screen.get(), text, lstrlenW(text), &size);
    const int start = text_x_ == -1 || text_y_ == -1 ? 0 : text_x_;
    return client.right - start - size.cx;
}

bitmap_button_c* bitmap_button_c::from_window(HWND window) {
    return static_cast<bitmap_button_c*>(GetPropW(window, button_property));
}

void bitmap_button_c::set_state(DWORD flag, bool on) {
    DWORD old = state_;
    state_ = on ? (state_ | flag) : (state_ & ~flag);
    if (old != state_) InvalidateRect(hwnd_, nullptr, FALSE);
}

bool bitmap_button_c::process_message(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    result = 0;
    switch (msg) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT: {
        paint_dc_c dc(hwnd_);
        paint(dc.get());
        return true;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wp));
        return true;
    case WM_MOUSEMOVE:
        if (GetCapture() == hwnd_) {
            RECT client{};
            GetClientRect(hwnd_, &client);
            POINT point{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            set_state(state_pressed, PtInRect(&client, point) != FALSE);
        } else if (!(state_ & state_mouse_over)) {
            set_state(state_mouse_over, true);
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
            TrackMouseEvent(&track);
        }
        return true;
    case WM_MOUSELEAVE:
        set_state(state_mouse_over, false);
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetCapture(hwnd_);
        if (GetFocus() != hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_TABSTOP)) SetFocus(hwnd_);
        set_state(state_pressed, true);
        return true;
    case WM_LBUTTONUP:
        if (GetCapture() == hwnd_) {
            bool clicks = is_pressed();
            ReleaseCapture();  // WM_CAPTURECHANGED clears the pressed flag
            if (clicks)
                SendMessageW(GetParent(hwnd_), WM_COMMAND,
                             MAKEWPARAM(GetDlgCtrlID(hwnd_), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd_));
        }
        return true;
    case WM_CAPTURECHANGED:
        set_state(state_pressed, false);
        return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        result = DefSubclassProc(hwnd_, msg, wp, lp);
        set_state(state_focus, msg == WM_SETFOCUS);
        InvalidateRect(hwnd_, nullptr, FALSE);
        return true;
    case WM_ENABLE:
    case WM_SETTEXT:
    case BM_SETSTATE:
    case BM_SETSTYLE:
    case WM_KEYDOWN:
    case WM_KEYUP:
        // The standard button draws its own look for these; ours is painted over it.
        result = DefSubclassProc(hwnd_, msg, wp, lp);
        InvalidateRect(hwnd_, nullptr, FALSE);
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK bitmap_button_c::subclass_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                                DWORD_PTR data) {
    auto* self = reinterpret_cast<bitmap_button_c*>(data);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, subclass_proc, 0);
        RemovePropW(hwnd, button_property);
        if (self) self->hwnd_ = nullptr;
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    if (self && self->process_message(msg, wp, lp, result)) return result;
    return DefSubclassProc(hwnd, msg, wp, lp);
}
