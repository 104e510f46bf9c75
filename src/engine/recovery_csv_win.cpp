#include "engine/recovery_csv_win.h"

#include "base/path_text.h"
#include "base/wide_text_win.h"
#include "engine/recovery_names.h"

namespace {

constexpr uint32_t max_list_attempts = 100;

bool write_all(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

// An existing list of ours, opened to append; an invalid handle when the file is not ours or
// cannot be read. A last line cut short by a crash is ended before anything is appended.
file_handle_c open_ours(const std::u16string& path) {
    file_handle_c file(CreateFileW(wide(path), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.is_valid()) return file;
    std::string start = recovery_csv_start();
    std::string head(start.size(), '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), head.data(), DWORD(head.size()), &got, nullptr) || !is_recovery_csv(head.substr(0, got)))
        return file_handle_c();
    LARGE_INTEGER size{}, last{};
    char last_byte = '\n';
    if (!GetFileSizeEx(file.get(), &size)) return file_handle_c();
    last.QuadPart = size.QuadPart - 1;
    if (!SetFilePointerEx(file.get(), last, nullptr, FILE_BEGIN) || !ReadFile(file.get(), &last_byte, 1, &got, nullptr))
        return file_handle_c();
    if (last_byte != '\n' && !write_all(file.get(), "\r\n")) return file_handle_c();
    return file;
}

}  // namespace

bool recovery_csv_file_c::open() {
    for (uint32_t attempt = 1; attempt <= max_list_attempts; ++attempt) {
        std::u16string path = append_path_component(folder_, numbered_name(recovery_csv_name, attempt));
        file_handle_c file(CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.is_valid()) {
            if (!write_all(file.get(), recovery_csv_start())) return false;
            file_ = std::move(file);
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
        file = open_ours(path);
        if (file.is_valid()) {
            file_ = std::move(file);
            return true;
        }
    }
    return false;
}

bool recovery_csv_file_c::append(const recovery_csv_row_t& row) {
    if (has_failed_) return false;
    if (!file_.is_valid() && !open()) {
        has_failed_ = true;
        return false;
    }
    // One write per line, so another program reading the list sees whole lines.
    return write_all(file_.get(), recovery_csv_line(row));
}
