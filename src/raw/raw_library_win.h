// libraw.dll, loaded at run time through its C API: a missing DLL, one without the functions
// used here, or one built from other headers (whose data layout would differ) leaves the
// program without RAW thumbnails and nothing else.
#pragma once

// libraw's headers include winsock2.h, which must come before windows.h: include this header
// before any other that brings in windows.h.
#include <winsock2.h>
#include <windows.h>

#include <libraw/libraw.h>

#include <string>

#include "base/handles_win.h"

struct raw_api_t {
    decltype(&libraw_init) init = nullptr;
    decltype(&libraw_open_buffer) open_buffer = nullptr;
    decltype(&libraw_unpack) unpack = nullptr;
    decltype(&libraw_unpack_thumb) unpack_thumb = nullptr;
    decltype(&libraw_adjust_sizes_info_only) adjust_sizes_info_only = nullptr;
    decltype(&libraw_dcraw_process) dcraw_process = nullptr;
    decltype(&libraw_dcraw_make_mem_image) dcraw_make_mem_image = nullptr;
    decltype(&libraw_dcraw_clear_mem) dcraw_clear_mem = nullptr;
    decltype(&libraw_recycle) recycle = nullptr;
    decltype(&libraw_close) close = nullptr;
};

class raw_library_c {
public:
    // Loads the DLL at `dll_path`; is_loaded() tells whether every function was found.
    explicit raw_library_c(const std::wstring& dll_path);
    raw_library_c(const raw_library_c&) = delete;
    raw_library_c& operator=(const raw_library_c&) = delete;

    bool is_loaded() const { return is_loaded_; }
    const raw_api_t& api() const { return api_; }

private:
    module_c module_;
    raw_api_t api_;
    bool is_loaded_ = false;
};

// The process's libraw.dll beside the executable, loaded on first use and kept.
const raw_library_c& raw_library();
