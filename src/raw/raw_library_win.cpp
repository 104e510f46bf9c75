#include "raw/raw_library_win.h"

#include "base/executable_folder_win.h"

namespace {

template <class fn>
bool bind(HMODULE module, const char* name, fn& target) {
    target = reinterpret_cast<fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return target != nullptr;
}

}  // namespace

raw_library_c::raw_library_c(const std::wstring& dll_path) {
    if (dll_path.empty()) return;
    // No error box from the loader for a damaged file: it simply does not load.
    UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module_.reset(LoadLibraryExW(dll_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    SetErrorMode(old_mode);
    if (!module_.is_valid()) return;
    HMODULE module = module_.get();
    decltype(&libraw_versionNumber) version = nullptr;
    bool is_complete = bind(module, "libraw_versionNumber", version) &&
                       bind(module, "libraw_init", api_.init) &&
                       bind(module, "libraw_open_buffer", api_.open_buffer) &&
                       bind(module, "libraw_unpack", api_.unpack) &&
                       bind(module, "libraw_adjust_sizes_info_only", api_.adjust_sizes_info_only) &&
                       bind(module, "libraw_dcraw_process", api_.dcraw_process) &&
                       bind(module, "libraw_dcraw_make_mem_image", api_.dcraw_make_mem_image) &&
                       bind(module, "libraw_dcraw_clear_mem", api_.dcraw_clear_mem) &&
                       bind(module, "libraw_recycle", api_.recycle) &&
                       bind(module, "libraw_close", api_.close);
    // The record fields are read straight from libraw_data_t, so the DLL must come from the
    // same release as the headers compiled in here.
    is_loaded_ = is_complete && version() == LIBRAW_VERSION;
    if (!is_loaded_) api_ = raw_api_t{};
}

const raw_library_c& raw_library() {
    static raw_library_c library(executable_folder() + L"libraw.dll");
    return library;
}
