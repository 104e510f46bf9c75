// A helper for the screenshot script, never shipped:
//   ui_probe box MODE [LANGUAGE]    the skinned message box in that mode
//   ui_probe warning [LANGUAGE]     the cache warning for a card of 7.4 GB
//   ui_probe send MESSAGE WPARAM    sends a message to the running Tessera window
//   ui_probe post MESSAGE WPARAM    posts one (a command that opens a modal dialog)
//   ui_probe close TITLE            Esc for the visible dialog of that title
//   ui_probe where PAGE_CLASS ID    prints the screen point in the middle of a page's control
// Texts come from language.ini in the current folder, in LANGUAGE (English when not given).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "app/language.h"
#include "app/language_file_win.h"
#include "app/settings_win.h"
#include "app/text_format.h"
#include "app/wide_text_win.h"
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
    std::u16string text = mode >= 0 && mode <= 4 ? lookup_text(keys[mode]) : u"A box of another mode.";
    close_later(L"Tessera");
    return show_message(nullptr, text, static_cast<message_mode_t>(mode));
}

int show_warning(int argc, wchar_t** argv) {
    prepare_texts(argc, argv, 2);
    close_later(L"Tessera");
    return show_cache_warning(format_text(lookup_text("cache_msg"), {u"7.4 GB"}), nullptr);
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
    return 1;
}
