// The installer as a user meets it, under Wine in a prefix of its own that is made anew for every
// run, on a German system (LC_ALL): a damaged copy that must refuse to run, then one walk through
// a silent install in French, the installed program's first start from its Start-menu entry, a
// scan by the installed engine, a silent upgrade in the system's language, an upgrade through the
// installer's pages and the uninstaller's pages.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installer/wizard_win.h"
#include "support/process_win.h"
#include "support/registry_win.h"
#include "support/scan_run_win.h"
#include "support/temp_folder_win.h"
#include "support/test_card_win.h"
#include "version.h"

namespace {

constexpr DWORD step_timeout_ms = 60000;
constexpr uint64_t photo_sector = 20000;  // in the free data area of the 16 MiB FAT card
const wchar_t* const uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessera";

std::wstring widen(const char* text) {
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, MAX_PATH);
    return wide;
}

// The build's installer, reached through Z:, named with the one version number.
std::wstring installer_path() {
    std::wstring path = L"Z:" + widen(TESSERA_DIST_DIR) + L"/Tessera-" + widen(TESSERA_VERSION_TEXT) + L"-setup.exe";
    for (wchar_t& c : path) if (c == L'/') c = L'\\';
    return path;
}

std::wstring known_folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
std::wstring install_folder() { return known_folder(CSIDL_PROGRAM_FILES) + L"\\Tessera"; }
std::wstring start_menu_shortcut() { return known_folder(CSIDL_COMMON_PROGRAMS) + L"\\Tessera.lnk"; }
std::wstring desktop_shortcut() { return known_folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tessera.lnk"; }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file below a folder, by its path relative to it, with its bytes.
void read_tree(const std::wstring& root, const std::wstring& relative, std::map<std::wstring, std::string>& files) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((root + relative + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = relative + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            read_tree(root, path, files);
        } else {
            char narrow[MAX_PATH * 3] = {};
            WideCharToMultiByte(CP_ACP, 0, (root + path).c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
            files[path.substr(1)] = read_all(narrow);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}
std::map<std::wstring, std::string> tree(const std::wstring& root) {
    std::map<std::wstring, std::string> files;
    read_tree(root, L"", files);
    return files;
}

// What the installer must copy: the build's programs and language file, the updater and the
// help pages when the build made them.
std::map<std::wstring, std::string> shipped_files() {
    std::map<std::wstring, std::string> build = tree(programs_folder()), shipped;
    for (const auto& [path, bytes] : build) {
        if (path == L"Tessera.exe" || path == L"language.ini" || path == L"libraw.dll" ||
            path == L"libjpeg-62.dll" || path == L"Ember\\embsrv.exe" || path == L"update\\update.exe" || path.starts_with(L"help\\"))
            shipped[path] = bytes;
    }
    return shipped;
}

std::wstring registry_text(HKEY root, const wchar_t* key, const wchar_t* value) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) return L"<missing>";
    return text;
}
DWORD registry_number(HKEY root, const wchar_t* key, const wchar_t* value) {
    DWORD number = 0, bytes = sizeof number;
    if (RegGetValueW(root, key, value, RRF_RT_REG_DWORD, nullptr, &number, &bytes) != ERROR_SUCCESS) return 0xFFFFFFFF;
    return number;
}
bool key_exists(HKEY root, const wchar_t* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

struct shortcut_t {
    std::wstring target, folder;
};
shortcut_t read_shortcut(const std::wstring& path) {
    shortcut_t shortcut;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return shortcut;
    IPersistFile* file = nullptr;
    wchar_t text[MAX_PATH] = {};
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) shortcut.target = text;
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) shortcut.folder = text;
    }
    if (file) file->Release();
    link->Release();
    return shortcut;
}

// A text of a file's version resource in its first language.
std::wstring version_text(const std::wstring& file, const wchar_t* name) {
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), nullptr);
    std::vector<char> info(size);
    struct { WORD language, code_page; }* translation = nullptr;
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoW(file.c_str(), 0, size, info.data()) ||
        !VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof *translation)
        return L"<none>";
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->code_page, name);
    if (!VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&text), &length)) return L"<none>";
    return text;
}

