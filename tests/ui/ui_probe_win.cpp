// A helper for the screenshot script, never shipped: `ui_probe box MODE` shows the skinned message
// box in that mode with the texts of language.ini in the current folder; `ui_probe send MESSAGE
// WPARAM` sends a custom message to the running Tessera window (UM_SHOW_OPTIONS and the like).
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>
#include <thread>

#include "app/language.h"
#include "app/language_file_win.h"
#include "app/settings_win.h"
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
    if (argc < 3 || std::wcscmp(argv[1], L"box") != 0) return 1;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    init_settings();
    create_shared_fonts();
    load_language(u"English", true);
    const char* keys[] = {"config_language_change_notice", "option_no_dir", "recovery_failed_code2",
                          "cancel_confirm", "recovery_finished"};
    int mode = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    std::u16string text = mode >= 0 && mode <= 4 ? lookup_text(keys[mode]) : u"A box of another mode.";
    // The box closes itself after a few seconds, as Escape would, so a script never hangs on it.
    std::thread([] {
        Sleep(4000);
        PostMessageW(FindWindowW(L"#32770", L"Tessera"), WM_COMMAND, IDCANCEL, 0);
    }).detach();
    return show_message(nullptr, text, static_cast<message_mode_t>(mode));
}
