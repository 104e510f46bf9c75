#include "support/process_win.h"

#include <vector>

child_process_t start_process(const std::wstring& exe, const std::wstring& arguments,
                              const std::wstring& working_folder, HANDLE job) {
    std::wstring command_line = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    child_process_t child;
    if (!CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, job ? CREATE_SUSPENDED : 0, nullptr,
                        working_folder.empty() ? nullptr : working_folder.c_str(), &startup, &info))
        return child;
    if (job) {
        AssignProcessToJobObject(job, info.hProcess);
        ResumeThread(info.hThread);
    }
    CloseHandle(info.hThread);
    child.process = info.hProcess;
    child.id = info.dwProcessId;
    return child;
}

DWORD wait_for_exit(const child_process_t& child, DWORD timeout_ms) {
    if (!child.process) return STILL_ACTIVE;
    WaitForSingleObject(child.process, timeout_ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(child.process, &code);
    return code;
}

void end_process(child_process_t& child) {
    if (!child.process) return;
    if (wait_for_exit(child, 0) == STILL_ACTIVE) {
        TerminateProcess(child.process, 1);
        WaitForSingleObject(child.process, 5000);
    }
    CloseHandle(child.process);
    child.process = nullptr;
}

namespace {

struct window_search_t {
    DWORD process_id;
    const std::wstring* title;
    const wchar_t* class_name;
    bool needs_visible;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<window_search_t*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id) return TRUE;
    if (search->needs_visible && !IsWindowVisible(window)) return TRUE;
    if (search->title) {
        wchar_t title[260] = {};
        GetWindowTextW(window, title, 260);
        if (*search->title != title) return TRUE;
    }
    if (search->class_name) {
        wchar_t name[260] = {};
        GetClassNameW(window, name, 260);
        if (lstrcmpiW(name, search->class_name) != 0) return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

HWND wait_for_window(DWORD process_id, const std::wstring& title, DWORD timeout_ms,
                     const wchar_t* class_name) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    do {
        window_search_t search{process_id, &title, class_name, false, nullptr};
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

bool has_visible_window(DWORD process_id) {
    window_search_t search{process_id, nullptr, nullptr, true, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
}

std::wstring programs_folder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

bool copy_program_file(const std::wstring& name, const std::wstring& to_folder) {
    return CopyFileW((programs_folder() + L"\\" + name).c_str(), (to_folder + L"\\" + name).c_str(), FALSE) != FALSE;
}
