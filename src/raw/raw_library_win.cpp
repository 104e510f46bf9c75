#include "raw/raw_library_win.h"

#include "base/library_loader_win.h"

raw_library_c::raw_library_c(const std::wstring& dll_path) {
    module_.reset(load_library_quietly(dll_path));
    if (!module_.is_valid()) return;
    HMODULE module = module_.get();
    decltype(&libraw_versionNumber) version = nullptr;
    bool is_complete = bind_function(module, "libraw_versionNumber", version) &&
                       bind_function(module, "libraw_init", api_.init) &&
                       bind_function(module, "libraw_open_buffer", api_.open_buffer) &&
                       bind_function(module, "libraw_unpack", api_.unpack) &&
                       bind_function(module, "libraw_unpack_thumb", api_.unpack_thumb) &&
                       bind_function(module, "libraw_adjust_sizes_info_only", api_.adjust_sizes_info_only) &&
                       bind_function(module, "libraw_dcraw_process", api_.dcraw_process) &&
                       bind_function(module, "libraw_dcraw_make_mem_image", api_.dcraw_make_mem_image) &&
                       bind_function(module, "libraw_dcraw_clear_mem", api_.dcraw_clear_mem) &&
                       bind_function(module, "libraw_recycle", api_.recycle) &&
                       bind_function(module, "libraw_close", api_.close);
    // The record fields are read straight from libraw_data_t, so the DLL must come from the
    // same release as the headers compiled in here.
    is_loaded_ = is_complete && version() == LIBRAW_VERSION;
    if (!is_loaded_) api_ = raw_api_t{};
}

const raw_library_c& raw_library() {
    static raw_library_c library(library_beside_program(L"libraw.dll"));
    return library;
}
