// What a test run by support/on_sample_card.sh learns of the card behind X:: the private copy of
// its image and the files that were put on it, as Wine's Z: drive shows their unix paths.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// The path in the environment variable `name` (TESSERA_CARD_IMAGE, TESSERA_CARD_ORIGINALS), or
// empty when the test was started another way.
inline std::wstring sample_card_path(const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    if (length == 0 || length >= 1024) return {};
    std::wstring path = L"Z:" + std::wstring(value);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// The names of the files (not folders) in a folder.
inline std::vector<std::wstring> files_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

// The recovered files in a recovery folder, without the recovery's list (recovered.csv).
inline std::vector<std::wstring> recovered_files_in(const std::wstring& folder) {
    std::vector<std::wstring> names = files_in(folder);
    names.erase(std::remove(names.begin(), names.end(), std::wstring(L"recovered.csv")), names.end());
    return names;
}
