// update.exe, started by the about dialog from the folder "update" below Tessera's folder: asks
// the product's site for the newest version, compares it with its own version resource and tells
// the user in Tessera's message box and language. The address may be given as the one argument
// (tests serve the version file from a loopback server); Tessera passes none.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/language.h"
#include "base/language_file_win.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "base/handles_win.h"
#include "ui/message_box_win.h"
#include "ui/shared_fonts_win.h"
#include "update/version_check.h"
#include "update/version_fetch_win.h"
#include "version.h"

namespace {

const char16_t* const version_file_address = u"" TESSERA_WEB_ADDRESS "update/version.txt";

std::u16string own_path() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? from_wide(path, length) : std::u16string();
}

// Tessera's folder, where language.ini lies, is the one above the updater's own.
void make_application_folder_current(std::u16string path) {
    for (int level = 0; level < 2; ++level) {
        size_t slash = path.find_last_of(u"\\/");
        if (slash == std::u16string::npos) return;
        path.resize(slash);
    }
    if (!path.empty()) SetCurrentDirectoryW(wide(path));
}

void load_texts() {
    read_language_setting();
    load_language(settings.language, true);
    if (!equals_ignoring_case(settings.language, u"English")) load_language(u"English", false);
}

// The file version of the program's own version resource.
bool read_own_version(const std::u16string& path, program_version_t& version) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(wide(path), &ignored);
    if (size == 0) return false;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(wide(path), 0, size, data.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) || !fixed ||
        fixed_size < sizeof *fixed)
        return false;
    version.parts[0] = HIWORD(fixed->dwFileVersionMS);
    version.parts[1] = LOWORD(fixed->dwFileVersionMS);
    version.parts[2] = HIWORD(fixed->dwFileVersionLS);
    version.parts[3] = LOWORD(fixed->dwFileVersionLS);
    return true;
}

std::u16string address_from_command_line() {
    int count = 0;
    owned_c<local_memory_traits<wchar_t**>> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    return arguments.is_valid() && count >= 2 ? from_wide(arguments.get()[1]) : version_file_address;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::u16string path = own_path();
    make_application_folder_current(path);
    load_texts();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    create_shared_fonts();

    program_version_t own, offered;
    std::string body;
    bool fetched = read_own_version(path, own) &&
                   fetch_version_file(address_from_command_line(), body) == fetch_result_t::ok;
    check_outcome_t outcome = judge_version_file(fetched, body, own, offered);
    std::u16string text = check_message(outcome, own, offered);

    switch (outcome) {
    case check_outcome_t::up_to_date:
        show_message(nullptr, text, mode_notice);
        return update_exit_up_to_date;
    case check_outcome_t::newer: {
        if (show_message(nullptr, text, mode_question) != 1) return update_exit_newer_declined;
        std::u16string page = std::u16string(product_page_address()) + u"download/";
        ShellExecuteW(nullptr, nullptr, wide(page), nullptr, nullptr, SW_SHOW);
        return update_exit_download_opened;
    }
    case check_outcome_t::failed:
        break;
    }
    show_message(nullptr, text, mode_warning);
    return update_exit_failed;
}
