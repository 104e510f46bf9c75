// Running the installer or the uninstaller as a user does, from outside: every process it starts
// is kept in one job (the uninstaller runs from a copy of itself, and the installer's last page
// starts Tessera), and its windows are found and pressed through their standard controls.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class setup_run_c {
public:
    setup_run_c(const std::wstring& exe, const std::wstring& arguments);
    ~setup_run_c();
    setup_run_c(const setup_run_c&) = delete;
    setup_run_c& operator=(const setup_run_c&) = delete;

    bool started() const { return process_ != nullptr; }
    // Waits until every process of the run has ended; false after the timeout.
    bool wait_for_end(DWORD timeout_ms);
    // The exit code of the program started first, once it has ended.
    DWORD exit_code() const;
    // A visible top-level window of the run that passes `is_wanted`, waiting up to the timeout.
    HWND wait_for_window(const std::function<bool(HWND)>& is_wanted, DWORD timeout_ms) const;

private:
    HANDLE job_ = nullptr;
    HANDLE process_ = nullptr;
};

// A visible top-level window of any process that passes `is_wanted`, waiting up to the timeout.
HWND wait_for_any_window(const std::function<bool(HWND)>& is_wanted, DWORD timeout_ms);

bool has_class(HWND window, const wchar_t* class_name);
std::wstring window_text(HWND window);

// Presses a button of a dialog as a click does.
void press(HWND dialog, int button_id);

// The NSIS wizard: its frame holds Back (3), Next (1) and Cancel (2) around the current page.
bool is_wizard(HWND window);
// Presses Next once the page allows it and waits for the next page; false when none came.
bool next_page(HWND wizard, DWORD timeout_ms);
// Waits for the last page: Next enabled, Cancel not (the installation has ended).
bool wait_for_last_page(HWND wizard, DWORD timeout_ms);
// The text of the first control of this class on the current page.
std::wstring page_text(HWND wizard, const wchar_t* class_name);

// The items of the first combo box of a dialog.
std::vector<std::wstring> combo_items(HWND dialog);
bool select_combo_item(HWND dialog, const std::wstring& item);
