#include "installer/wizard_win.h"

#include "support/process_win.h"

namespace {

constexpr int id_next = 1;
constexpr int id_cancel = 2;
constexpr int id_page_area = 1018;  // the frame's placeholder for the current page

struct window_search_t {
    HANDLE job;  // null for any process
    const std::function<bool(HWND)>* is_wanted;
    HWND found;
};

bool is_in_job(HANDLE job, DWORD process_id) {
    // Wine answers IsProcessInJob only for a handle with full query access.
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id);
    if (!process) return false;
    BOOL is_in = FALSE;
    IsProcessInJob(process, job, &is_in);
    CloseHandle(process);
    return is_in;
}

BOOL CALLBACK match_window(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<window_search_t*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!IsWindowVisible(window) || (search->job && !is_in_job(search->job, owner)) || !(*search->is_wanted)(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND current_page(HWND wizard) { return FindWindowExW(wizard, nullptr, L"#32770", nullptr); }

bool wait_for(const std::function<bool()>& condition, DWORD timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(50);
    }
    return true;
}

HWND wait_for_window_of(HANDLE job, const std::function<bool(HWND)>& is_wanted, DWORD timeout_ms) {
    HWND found = nullptr;
    wait_for([&] {
        window_search_t search{job, &is_wanted, nullptr};
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
        found = search.found;
        return found != nullptr;
    }, timeout_ms);
    return found;
}

bool is_enabled(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowEnabled(control);
}

}  // namespace

setup_run_c::setup_run_c(const std::wstring& exe, const std::wstring& arguments) {
    job_ = CreateJobObjectW(nullptr, nullptr);
    if (job_) process_ = start_process(exe, arguments, L"", job_).process;
}

setup_run_c::~setup_run_c() {
    if (job_ && !wait_for_end(0)) TerminateJobObject(job_, 1);
    if (process_) CloseHandle(process_);
    if (job_) CloseHandle(job_);
}

bool setup_run_c::wait_for_end(DWORD timeout_ms) {
    return wait_for([&] {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        return QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) &&
               info.ActiveProcesses == 0;
    }, timeout_ms);
}

DWORD setup_run_c::exit_code() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
}

HWND setup_run_c::wait_for_window(const std::function<bool(HWND)>& is_wanted, DWORD timeout_ms) const {
    return wait_for_window_of(job_, is_wanted, timeout_ms);
}

HWND wait_for_any_window(const std::function<bool(HWND)>& is_wanted, DWORD timeout_ms) {
    return wait_for_window_of(nullptr, is_wanted, timeout_ms);
}

bool has_class(HWND window, const wchar_t* class_name) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return lstrcmpiW(name, class_name) == 0;
}

// WM_GETTEXT rather than GetWindowTextW, which does not read a control of another process.
std::wstring window_text(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
    return text;
}

void press(HWND dialog, int button_id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button_id)));
}

bool is_wizard(HWND window) {
    return has_class(window, L"#32770") && GetDlgItem(window, id_page_area) && GetDlgItem(window, id_next);
}

bool next_page(HWND wizard, DWORD timeout_ms) {
    HWND page = current_page(wizard);
    if (!wait_for([&] { return is_enabled(wizard, id_next); }, timeout_ms)) return false;
    press(wizard, id_next);
    return wait_for([&] { HWND now = current_page(wizard); return now && now != page; }, timeout_ms);
}

bool wait_for_last_page(HWND wizard, DWORD timeout_ms) {
    return wait_for([&] { return is_enabled(wizard, id_next) && !is_enabled(wizard, id_cancel); }, timeout_ms);
}

std::wstring page_text(HWND wizard, const wchar_t* class_name) {
    HWND control = FindWindowExW(current_page(wizard), nullptr, class_name, nullptr);
    return control ? window_text(control) : L"";
}

std::vector<std::wstring> combo_items(HWND dialog) {
    std::vector<std::wstring> items;
    HWND combo = FindWindowExW(dialog, nullptr, L"ComboBox", nullptr);
    LRESULT count = combo ? SendMessageW(combo, CB_GETCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[256] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256) SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        items.emplace_back(item);
    }
    return items;
}

bool select_combo_item(HWND dialog, const std::wstring& item) {
    HWND combo = FindWindowExW(dialog, nullptr, L"ComboBox", nullptr);
    LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(item.c_str()));
    return index != CB_ERR && SendMessageW(combo, CB_SETCURSEL, index, 0) == index;
}
