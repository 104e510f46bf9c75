#include "contract/ansi_text_win.h"

#include <windows.h>

#include <climits>

std::string to_ansi(std::u16string_view text) {
    if (text.empty() || text.size() > INT_MAX / 4) return {};
    const wchar_t* source = reinterpret_cast<const wchar_t*>(text.data());
    int length = static_cast<int>(text.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, source, length, out.data(), needed, nullptr, nullptr);
    return out;
}

std::u16string from_ansi(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX / 2) return {};
    int length = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::u16string out(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(out.data()),
                        needed);
    return out;
}