// What an install leaves on the machine, to compare before and after.
struct machine_state_t {
    std::map<std::wstring, std::string> installed;
    bool has_uninstall_entry, has_language_choice, has_start_menu_entry, has_desktop_shortcut;
    bool operator==(const machine_state_t&) const = default;
};
machine_state_t machine_state() {
    return {tree(install_folder()), key_exists(HKEY_LOCAL_MACHINE, uninstall_key),
            key_exists(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera_Init"), exists(start_menu_shortcut()),
            exists(desktop_shortcut())};
}

bool is_tessera_window(HWND window) { return has_class(window, L"TesseraMainWindow") && window_text(window) == L"Tessera"; }

class installer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
    }

    void expect_installed(DWORD language) {
        std::wstring folder = install_folder();
        std::map<std::wstring, std::string> expected = shipped_files();
        ASSERT_FALSE(expected.empty());
        std::map<std::wstring, std::string> installed = tree(folder);
        installed.erase(L"uninstall.exe");
        for (auto it = installed.begin(); it != installed.end();) {
            it = it->first.starts_with(L"recovery\\") ? installed.erase(it) : std::next(it);
        }
        EXPECT_TRUE(installed == expected) << "the installed files differ from the build's";
        EXPECT_TRUE(exists(folder + L"\\uninstall.exe"));

        std::wstring version = widen(TESSERA_VERSION_TEXT);
        for (const auto& [path, bytes] : expected) {
            if (path.ends_with(L".exe")) {
                EXPECT_EQ(version_text(folder + L"\\" + path, L"ProductVersion"), version) << path;
            }
        }
        EXPECT_EQ(version_text(installer_path(), L"ProductVersion"), version);
        EXPECT_EQ(version_text(installer_path(), L"CompanyName"), version_text(folder + L"\\Tessera.exe", L"CompanyName"));

        EXPECT_EQ(registry_number(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera_Init", L"language"), language);
        EXPECT_EQ(registry_text(HKEY_LOCAL_MACHINE, uninstall_key, L"DisplayName"), L"Tessera");
        EXPECT_EQ(registry_text(HKEY_LOCAL_MACHINE, uninstall_key, L"DisplayVersion"), version);
        EXPECT_EQ(registry_text(HKEY_LOCAL_MACHINE, uninstall_key, L"Publisher"),
                  version_text(folder + L"\\Tessera.exe", L"CompanyName"));
        EXPECT_EQ(registry_text(HKEY_LOCAL_MACHINE, uninstall_key, L"DisplayIcon"), folder + L"\\Tessera.exe,0");
        EXPECT_EQ(registry_text(HKEY_LOCAL_MACHINE, uninstall_key, L"UninstallString"), L"\"" + folder + L"\\uninstall.exe\"");
        size_t bytes = 0;
        for (const auto& [path, content] : expected) bytes += content.size();
        DWORD kib = registry_number(HKEY_LOCAL_MACHINE, uninstall_key, L"EstimatedSize");
        EXPECT_GE(kib, bytes / 1024);
        EXPECT_LE(kib, bytes / 1024 + expected.size());

        for (const std::wstring& path : {start_menu_shortcut(), desktop_shortcut()}) {
            shortcut_t shortcut = read_shortcut(path);
            EXPECT_EQ(shortcut.target, folder + L"\\Tessera.exe") << path;
            EXPECT_EQ(shortcut.folder, folder) << path;
        }
    }

    DWORD install_silently(const std::wstring& options) {
        setup_run_c silent(installer_path(), L"/S " + options);
        return silent.wait_for_end(step_timeout_ms) ? silent.exit_code() : STILL_ACTIVE;
    }

    // Starts Tessera from its Start-menu entry as the shell does, waits for its window and
    // closes it. (Wine's shell gives no process handle for a shortcut: the window tells.)
    void start_and_close_tessera() {
        std::wstring shortcut = start_menu_shortcut();
        ASSERT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, nullptr, shortcut.c_str(), nullptr, nullptr, SW_SHOWNORMAL)), 32);
        HWND window = wait_for_any_window(is_tessera_window, step_timeout_ms);
        ASSERT_NE(window, nullptr) << "the installed Tessera showed no window";
        child_process_t tessera;
        GetWindowThreadProcessId(window, &tessera.id);
        tessera.process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, tessera.id);
        wchar_t image[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        QueryFullProcessImageNameW(tessera.process, 0, image, &length);
        EXPECT_EQ(std::wstring(image), install_folder() + L"\\Tessera.exe");
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(wait_for_exit(tessera, step_timeout_ms), 0u);
        end_process(tessera);
    }

    // The front end's scan, run from the installed folder as Tessera runs it: the engine is
    // found as Ember\embsrv.exe below the current folder and reports into the cache folder.
    void scan_the_card_from_the_installed_folder(const std::string& photo) {
        std::string volume = card_volume_name();
        ASSERT_FALSE(volume.empty()) << "the prefix should have the card as X:";
        card_patch_c patch(card_image_path(), photo_sector, photo);
        ASSERT_TRUE(patch.ok()) << card_image_path();
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        ASSERT_TRUE(SetCurrentDirectoryW(install_folder().c_str()));

        std::string cache = to_ansi(from_wide(stored_text(L"CachePath").c_str()));
        scan_request_t request;
        std::snprintf(request.cache_dir, sizeof request.cache_dir, "%s", cache.c_str());
        std::snprintf(request.volume, sizeof request.volume, "%s", volume.c_str());
        request.want_photo = request.want_video = request.want_audio = 1;
        quiet_view_c view;
        auto control = std::make_unique<scan_control_c>(view);
        control->start_scan(request);
        EXPECT_TRUE(wait_until([&] { return control->on_timer_tick(); }));
        wchar_t engine[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        QueryFullProcessImageNameW(control->run().engine_process.get(), 0, engine, &length);
        EXPECT_EQ(std::wstring(engine), install_folder() + L"\\Ember\\embsrv.exe");
        EXPECT_EQ(control->current_sector(), control->total_sectors());
        std::string find = cache + "\\tmp\\f0020000.jpg";
        std::vector<std::string> found = queued_paths();
        EXPECT_NE(std::find(found.begin(), found.end(), find), found.end());
        EXPECT_EQ(read_all(find), photo);
        control.reset();
        SetCurrentDirectoryW(previous);
    }

    // Installs through the pages: the language page lists the eleven languages, the upgrade
    // goes into the installed folder, and the last page starts Tessera.
    void upgrade_through_the_pages(const std::wstring& language) {
        setup_run_c setup(installer_path(), L"");
        ASSERT_TRUE(setup.started());
        HWND choice = setup.wait_for_window([](HWND w) { return has_class(w, L"#32770") &&
                                                               FindWindowExW(w, nullptr, L"ComboBox", nullptr); },
                                            step_timeout_ms);
        ASSERT_NE(choice, nullptr) << "no language page";
        std::vector<std::wstring> items = combo_items(choice);
        std::sort(items.begin(), items.end());
        std::vector<std::wstring> languages = {L"English", L"Deutsch", L"Español", L"Français", L"Italiano",
                                               L"日本語", L"简体中文", L"繁體中文", L"Nederlands", L"Português",
                                               L"العربية"};
        std::sort(languages.begin(), languages.end());
        EXPECT_EQ(items, languages);
        ASSERT_TRUE(select_combo_item(choice, language));
        press(choice, IDOK);

        HWND wizard = setup.wait_for_window(is_wizard, step_timeout_ms);
        ASSERT_NE(wizard, nullptr) << "no installer pages";
        ASSERT_TRUE(next_page(wizard, step_timeout_ms));  // welcome
        std::wstring folder = page_text(wizard, L"Edit");
        if (folder.ends_with(L"\\")) folder.pop_back();
        EXPECT_EQ(folder, install_folder()) << "an upgrade goes where the program is";
        ASSERT_TRUE(next_page(wizard, step_timeout_ms));  // folder
        ASSERT_TRUE(next_page(wizard, step_timeout_ms));  // components: install
        ASSERT_TRUE(wait_for_last_page(wizard, step_timeout_ms));
        press(wizard, 1);  // finish, with "Run Tessera" ticked

        HWND tessera = setup.wait_for_window(is_tessera_window, step_timeout_ms);
        EXPECT_NE(tessera, nullptr) << "the last page did not start Tessera";
        if (tessera) PostMessageW(tessera, WM_CLOSE, 0, 0);
        EXPECT_TRUE(setup.wait_for_end(step_timeout_ms));
        EXPECT_EQ(setup.exit_code(), 0u);
    }

    // Uninstalls through the pages, saying yes to deleting the cache; returns the question.
    std::wstring uninstall_through_the_pages() {
        setup_run_c uninstall(install_folder() + L"\\uninstall.exe", L"");
        HWND wizard = uninstall.wait_for_window(is_wizard, step_timeout_ms);
        if (!wizard || !next_page(wizard, step_timeout_ms)) return L"<no uninstaller pages>";
        HWND question = uninstall.wait_for_window([&](HWND w) { return w != wizard && has_class(w, L"#32770") &&
                                                                       GetDlgItem(w, IDYES); },
                                                  step_timeout_ms);
        if (!question) return L"<no question>";
        std::wstring text = window_text(GetDlgItem(question, 0xFFFF));  // the message box's text
        press(question, IDYES);
        if (!wait_for_last_page(wizard, step_timeout_ms)) return L"<did not end>";
        press(wizard, 1);
        EXPECT_TRUE(uninstall.wait_for_end(step_timeout_ms));
        return text;
    }
};

}  // namespace

