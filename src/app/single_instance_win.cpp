#include "app/single_instance_win.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/app_messages.h"

namespace {

BOOL CALLBACK find_titled_window(HWND window, LPARAM found) {
    wchar_t title[260] = {};
    GetWindowTextW(window, title, 260);
    if (StrCmpIW(title, APP_TITLE) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

int check_single_instance() {
    // Never closed: the mutex marks this copy as running for as long as the process lives.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"TSR");
    if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return 0;
    HWND running = nullptr;
    EnumWindows(find_titled_window, reinterpret_cast<LPARAM>(&running));
    if (running) SendMessageW(running, UM_RAISE_WINDOW, 0, 0);
    ReleaseMutex(mutex);
    return -1;
}
