#include "base/language_file_win.h"

#include <windows.h>

#include "base/language.h"
#include "base/handles_win.h"

namespace {

// A real language file is a few hundred kilobytes; anything past this is not read.
constexpr DWORD max_language_file_bytes = 16u << 20;

bool read_file_bytes(const wchar_t* name, std::string& bytes) {
    file_handle_c file(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.is_valid()) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return false;
    DWORD wanted = size.QuadPart > max_language_file_bytes ? max_language_file_bytes
                                                           : static_cast<DWORD>(size.QuadPart);
    bytes.resize(wanted);
    DWORD got = 0;
    if (wanted && !ReadFile(file.get(), bytes.data(), wanted, &got, nullptr)) return false;
    bytes.resize(got);
    return true;
}

}  // namespace

int load_language(const std::u16string& name, bool is_primary) {
    std::string bytes;
    if (!read_file_bytes(L"language.ini", bytes)) return -1;
    return language_table().load(bytes, name, is_primary) == 0 ? 0 : -1;
}
