#include "base/settings_win.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "base/app_folder.h"
#include "base/path_text.h"
#include "base/settings.h"
#include "base/wide_text_win.h"
#include "base/handles_win.h"

namespace {

const wchar_t* const settings_key_name = L"SOFTWARE\\Tessera";
const wchar_t* const installer_key_name = L"SOFTWARE\\Tessera_Init";

// Open for the whole run; the owner closes it when the process ends.
reg_key_c settings_key;

// Reads one string value into a buffer of the field's capacity and keeps the default unless
// the value passes every rule (a value too long for the buffer fails the query). True when the
// value was taken; `type` receives its registry type.
bool read_string_value(HKEY key, const wchar_t* value_name, size_t capacity, std::u16string& field,
                       DWORD* type = nullptr) {
    std::vector<uint8_t> buffer(capacity * sizeof(char16_t));
    DWORD value_type = 0;
    DWORD byte_count = static_cast<DWORD>(buffer.size());
    LONG status = RegQueryValueExW(key, value_name, nullptr, &value_type, buffer.data(), &byte_count);
    if (status != ERROR_SUCCESS || byte_count > buffer.size()) return false;
    if (type) *type = value_type;
    return take_string_value(value_type, buffer.data(), byte_count, field);
}

// A stored folder. An expandable string has its environment references filled in, as every
// program reading REG_EXPAND_SZ does; one that expands beyond the field's capacity is not taken.
// An empty folder counts as unset: it would put the files beside the program.
void read_path_value(HKEY key, const wchar_t* value_name, std::u16string& field) {
    std::u16string text;
    DWORD type = 0;
    if (!read_string_value(key, value_name, path_capacity, text, &type)) return;
    if (type == REG_EXPAND_SZ && !text.empty()) {
        wchar_t expanded[path_capacity] = {};
        DWORD length = ExpandEnvironmentStringsW(wide(text), expanded, path_capacity);
        if (length == 0 || length > path_capacity) return;
        text = from_wide(expanded);
    }
    if (!text.empty()) field = std::move(text);
}

void write_string_value(const wchar_t* value_name, const std::u16string& text) {
    DWORD byte_count = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    RegSetValueExW(settings_key.get(), value_name, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(wide(text)), byte_count);
}

void make_folder(const std::u16string& path) {
    if (path.empty() || PathIsDirectoryW(wide(path))) return;
    SHCreateDirectoryExW(nullptr, wide(path), nullptr);
}

}  // namespace

void set_default_settings() {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::u16string temp_folder = length > 0 && length <= MAX_PATH ? from_wide(temp) : u"";
    settings.cache_path = cut_to_capacity(append_path_component(temp_folder, u"TSR_Cache"), path_capacity);
    settings.recovery_path = cut_to_capacity(append_path_component(app_folder, u"recovery"), path_capacity);
    settings.language = u"English";
}

void load_settings() {
    read_path_value(settings_key.get(), L"CachePath", settings.cache_path);
    read_path_value(settings_key.get(), L"RecoveryPath", settings.recovery_path);
    read_string_value(settings_key.get(), L"Language", language_capacity, settings.language);
}

void save_settings() {
    if (!settings_key.is_valid()) return;
    write_string_value(L"RecoveryPath", settings.recovery_path);
    write_string_value(L"CachePath", settings.cache_path);
    write_string_value(L"language", settings.language);
}

void read_installer_language() {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, installer_key_name, 0, nullptr, 0, KEY_READ, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS)
        return;
    reg_key_c key(raw);
    DWORD index = 0, type = 0, byte_count = sizeof index;
    if (RegQueryValueExW(key.get(), L"language", nullptr, &type, reinterpret_cast<BYTE*>(&index),
                         &byte_count) != ERROR_SUCCESS ||
        type != REG_DWORD || byte_count != sizeof index)
        return;
    std::u16string name = installer_language_name(index);
    if (!name.empty()) settings.language = cut_to_capacity(name, language_capacity);
}

void read_language_setting() {
    settings.language = u"English";
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settings_key_name, 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        read_installer_language();
        return;
    }
    reg_key_c key(raw);
    read_string_value(key.get(), L"Language", language_capacity, settings.language);
}

bool init_settings() {
    set_default_settings();
    HKEY raw = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, settings_key_name, 0, nullptr, 0,
                        KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &raw,
                        &disposition) != ERROR_SUCCESS)
        return false;
    settings_key.reset(raw);
    if (disposition == REG_OPENED_EXISTING_KEY) {
        load_settings();
    } else {
        read_installer_language();
        save_settings();
    }
    make_folder(settings.recovery_path);
    make_folder(settings.cache_path);
    return true;
}
