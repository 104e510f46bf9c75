// A stand-in for update\update.exe in the about dialog's tests, never shipped: it notes its
// command line in "started.txt" beside itself and ends.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t note[MAX_PATH + 16] = {};
    DWORD length = GetModuleFileNameW(nullptr, note, MAX_PATH);
    wchar_t* slash = wcsrchr(note, L'\\');
    if (length == 0 || !slash) return 1;
    wcscpy(slash + 1, L"started.txt");
    HANDLE file = CreateFileW(note, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const wchar_t* command_line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, command_line, static_cast<DWORD>(wcslen(command_line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return 0;
}