TEST_F(installer, a_damaged_copy_refuses_to_run_and_changes_nothing) {
    temp_folder_c folder(L"installer");
    std::wstring damaged = folder / L"damaged-setup.exe";
    ASSERT_TRUE(CopyFileW(installer_path().c_str(), damaged.c_str(), FALSE)) << "no installer built";
    HANDLE file = CreateFileW(damaged.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    size.QuadPart /= 2;
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    machine_state_t before = machine_state();

    setup_run_c silent(damaged, L"/S /LANGUAGE=4");
    ASSERT_TRUE(silent.wait_for_end(step_timeout_ms));
    EXPECT_NE(silent.exit_code(), 0u);

    setup_run_c shown(damaged, L"");
    HWND error = shown.wait_for_window([](HWND w) { return has_class(w, L"#32770"); }, step_timeout_ms);
    ASSERT_NE(error, nullptr) << "a damaged installer should say so";
    EXPECT_FALSE(is_wizard(error));
    press(error, IDOK);
    ASSERT_TRUE(shown.wait_for_end(step_timeout_ms));
    EXPECT_NE(shown.exit_code(), 0u);
    EXPECT_TRUE(machine_state() == before);
}

TEST_F(installer, installs_starts_scans_upgrades_and_uninstalls) {
    ASSERT_FALSE(exists(install_folder())) << "the prefix should be new";
    std::string photo = read_all(TESSERA_SOURCE_DIR "/tests/engine/fixtures/card_photo.jpg");
    ASSERT_GT(photo.size(), 500u);

    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultUILanguage()), LANG_GERMAN) << "the test runs on a German system";
    ASSERT_EQ(install_silently(L"/LANGUAGE=4"), 0u);
    expect_installed(4);

    start_and_close_tessera();
    EXPECT_EQ(stored_text(L"language"), L"Français");
    EXPECT_EQ(stored_text(L"RecoveryPath"), install_folder() + L"\\recovery");
    EXPECT_TRUE(is_folder(stored_text(L"RecoveryPath")));
    std::wstring cache = stored_text(L"CachePath");
    EXPECT_TRUE(is_folder(cache));

    scan_the_card_from_the_installed_folder(photo);
    std::wstring recovered = install_folder() + L"\\recovery\\FILE00000.jpg";
    ASSERT_TRUE(write_file(recovered, photo));
    std::map<std::wstring, std::wstring> settings;
    for (const wchar_t* name : {L"CachePath", L"RecoveryPath", L"language"}) settings[name] = stored_text(name);
    std::map<std::wstring, std::string> cache_files = tree(cache);
    ASSERT_FALSE(cache_files.empty());

    auto expect_kept = [&] {
        for (const auto& [name, value] : settings) EXPECT_EQ(stored_text(name.c_str()), value) << "an upgrade changed a setting";
        EXPECT_TRUE(tree(cache) == cache_files) << "an upgrade touched the cache";
        EXPECT_EQ(read_all(to_ansi(from_wide(recovered.c_str()))), photo);
    };
    ASSERT_EQ(install_silently(L""), 0u);
    expect_installed(2);  // the system's language
    expect_kept();
    upgrade_through_the_pages(L"Italiano");
    expect_installed(5);
    expect_kept();

    // The cache folder also holds the user's own files, some named like ours, and a work folder
    // set aside by a search whose deletion was cut short; the recovery folder lies in the work
    // folder, and the cache path is stored with a trailing backslash.
    ASSERT_TRUE(write_file(cache + L"\\tmp_invoice.pdf", "the user's"));
    ASSERT_TRUE(CreateDirectoryW((cache + L"\\tmp-photos").c_str(), nullptr));
    ASSERT_TRUE(write_file(cache + L"\\tmp-photos\\f0001234.jpg", "the user's"));
    ASSERT_TRUE(CreateDirectoryW((cache + L"\\tmp.mine").c_str(), nullptr));
    ASSERT_TRUE(write_file(cache + L"\\tmp.mine\\f0001234.jpg", "the user's"));
    ASSERT_TRUE(write_file(cache + L"\\tmp\\.f0020001.jpg", "unfinished"));
    ASSERT_TRUE(CreateDirectoryW((cache + L"\\~tmp.5").c_str(), nullptr));
    for (const wchar_t* name : {L".tessera_work", L"f0000064.mov", L"thumb_f0000064.png", L".ember_summary"})
        ASSERT_TRUE(write_file(cache + L"\\~tmp.5\\" + name, "ours"));
    std::wstring recovery = cache + L"\\tmp\\recovered";
    ASSERT_TRUE(CreateDirectoryW(recovery.c_str(), nullptr));
    ASSERT_TRUE(write_file(recovery + L"\\FILE00000.jpg", photo));
    store_text(L"CachePath", cache + L"\\");
    store_text(L"RecoveryPath", recovery);

    std::wstring question = uninstall_through_the_pages();
    EXPECT_NE(question.find(cache), std::wstring::npos) << "the uninstaller should name the cache folder: " << question;
    std::map<std::wstring, std::string> left = tree(install_folder());
    ASSERT_EQ(left.size(), 1u) << "only the recovery folder stays";
    EXPECT_EQ(left[L"recovery\\FILE00000.jpg"], photo);
    EXPECT_FALSE(exists(install_folder() + L"\\Ember"));
    EXPECT_FALSE(exists(start_menu_shortcut()));
    EXPECT_FALSE(exists(desktop_shortcut()));
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, uninstall_key));
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, L"SOFTWARE\\Tessera_Init"));
    std::map<std::wstring, std::string> kept = tree(cache);
    std::map<std::wstring, std::string> expected = {
        {L"tmp_invoice.pdf", "the user's"},
        {L"tmp-photos\\f0001234.jpg", "the user's"},
        {L"tmp.mine\\f0001234.jpg", "the user's"},
        {L"tmp\\.tessera_work", ""},  // its folder still holds the recovery folder
        {L"tmp\\recovered\\FILE00000.jpg", photo},
    };
    std::wstring listed;
    for (const auto& [path, bytes] : kept) listed += path + L" ";
    EXPECT_TRUE(kept == expected) << "the user said yes: only the earlier finds go; kept: " << to_ansi(from_wide(listed.c_str()));
}
