// What the tests of the main window and its pages prepare as start-up would: a clean settings
// key, the shared fonts, the language texts, and the main window itself.
#pragma once

#include <windows.h>

#include <string_view>

#include "base/language.h"
#include "app/main_window_win.h"
#include "base/settings_win.h"
#include "support/registry_win.h"
#include "ui/shared_fonts_win.h"

inline void prepare_front_end(std::string_view language_file, std::u16string_view language) {
    delete_tessera_keys();
    init_settings();
    create_shared_fonts();
    language_table().clear();
    language_table().load(language_file, language, true);
}

inline bool open_main_window(main_window_c& window) {
    RECT rect{0, 0, main_window_width, main_window_height};
    if (!window.create(nullptr, rect, L"Tessera", WS_CAPTION | WS_CLIPCHILDREN)) return false;
    ShowWindow(window.hwnd(), SW_SHOW);
    UpdateWindow(window.hwnd());
    return true;
}
