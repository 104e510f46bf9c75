// A helper for the screenshot script, never shipped: `ui_probe box MODE [KEY [LANGUAGE]]` shows the
// skinned message box in that mode with a text of language.ini in the current folder (by default
// a text that box shows, in English); `ui_probe send MESSAGE WPARAM` sends a custom message to the
// running Tessera window (UM_SHOW_OPTIONS and the like); `ui_probe where PAGE_CLASS ID` prints the
// screen point in the middle of that control of a page, for the script to click.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "app/language.h"
#include "app/language_file_win.h"
#include "app/settings_win.h"
#include "app/wide_text_win.h"
#include "ui/message_box_win.h"
#include "ui/shared_fonts_win.h"

int wmain(int argc, wchar_t** argv) {
    if (argc >= 4 && std::wcscmp(argv[1], L"send") == 0) {
        HWND window = FindWindowW(L"TesseraMainWindow", L"Tessera");
        if (!window) return 2;
        SendMessageW(window, static_cast<UINT>(std::wcstoul(argv[2], nullptr, 0)),
                     std::wcstoul(argv[3], nullptr, 0), 0);
        return 0;
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"where") == 0) {
        HWND page = FindWindowExW(FindWindowW(L"TesseraMainWindow", L"Tessera"), nullptr, argv[2], nullptr);
        RECT rect{};
        if (!GetWindowRect(GetDlgItem(page, static_cast<int>(std::wcstol(argv[3], nullptr, 10))), &rect)) return 2;
        std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        return 0;
    }
    if (argc < 3 || std::wcscmp(argv[1], L"box") != 0) return 1;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    init_settings();
    create_shared_fonts();
    load_language(argc >= 5 ? from_wide(argv[4]) : u"English", true);
    load_language(u"English", false);
    const char* keys[] = {"config_language_change_notice", "option_no_dir", "recovery_failed_code2",
                          "cancel_confirm", "recovery_finished"};
    int mode = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    std::u16string text = mode >= 0 && mode <= 4 ? lookup_text(keys[mode]) : u"A box of another mode.";
    if (argc >= 4) text = lookup_text(to_ansi(from_wide(argv[3])));
    // The box closes itself after a few seconds, as Escape would, so a script never hangs on it.
    std::thread([] {
        Sleep(4000);
        PostMessageW(FindWindowW(L"#32770", L"Tessera"), WM_COMMAND, IDCANCEL, 0);
    }).detach();
    return show_message(nullptr, text, static_cast<message_mode_t>(mode));
}
