// Move-only owners for Win32 handles: one owner per kind of handle, so that every handle is
// closed exactly once and copying an owner does not compile.
#pragma once

#include <windows.h>

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

template <class gdi_type>
struct gdi_object_traits {
    using type = gdi_type;
    static type empty() { return nullptr; }
    static void close(type h) { DeleteObject(h); }
};

using kernel_handle_c = owned_c<kernel_handle_traits>;
using file_handle_c = owned_c<file_handle_traits>;
using find_handle_c = owned_c<find_handle_traits>;
using volume_find_handle_c = owned_c<volume_find_handle_traits>;
using reg_key_c = owned_c<reg_key_traits>;
using font_c = owned_c<gdi_object_traits<HFONT>>;
