#include "app/startup_win.h"

#include <windows.h>

#include "base/app_messages.h"
#include "base/language_file_win.h"
#include "app/main_window_win.h"
#include "app/physical_memory.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "app/system_probe_win.h"
#include "base/unicode_text.h"
#include "engine/found_queue_win.h"
#include "media/video_decode_win.h"
#include "engine/work_folders_win.h"
#include "media/thumbnail_win.h"
#include "pages/drive_list_win.h"
#include "base/handles_win.h"
#include "ui/message_loop_win.h"
#include "ui/shared_fonts_win.h"

namespace {

void make_executable_folder_current() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    wchar_t* last_backslash = wcsrchr(path, L'\\');
    if (!last_backslash) return;
    *last_backslash = L'\0';
    SetCurrentDirectoryW(path);
}

int show_startup_failure(int code) {
    wchar_t text[128];
    wsprintfW(text, L"Application initialization failed, error code: %d.", code);
    MessageBoxW(nullptr, text, APP_TITLE, MB_ICONERROR);
    return -1;
}

}  // namespace

int init_application() {
    make_executable_folder_current();
    if (!probe_system()) return show_startup_failure(startup_error_probe);
    query_physical_memory();
    init_settings();
    // The queue lock lives as long as the process: the worker may hold it until the very end.
    set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
    reset_found_queue();
    set_thumbnail_builder(thumbnail_builder);
    if (should_start_thumbnail_worker(physical_memory_bytes)) start_thumbnail_worker();
    refresh_drive_list();
    create_shared_fonts();
    if (load_language(settings.language, true) != 0)
        return show_startup_failure(startup_error_language_file);
    if (!equals_ignoring_case(settings.language, u"English")) load_language(u"English", false);
    return 0;
}

int run_main_window(int show_command) {
    CMessageLoop loop;
    app_module.add_message_loop(&loop);
    auto* window = new main_window_c;
    RECT rect{0, 0, main_window_width, main_window_height};
    if (!window->create(nullptr, rect, APP_TITLE, WS_CAPTION | WS_CLIPCHILDREN)) {
        delete window;
        app_module.remove_message_loop();
        return -1;
    }
    centre_on_work_area(window->hwnd());
    ShowWindow(window->hwnd(), show_command);
    int exit_code = loop.run();
    app_module.remove_message_loop();
    // The threads that write into the queue end before the program does: closing stops and joins
    // the worker and makes a running load stop at its next file, which the home page waits for
    // as the window object goes. A worker waiting for a video reader stops waiting first.
    stop_video_readers();
    close_found_queue();
    delete window;
    // The emptied work folders of this run's searches go now that no window waits for them.
    remove_emptied_set_aside_folders();
    return exit_code;
}
