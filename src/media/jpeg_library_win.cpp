#include "media/jpeg_library_win.h"

#include "base/executable_folder_win.h"

namespace {

template <class fn>
bool bind(HMODULE module, const char* name, fn& target) {
    target = reinterpret_cast<fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return target != nullptr;
}

}  // namespace

jpeg_library_c::jpeg_library_c(const std::wstring& dll_path) {
    if (dll_path.empty()) return;
    // No error box from the loader for a damaged file: it simply does not load.
    UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module_.reset(LoadLibraryExW(dll_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    SetErrorMode(old_mode);
    if (!module_.is_valid()) return;
    HMODULE module = module_.get();
    // jpeg_CreateDecompress checks the caller's interface version and structure size against
    // its own, so a DLL built from other headers fails each decode cleanly instead.
    is_loaded_ = bind(module, "jpeg_std_error", api_.std_error) &&
                 bind(module, "jpeg_CreateDecompress", api_.create_decompress) &&
                 bind(module, "jpeg_mem_src", api_.mem_src) &&
                 bind(module, "jpeg_read_header", api_.read_header) &&
                 bind(module, "jpeg_start_decompress", api_.start_decompress) &&
                 bind(module, "jpeg_read_scanlines", api_.read_scanlines) &&
                 bind(module, "jpeg_destroy_decompress", api_.destroy_decompress);
    if (!is_loaded_) api_ = jpeg_api_t{};
}

const jpeg_library_c& jpeg_library() {
    static jpeg_library_c library(executable_folder() + L"libjpeg-62.dll");
    return library;
}
