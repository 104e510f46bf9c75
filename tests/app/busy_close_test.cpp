// The real Tessera.exe while it loads the last results from a cache of 20,000 found files and
// makes their thumbnails: closed at any moment it ends cleanly, and minimised while the load ends
// it shows the scan page whole when restored.
#include <gtest/gtest.h>

#include <windows.h>
#include <process.h>

#include <random>
#include <string>

#include "support/input_win.h"
#include "support/process_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "support/window_capture_win.h"

namespace {

constexpr DWORD start_timeout_ms = 30000;
constexpr int id_home_resume = 2;

// Tessera run under a debugger thread of the test: a fault that nothing handles (a second-chance
// exception) is counted whatever exit code the process ends with, since a thread that faults
// while the program ends leaves the exit code of its main thread.
class watched_tessera_c {
public:
    child_process_t start(const std::wstring& exe, const std::wstring& folder) {
        exe_ = exe;
        folder_ = folder;
        started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, watch, this, 0, nullptr));
        WaitForSingleObject(started_, INFINITE);
        CloseHandle(started_);
        return child_;
    }
    // Waits for the debugger thread, which ends with the process; the count of unhandled faults.
    int end() {
        if (thread_) WaitForSingleObject(thread_, INFINITE), CloseHandle(thread_);
        thread_ = nullptr;
        return unhandled_;
    }
    ~watched_tessera_c() { end(); }

private:
    static unsigned __stdcall watch(void* self) {
        auto* w = static_cast<watched_tessera_c*>(self);
        std::wstring command = L"\"" + w->exe_ + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        bool is_started = CreateProcessW(w->exe_.c_str(), &command[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                                         nullptr, w->folder_.c_str(), &startup, &info);
        if (is_started) {
            CloseHandle(info.hThread);
            w->child_.process = info.hProcess;
            w->child_.id = info.dwProcessId;
        }
        SetEvent(w->started_);
        for (DEBUG_EVENT event{}; is_started && WaitForDebugEvent(&event, INFINITE);) {
            DWORD status = DBG_CONTINUE;
            if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
            if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                status = DBG_EXCEPTION_NOT_HANDLED;
                if (!event.u.Exception.dwFirstChance) ++w->unhandled_;
            }
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
            if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) break;
        }
        return 0;
    }

    std::wstring exe_, folder_;
    HANDLE started_ = nullptr, thread_ = nullptr;
    child_process_t child_;
    int unhandled_ = 0;
};

// The caption buttons stand at the window's top right, each 30 x 21, close outermost.
POINT caption_button(HWND window, int from_right) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return POINT{rect.right - GetSystemMetrics(SM_CXFRAME) - from_right * 30 - 15,
                 rect.top + GetSystemMetrics(SM_CYFRAME) + 10};
}

// The cache of 20,000 found pictures the build makes (make_busy_cache.sh): thumbnails a run
// made are removed before the next, so that every run makes them again.
const std::wstring cache = L"Z:" TESSERA_BUSY_CACHE;
const std::wstring work = cache + L"\\tmp.0";

