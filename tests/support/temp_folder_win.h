// A fresh folder under the system's temporary folder for one test, deleted with its contents
// when the test ends.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

class temp_folder_c {
public:
    explicit temp_folder_c(const std::wstring& tag) {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"tessera_test_" + tag + L"_" +
                std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~temp_folder_c() { remove_tree(path_); }
    temp_folder_c(const temp_folder_c&) = delete;
    temp_folder_c& operator=(const temp_folder_c&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

    static void remove_tree(const std::wstring& path) {
        std::wstring source = path;
        source.push_back(L'\0');  // the shell wants a double-terminated list
        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_DELETE;
        op.pFrom = source.c_str();
        op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
        SHFileOperationW(&op);
    }

private:
    std::wstring path_;
};

inline bool is_folder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool write_file(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}
