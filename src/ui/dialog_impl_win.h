// Modal dialogs from a dialog template, with the same message maps as CWindowImpl: the object
// is found through GWLP_USERDATA, stored on WM_INITDIALOG from its lParam.
#pragma once

#include <windows.h>

template <class T>
class CDialogImpl {
public:
    CDialogImpl() = default;
    CDialogImpl(const CDialogImpl&) = delete;
    CDialogImpl& operator=(const CDialogImpl&) = delete;
    virtual ~CDialogImpl() = default;

    // Runs the dialog of template T::dialog_id modally over owner; the value given to end_dialog,
    // or -1 when the dialog could not be created.
    INT_PTR do_modal(HWND owner) {
        return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(T::dialog_id), owner,
                               &CDialogImpl::static_proc, reinterpret_cast<LPARAM>(static_cast<T*>(this)));
    }
    void end_dialog(INT_PTR result) {
        if (hwnd_) EndDialog(hwnd_, result);
    }
    HWND hwnd() const { return hwnd_; }

    virtual DLGPROC dialog_proc() const { return &CDialogImpl::static_proc; }

private:
    static INT_PTR CALLBACK static_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_INITDIALOG) {
            T* self = reinterpret_cast<T*>(l);
            self->hwnd_ = h;
            SetWindowLongPtrW(h, GWLP_USERDATA, l);
        }
        T* self = reinterpret_cast<T*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (!self) return FALSE;
        LRESULT result = 0;
        bool handled = false;
        try {
            handled = self->process_window_message(h, m, w, l, result);
        } catch (...) {
            handled = false;
        }
        if (m == WM_NCDESTROY) {
            SetWindowLongPtrW(h, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
        }
        if (!handled) return FALSE;
        // These return their value directly; every other message through DWLP_MSGRESULT.
        switch (m) {
        case WM_INITDIALOG:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORSCROLLBAR:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(result);
        default:
            SetWindowLongPtrW(h, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }

    HWND hwnd_ = nullptr;
};
