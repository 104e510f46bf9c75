// The folder of the running executable, where the DLLs that ship with it lie.
#pragma once

#include <windows.h>

#include <string>

// The folder with its trailing separator; empty when the path does not fit MAX_PATH.
inline std::wstring executable_folder() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}
