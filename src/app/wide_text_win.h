// Hands UTF-16 text to the wide Windows API (wchar_t is 16 bits there) and converts between
// UTF-16 and the process's ANSI code page at the boundary where narrow paths are needed.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string from_wide(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

inline std::u16string from_wide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// Characters the code page cannot hold become its default character.
std::string to_ansi(std::u16string_view text);
std::u16string from_ansi(std::string_view text);
