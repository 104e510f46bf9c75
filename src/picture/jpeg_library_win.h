// libjpeg-62.dll (libjpeg-turbo), loaded at run time through its libjpeg interface: a missing
// DLL, or one without the functions used here, leaves JPEG thumbnails to GDI+ and nothing else.
#pragma once

// jpeglib.h needs FILE and size_t first; on Windows its jconfig.h takes "boolean" from
// rpcndr.h (windows.h) when that came first, as it does here.
#include <windows.h>

#include <cstdio>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "base/handles_win.h"

struct jpeg_api_t {
    decltype(&jpeg_std_error) std_error = nullptr;
    decltype(&jpeg_CreateDecompress) create_decompress = nullptr;
    decltype(&jpeg_mem_src) mem_src = nullptr;
    decltype(&jpeg_read_header) read_header = nullptr;
    decltype(&jpeg_start_decompress) start_decompress = nullptr;
    decltype(&jpeg_read_scanlines) read_scanlines = nullptr;
    decltype(&jpeg_destroy_decompress) destroy_decompress = nullptr;
};

class jpeg_library_c {
public:
    // Loads the DLL at `dll_path`; is_loaded() tells whether every function was found.
    explicit jpeg_library_c(const std::wstring& dll_path);
    jpeg_library_c(const jpeg_library_c&) = delete;
    jpeg_library_c& operator=(const jpeg_library_c&) = delete;

    bool is_loaded() const { return is_loaded_; }
    const jpeg_api_t& api() const { return api_; }

private:
    module_c module_;
    jpeg_api_t api_;
    bool is_loaded_ = false;
};

// The process's libjpeg-62.dll beside the executable, loaded on first use and kept.
const jpeg_library_c& jpeg_library();
