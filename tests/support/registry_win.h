// Direct access to the settings keys in HKEY_CURRENT_USER of the test prefix, to set up stored
// values of any type and read back what the program wrote.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

inline void delete_tessera_keys() {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera_Init");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera_Init");
}

inline void store_value(const wchar_t* key_name, const wchar_t* value_name, DWORD type,
                        const void* data, DWORD byte_count) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, key_name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, value_name, 0, type, static_cast<const BYTE*>(data), byte_count);
    RegCloseKey(key);
}

// Stores the bytes exactly as given. RegSetValueExW under Wine adds a terminator to a string
// that lacks one, so a value without it is written through the native call underneath.
inline void store_raw_value(const wchar_t* value_name, DWORD type, const void* data, DWORD byte_count) {
    using nt_set_value_key_fn = LONG(WINAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, void*, ULONG);
    auto nt_set_value_key = reinterpret_cast<nt_set_value_key_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    UNICODE_STRING name;
    name.Buffer = const_cast<wchar_t*>(value_name);
    name.Length = static_cast<USHORT>(wcslen(value_name) * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    if (nt_set_value_key) nt_set_value_key(key, &name, 0, type, const_cast<void*>(data), byte_count);
    RegCloseKey(key);
}

inline void store_text(const wchar_t* value_name, const std::wstring& text, DWORD type = REG_SZ) {
    store_value(L"SOFTWARE\\Tessera", value_name, type, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline void store_installer_language(DWORD index) {
    store_value(L"SOFTWARE\\Tessera_Init", L"language", REG_DWORD, &index, sizeof index);
}

// The stored text of a value, or "<missing>".
inline std::wstring stored_text(const wchar_t* value_name) {
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera", value_name, RRF_RT_REG_SZ, nullptr,
                     buffer, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

// The value names as the registry keeps them, in their stored spelling.
inline std::vector<std::wstring> stored_value_names() {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}
