// Hands UTF-16 text to the wide Windows API (wchar_t is 16 bits there). Narrow text (found-file
// paths, the engine's command line) converts with to_ansi and from_ansi, the one code-page rule
// the engine shares.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "contract/ansi_text_win.h"

inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string from_wide(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

inline std::u16string from_wide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
