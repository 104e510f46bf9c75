// Starting our programs as real child processes and finding their windows, for tests that drive
// a whole program from outside.
#pragma once

#include <windows.h>

#include <string>

struct child_process_t {
    HANDLE process = nullptr;
    DWORD id = 0;
};

// Starts `exe` (with `arguments`, may be empty) in `working_folder`, inside `job` when one is
// given (before it runs, so that whatever it starts is in the job too); process is null on failure.
child_process_t start_process(const std::wstring& exe, const std::wstring& arguments,
                              const std::wstring& working_folder, HANDLE job = nullptr);
// The exit code once the process has ended, or STILL_ACTIVE after the timeout.
DWORD wait_for_exit(const child_process_t& child, DWORD timeout_ms);
void end_process(child_process_t& child);

// A top-level window of the process with this exact title (and class, when given), waiting up to
// the timeout for it to appear; null when none did.
HWND wait_for_window(DWORD process_id, const std::wstring& title, DWORD timeout_ms,
                     const wchar_t* class_name = nullptr);
// Whether the process has any visible top-level window at all.
bool has_visible_window(DWORD process_id);

// The folder of the running test program, where the build puts every program and language.ini.
std::wstring programs_folder();
bool copy_program_file(const std::wstring& name, const std::wstring& to_folder);
