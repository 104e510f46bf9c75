// A small window framework: CWindowImpl<T> registers one window class per T, finds the object
// through GWLP_USERDATA (stored on WM_NCCREATE from lpCreateParams) and hands every message to
// the process_window_message that T's message map generates.
#pragma once

#include <windows.h>

// Message maps. A handler clears `handled` to let the message fall through to later entries and
// finally to the default window procedure.
#define BEGIN_MSG_MAP(cls)                                                                        \
    bool process_window_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {  \
        (void)hwnd;                                                                               \
        bool handled = true;                                                                      \
        (void)handled;

#define MESSAGE_HANDLER(message, handler)        \
    if (msg == (message)) {                      \
        handled = true;                          \
        result = handler(msg, wp, lp, handled);  \
        if (handled) return true;                \
    }

#define MESSAGE_RANGE_HANDLER(first, last, handler) \
    if (msg >= (first) && msg <= (last)) {          \
        handled = true;                             \
        result = handler(msg, wp, lp, handled);     \
        if (handled) return true;                   \
    }

#define COMMAND_ID_HANDLER(id, handler)                                                     \
    if (msg == WM_COMMAND && LOWORD(wp) == (id)) {                                          \
        handled = true;                                                                     \
        result = handler(HIWORD(wp), LOWORD(wp), reinterpret_cast<HWND>(lp), handled);      \
        if (handled) return true;                                                           \
    }

#define COMMAND_RANGE_HANDLER(first, last, handler)                                         \
    if (msg == WM_COMMAND && LOWORD(wp) >= (first) && LOWORD(wp) <= (last)) {              \
        handled = true;                                                                     \
        result = handler(HIWORD(wp), LOWORD(wp), reinterpret_cast<HWND>(lp), handled);      \
        if (handled) return true;                                                           \
    }

#define CHAIN_MSG_MAP(base) \
    if (base::process_window_message(hwnd, msg, wp, lp, result)) return true;

#define END_MSG_MAP() \
    return false;     \
    }

// Declares the window class of T: its name and class styles.
#define DECLARE_WND_CLASS(name, class_style)                          \
    static const wchar_t* window_class_name() { return name; }        \
    static UINT window_class_style() { return class_style; }

template <class T>
class CWindowImpl {
public:
    CWindowImpl() = default;
    CWindowImpl(const CWindowImpl&) = delete;
    CWindowImpl& operator=(const CWindowImpl&) = delete;
    virtual ~CWindowImpl() {
        if (hwnd_) {
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            DestroyWindow(hwnd_);
        }
    }

    HWND create(HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                DWORD ex_style = 0, UINT_PTR id = 0) {
        if (hwnd_ || !register_class()) return nullptr;
        return CreateWindowExW(ex_style, T::window_class_name(), title, style, rect.left,
                               rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                               reinterpret_cast<HMENU>(id), GetModuleHandleW(nullptr),
                               static_cast<T*>(this));
    }

    bool destroy_window() { return hwnd_ && DestroyWindow(hwnd_); }
    HWND hwnd() const { return hwnd_; }

protected:
    // Runs after the last message (WM_NCDESTROY), when the handle is already forgotten.
    virtual void on_final_message(HWND) {}

private:
    static bool register_class() {
        static ATOM atom = 0;
        if (atom) return true;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = T::window_class_style();
        wc.lpfnWndProc = &CWindowImpl::static_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = T::window_class_name();
        atom = RegisterClassExW(&wc);
        return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

    static LRESULT CALLBACK static_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_NCCREATE) {
            T* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
            self->hwnd_ = h;
            SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        T* self = reinterpret_cast<T*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        LRESULT result = 0;
        // Nothing may unwind through the system's window procedure: a handler that throws
        // (an allocation failure, a regular-expression error) leaves the message to the default.
        try {
            if (!self || !self->process_window_message(h, m, w, l, result))
                result = DefWindowProcW(h, m, w, l);
        } catch (...) {
            result = DefWindowProcW(h, m, w, l);
        }
        if (m == WM_NCDESTROY && self) {
            SetWindowLongPtrW(h, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
            static_cast<CWindowImpl*>(self)->on_final_message(h);
        }
        return result;
    }

    HWND hwnd_ = nullptr;
};
