#include "picture/jpeg_library_win.h"

#include "base/library_loader_win.h"

jpeg_library_c::jpeg_library_c(const std::wstring& dll_path) {
    module_.reset(load_library_quietly(dll_path));
    if (!module_.is_valid()) return;
    HMODULE module = module_.get();
    // jpeg_CreateDecompress checks the caller's interface version and structure size against
    // its own, so a DLL built from other headers fails each decode cleanly instead.
    is_loaded_ = bind_function(module, "jpeg_std_error", api_.std_error) &&
                 bind_function(module, "jpeg_CreateDecompress", api_.create_decompress) &&
                 bind_function(module, "jpeg_mem_src", api_.mem_src) &&
                 bind_function(module, "jpeg_read_header", api_.read_header) &&
                 bind_function(module, "jpeg_start_decompress", api_.start_decompress) &&
                 bind_function(module, "jpeg_read_scanlines", api_.read_scanlines) &&
                 bind_function(module, "jpeg_destroy_decompress", api_.destroy_decompress);
    if (!is_loaded_) api_ = jpeg_api_t{};
}

const jpeg_library_c& jpeg_library() {
    static jpeg_library_c library(library_beside_program(L"libjpeg-62.dll"));
    return library;
}
