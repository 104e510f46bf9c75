// Move-only owners for Win32 handles: one owner per kind of handle, so that every handle is
// closed exactly once and copying an owner does not compile. Handles borrowed from elsewhere
// (shared fonts, stock objects, cursors, a parent window) stay raw, and the field says so.
// The painting guards (BeginPaint, memory DCs, selections) are in ui/painting_win.h.
#pragma once

#include <windows.h>
#include <commctrl.h>

template <class traits>
class owned_c {
public:
    using type = typename traits::type;

    explicit owned_c(type h = traits::empty()) : h_(h) {}
    owned_c(owned_c&& o) noexcept : h_(o.release()) {}
    owned_c& operator=(owned_c&& o) noexcept {
        reset(o.release());
        return *this;
    }
    owned_c(const owned_c&) = delete;
    owned_c& operator=(const owned_c&) = delete;
    ~owned_c() { reset(); }

    void reset(type h = traits::empty()) {
        if (h_ != h && h_ != traits::empty()) traits::close(h_);
        h_ = h;
    }
    type get() const { return h_; }
    type release() {
        type h = h_;
        h_ = traits::empty();
        return h;
    }
    bool is_valid() const { return h_ != traits::empty(); }

private:
    type h_;
};

struct kernel_handle_traits {
    using type = HANDLE;
    static type empty() { return nullptr; }
    static void close(type h) { CloseHandle(h); }
};

struct file_handle_traits {
    using type = HANDLE;
    static type empty() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { CloseHandle(h); }
};

struct find_handle_traits {
    using type = HANDLE;
    static type empty() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { FindClose(h); }
};

struct volume_find_handle_traits {
    using type = HANDLE;
    static type empty() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { FindVolumeClose(h); }
};

struct reg_key_traits {
    using type = HKEY;
    static type empty() { return nullptr; }
    static void close(type h) { RegCloseKey(h); }
};

struct global_memory_traits {
    using type = HGLOBAL;
    static type empty() { return nullptr; }
    static void close(type h) { GlobalFree(h); }
};

// Memory the system allocated for the caller with LocalAlloc (CommandLineToArgvW, FormatMessage).
template <class pointer>
struct local_memory_traits {
    using type = pointer;
    static type empty() { return nullptr; }
    static void close(type h) { LocalFree(h); }
};

struct module_traits {
    using type = HMODULE;
    static type empty() { return nullptr; }
    static void close(type h) { FreeLibrary(h); }
};

// Bitmaps, brushes, fonts and regions; never delete one while it is selected into a DC (the
// selection guards of ui/painting_win.h put the old object back first).
template <class gdi_type>
struct gdi_object_traits {
    using type = gdi_type;
    static type empty() { return nullptr; }
    static void close(type h) { DeleteObject(h); }
};

// A DC from CreateCompatibleDC (not one from GetDC or BeginPaint, which are given back instead).
struct memory_dc_traits {
    using type = HDC;
    static type empty() { return nullptr; }
    static void close(type h) { DeleteDC(h); }
};

// An icon loaded without LR_SHARED.
struct icon_traits {
    using type = HICON;
    static type empty() { return nullptr; }
    static void close(type h) { DestroyIcon(h); }
};

// A menu that is no window's menu bar (a window destroys its own bar); sub-menus go with it.
struct menu_traits {
    using type = HMENU;
    static type empty() { return nullptr; }
    static void close(type h) { DestroyMenu(h); }
};

struct image_list_traits {
    using type = HIMAGELIST;
    static type empty() { return nullptr; }
    static void close(type h) { ImageList_Destroy(h); }
};

using kernel_handle_c = owned_c<kernel_handle_traits>;
using file_handle_c = owned_c<file_handle_traits>;
using find_handle_c = owned_c<find_handle_traits>;
using volume_find_handle_c = owned_c<volume_find_handle_traits>;
using reg_key_c = owned_c<reg_key_traits>;
using global_memory_c = owned_c<global_memory_traits>;
using module_c = owned_c<module_traits>;
using bitmap_c = owned_c<gdi_object_traits<HBITMAP>>;
using brush_c = owned_c<gdi_object_traits<HBRUSH>>;
using font_c = owned_c<gdi_object_traits<HFONT>>;
using region_c = owned_c<gdi_object_traits<HRGN>>;
using dc_c = owned_c<memory_dc_traits>;
using icon_c = owned_c<icon_traits>;
using menu_c = owned_c<menu_traits>;
using image_list_c = owned_c<image_list_traits>;

// Holds a Win32 mutex (borrowed) for its lifetime. The wait is unbounded and an abandoned mutex
// counts as taken; a null mutex is neither waited for nor released.
class mutex_lock_c {
public:
    explicit mutex_lock_c(HANDLE mutex) : mutex_(mutex) {
        if (mutex_) WaitForSingleObject(mutex_, INFINITE);
    }
    ~mutex_lock_c() {
        if (mutex_) ReleaseMutex(mutex_);
    }
    mutex_lock_c(const mutex_lock_c&) = delete;
    mutex_lock_c& operator=(const mutex_lock_c&) = delete;

private:
    HANDLE mutex_;
};
