// A helper for the screenshot script, never shipped:
//   ui_probe box MODE [LANGUAGE]    the skinned message box in that mode
//   ui_probe message KEY MODE [LANGUAGE]
//                                   the box with the text of KEY, {1} and {2} filled with 3 and 8
//   ui_probe warning [LANGUAGE]     the cache warning for a card of 7.4 GB
//   ui_probe say KEY MODE [LANGUAGE] the same with {1} a size
//   ui_probe send MESSAGE WPARAM    sends a message to the running Tessera window
//   ui_probe post MESSAGE WPARAM    posts one (a command that opens a modal dialog)
//   ui_probe close TITLE            Esc for the visible dialog of that title
//   ui_probe where PAGE_CLASS ID    prints the screen point in the middle of a page's control
//   ui_probe scan VOLUME CACHE      starts a search of VOLUME in Tessera as its options page does
//                                   (photo, video and audio), the request copied into its memory
//   ui_probe text ID                prints the text of the scan page's control ID
//   ui_probe point CLASS X Y        prints the screen point of client (X, Y) of Tessera's child
//                                   window of that class (TesseraPreviewGrid, ...)
// Texts come from language.ini in the current folder, in LANGUAGE (English when not given).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "base/app_messages.h"
#include "base/language.h"
#include "base/language_file_win.h"
#include "base/settings_win.h"
#include "base/text_format.h"
#include "base/wide_text_win.h"
#include "engine/engine_run_win.h"
#include "pages/folder_window_win.h"
#include "ui/message_box_win.h"
#include "ui/shared_fonts_win.h"

namespace {

HWND tessera_window() { return FindWindowW(L"TesseraMainWindow", L"Tessera"); }

UINT number(const wchar_t* text) { return static_cast<UINT>(std::wcstoul(text, nullptr, 0)); }

void prepare_texts(int argc, wchar_t** argv, int language_at) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    init_settings();
    create_shared_fonts();
    std::u16string language = argc > language_at ? from_wide(argv[language_at]) : u"English";
    load_language(language, true);
    load_language(u"English", false);
}

// The box closes itself after a few seconds, as Escape would, so a script never hangs on it.
void close_later(const wchar_t* title) {
    std::thread([title] {
        Sleep(4000);
        PostMessageW(FindWindowW(L"#32770", title), WM_COMMAND, IDCANCEL, 0);
    }).detach();
}

int show_box(int argc, wchar_t** argv) {
    prepare_texts(argc, argv, 3);
    const char* keys[] = {"config_language_change_notice", "option_no_dir", "recovery_failed_code2",
                          "cancel_confirm", "recovery_finished"};
    int mode = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    std::u16string text =
        mode >= 0 && mode <= 4 ? format_text(lookup_text(keys[mode]), {u"8"}) : u"A box of another mode.";
    close_later(L"Tessera");
    return show_message(nullptr, text, static_cast<message_mode_t>(mode));
}

// One text of the language file in a box of the given mode, as the pages show it, with the
// placeholders filled with sample values.
int show_text_box(int argc, wchar_t** argv, std::initializer_list<std::u16string_view> values) {
    prepare_texts(argc, argv, 4);
    std::string key = to_ansi(from_wide(argv[2]));
    int mode = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
    close_later(L"Tessera");
    return show_message(nullptr, format_text(lookup_text(key.c_str()), values), static_cast<message_mode_t>(mode));
}

int show_warning(int argc, wchar_t** argv) {
    prepare_texts(argc, argv, 2);
    close_later(L"Tessera");
    return show_cache_warning(format_text(lookup_text("cache_msg"), {u"7.4 GB"}), nullptr);
}

// The main window forwards the request's address to the scan page, which copies it before the
// message returns: so the request is written into Tessera's own memory for the time of the send.
int start_scan(wchar_t** argv) {
    HWND window = tessera_window();
    DWORD process_id = 0;
    if (!window || !GetWindowThreadProcessId(window, &process_id)) return 2;
    scan_request_t request{};
    WideCharToMultiByte(CP_ACP, 0, argv[2], -1, request.volume, sizeof request.volume, nullptr, nullptr);
    WideCharToMultiByte(CP_ACP, 0, argv[3], -1, request.cache_dir, sizeof request.cache_dir, nullptr, nullptr);
    request.want_photo = request.want_video = request.want_audio = 1;
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process_id);
    if (!process) return 2;
    void* remote = VirtualAllocEx(process, nullptr, sizeof request, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    int result = 2;
    if (remote && WriteProcessMemory(process, remote, &request, sizeof request, nullptr)) {
        SendMessageW(window, UM_SHOW_SCAN_AND_START, 1, reinterpret_cast<LPARAM>(remote));
        result = 0;
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return result;
}

int print_scan_page_text(wchar_t** argv) {
    HWND page = FindWindowExW(tessera_window(), nullptr, L"TesseraScanPage", nullptr);
    wchar_t text[128] = {};
    if (!page || !GetWindowTextW(GetDlgItem(page, static_cast<int>(number(argv[2]))), text, 128)) return 2;
    std::printf("%s\n", to_ansi(from_wide(text)).c_str());
    return 0;
}

int print_screen_point(wchar_t** argv) {
    struct search_t {
        const wchar_t* class_name;
        HWND found;
    } search{argv[2], nullptr};
    EnumChildWindows(tessera_window(), [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<search_t*>(data);
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (std::wcscmp(name, s->class_name) != 0) return TRUE;
        s->found = child;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    POINT p{static_cast<LONG>(std::wcstol(argv[3], nullptr, 10)), static_cast<LONG>(std::wcstol(argv[4], nullptr, 10))};
    if (!search.found || !ClientToScreen(search.found, &p)) return 2;
    std::printf("%ld %ld\n", p.x, p.y);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 4 && std::wcscmp(argv[1], L"send") == 0) {
        HWND window = tessera_window();
        if (!window) return 2;
        SendMessageW(window, number(argv[2]), number(argv[3]), 0);
        return 0;
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"post") == 0)
        return PostMessageW(tessera_window(), number(argv[2]), number(argv[3]), 0) ? 0 : 2;
    if (argc >= 3 && std::wcscmp(argv[1], L"close") == 0) {
        HWND dialog = FindWindowW(L"#32770", argv[2]);
        return dialog && PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0) ? 0 : 2;
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"where") == 0) {
        HWND page = FindWindowExW(tessera_window(), nullptr, argv[2], nullptr);
        RECT rect{};
        if (!GetWindowRect(GetDlgItem(page, static_cast<int>(number(argv[3]))), &rect)) return 2;
        std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        return 0;
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"box") == 0) return show_box(argc, argv);
    if (argc >= 2 && std::wcscmp(argv[1], L"warning") == 0) return show_warning(argc, argv);
    if (argc >= 4 && std::wcscmp(argv[1], L"message") == 0) return show_text_box(argc, argv, {u"3", u"8"});
    if (argc >= 4 && std::wcscmp(argv[1], L"say") == 0) return show_text_box(argc, argv, {u"1.00M"});
    if (argc >= 4 && std::wcscmp(argv[1], L"scan") == 0) return start_scan(argv);
    if (argc >= 3 && std::wcscmp(argv[1], L"text") == 0) return print_scan_page_text(argv);
    if (argc >= 5 && std::wcscmp(argv[1], L"point") == 0) return print_screen_point(argv);
    return 1;
}