class busy_close : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(is_folder(work)) << "made by the build";
        delete_tessera_keys();
        app_ = folder_ / L"app";
        CreateDirectoryW(app_.c_str(), nullptr);
        for (const wchar_t* name : {L"Tessera.exe", L"language.ini"}) ASSERT_TRUE(copy_program_file(name, app_)) << name;
        store_value(L"SOFTWARE\\Tessera", L"CachePath", REG_SZ, cache.c_str(), DWORD((cache.size() + 1) * sizeof(wchar_t)));
        store_value(L"SOFTWARE\\Tessera", L"Language", REG_SZ, L"English", DWORD(8 * sizeof(wchar_t)));
        remove_thumbnails();
    }
    void TearDown() override {
        end_process(tessera_);
        delete_tessera_keys();
    }

    static void remove_thumbnails() {
        WIN32_FIND_DATAW entry{};
        HANDLE search = FindFirstFileW((work + L"\\thumb_*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return;
        do DeleteFileW((work + L"\\" + entry.cFileName).c_str());
        while (FindNextFileW(search, &entry));
        FindClose(search);
    }

    // Starts Tessera and clicks resume on its home page. The pointer waits in the screen's corner,
    // away from where the window appears: the display tells a window shown under the pointer
    // where it is, and under load Tessera reads that late, after the click below has moved the
    // pointer, which takes it back to the last run's close button for the press.
    void start_and_resume() {
        mouse_to(0, 0);
        tessera_ = watcher_.start(app_ + L"\\Tessera.exe", app_);
        ASSERT_NE(tessera_.process, nullptr);
        main_ = wait_for_window(tessera_.id, L"Tessera", start_timeout_ms, L"TesseraMainWindow");
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(wait_until([&] { return IsWindowVisible(main_) != FALSE; }, start_timeout_ms));
        HWND resume = GetDlgItem(FindWindowExW(main_, nullptr, L"TesseraHomePage", nullptr), id_home_resume);
        ASSERT_NE(resume, nullptr);
        RECT rect{};
        GetWindowRect(resume, &rect);
        click_at((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    HWND scan_page() const { return FindWindowExW(main_, nullptr, L"TesseraScanPage", nullptr); }

    temp_folder_c folder_{L"busy"};
    std::wstring app_;
    watched_tessera_c watcher_;
    child_process_t tessera_;
    HWND main_ = nullptr;
};

}  // namespace

// The worker writes each thumbnail's facts back into the found-file queue and the loader appends
// to it; both once ran on after the queue was destroyed at the end of the program.
TEST_F(busy_close, closing_at_any_moment_of_a_load_and_its_thumbnails_ends_cleanly) {
    std::mt19937 random(9);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        start_and_resume();
        Sleep(random() % 3000);
        POINT close = caption_button(main_, 0);
        click_at(close.x, close.y);
        // Wine hands the display's late reports of where the pointer was on as moves, so under
        // load an injected press can land where the pointer was a moment before. A window still
        // open after a second gets a second click, as a user would give; a hang outlasts both.
        if (wait_for_exit(tessera_, 1000) == STILL_ACTIVE && IsWindowVisible(main_)) click_at(close.x, close.y);
        EXPECT_EQ(wait_for_exit(tessera_, start_timeout_ms), 0u) << "259 is still running";
        end_process(tessera_);
        EXPECT_EQ(watcher_.end(), 0) << "unhandled faults";
        remove_thumbnails();
        if (HasFatalFailure()) return;
    }
}

// Pages were sized only when switched to; a switch while the window was minimised left the
// scan page 0 x 0, and the restored window showed nothing but white.
TEST_F(busy_close, a_load_that_ends_while_minimised_shows_its_page_when_restored) {
    start_and_resume();
    POINT minimise = caption_button(main_, 1);
    click_at(minimise.x, minimise.y);
    ASSERT_TRUE(wait_until([&] { return IsIconic(main_) != FALSE; }, start_timeout_ms));
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(scan_page()) != FALSE; }, start_timeout_ms))
        << "the load ends while minimised";
    ASSERT_TRUE(IsIconic(main_));
    ShowWindow(main_, SW_RESTORE);
    ASSERT_TRUE(wait_until([&] { return IsIconic(main_) == FALSE; }, start_timeout_ms));
    Sleep(500);
    RECT client{}, page{};
    GetClientRect(main_, &client);
    GetClientRect(scan_page(), &page);
    EXPECT_EQ(page.right, client.right);
    EXPECT_EQ(page.bottom, client.bottom);
    window_capture_c shown(main_, window_capture_c::source_t::screen);
    int painted = 0;
    for (int y = 0; y < client.bottom; y += 4)
        for (int x = 0; x < client.right; x += 4) painted += shown.at(x, y) != RGB(255, 255, 255);
    EXPECT_GT(painted, (client.right / 4) * (client.bottom / 4) / 10) << "more than a white window";
    PostMessageW(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(tessera_, start_timeout_ms), 0u);
    end_process(tessera_);
    EXPECT_EQ(watcher_.end(), 0) << "unhandled faults";
}
