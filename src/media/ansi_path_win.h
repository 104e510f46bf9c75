// Found-file and thumbnail paths are narrow text in the thread's ANSI code page; the wide file
// API gets them converted here.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring wide_path(const char* path) {
    if (!path || !*path) return {};
    int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring out(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, out.data(), needed);
    out.resize(static_cast<size_t>(needed - 1));
    return out;
}
