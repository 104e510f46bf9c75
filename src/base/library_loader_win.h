// The DLLs that ship beside the program (libjpeg-62.dll, libraw.dll): loaded at run time from the
// program's folder, their functions bound by name, so that a missing or damaged DLL only turns
// its feature off.
#pragma once

#include <windows.h>

#include <string>

#include "base/executable_folder_win.h"

// The path of the DLL `name` in the running program's folder.
inline std::wstring library_beside_program(const wchar_t* name) { return executable_folder() + name; }

// Loads the DLL at `dll_path`, whose own folder is searched first for the DLLs it needs; null
// when the path is empty or the DLL does not load. A damaged file shows no error box.
inline HMODULE load_library_quietly(const std::wstring& dll_path) {
    if (dll_path.empty()) return nullptr;
    UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExW(dll_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(old_mode);
    return module;
}

// Points `target` at the function `name` exported by `module`; false when it exports none.
template <class function_t>
bool bind_function(HMODULE module, const char* name, function_t& target) {
    target = reinterpret_cast<function_t>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return target != nullptr;
}
