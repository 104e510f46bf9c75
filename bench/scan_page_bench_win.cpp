// The scan page through a scan of 100,000 finds, every input given as a user gives it: the
// stand-in engine reports the finds to the real reader, the real thumbnail workers handle them,
// the page's 200 ms tick and the grid's one-second thumbnail tick run on their own timers, and
// the wheel, the clicks and the keys go through the input queue (SendInput). Every message the
// window's thread handles is timed; each phase reports its worst message and 99th percentile:
// while the finds arrive (the wheel turned and a tick set now and then), a walk through the
// whole group by keys (End, Home, then Page Down to the end, with memory and pictures held),
// and "Last results" pressed on the home page.
// Run by bench/scan_page.sh.
//   scan_page_bench APP_FOLDER CACHE PREMADE RECORDS [LAST_RESULTS_CACHE]
// APP_FOLDER holds the stand-in engine as Ember\embsrv.exe; CACHE is the scan's cache folder;
// PREMADE holds the finds f0000000.jpg and on with their thumbnails, which the engine moves into
// its work folder.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/app_messages.h"
#include "base/language.h"
#include "base/language_file_win.h"
#include "app/main_window_win.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "media/thumbnail_win.h"
#include "picture/picture_win.h"
#include "ui/shared_fonts_win.h"

namespace {

double now_ms() {
    static LARGE_INTEGER frequency{};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t{};
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Wine reports the working set but neither private bytes nor GDI objects (both read 0 there), so
// the pictures the grid holds (one GDI bitmap each) are counted by the program itself.
void print_usage(const char* when) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("  %-28s working set %7.1f MiB, pictures %4ld\n", when, memory.WorkingSetSize / 1048576.0,
                live_pictures());
}

// Every message of one phase, timed as the window's thread handles it.
struct phase_t {
    const char* name;
    std::vector<double> took;
    double worst = 0;
    UINT worst_message = 0;
    WPARAM worst_w = 0;
    wchar_t worst_class[64] = {};
    double started = now_ms();
};

void handle_messages(phase_t& phase) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        double begun = now_ms();
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        double took = now_ms() - begun;
        phase.took.push_back(took);
        if (took > phase.worst) {
            phase.worst = took;
            phase.worst_message = msg.message;
            phase.worst_w = msg.wParam;
            GetClassNameW(msg.hwnd, phase.worst_class, 64);
        }
    }
}

// Handles messages until `is_done`, calling `input` every `every_ms` (none when 0).
void run_phase(phase_t& phase, const std::function<bool()>& is_done, double every_ms,
               const std::function<void()>& input, double limit_ms = 600000) {
    double next_input = now_ms() + every_ms;
    while (!is_done() && now_ms() - phase.started < limit_ms) {
        handle_messages(phase);
        if (every_ms > 0 && now_ms() >= next_input) {
            input();
            next_input = now_ms() + every_ms;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    handle_messages(phase);
}

void report(phase_t& phase) {
    std::sort(phase.took.begin(), phase.took.end());
    double p99 = phase.took.empty() ? 0 : phase.took[phase.took.size() * 99 / 100];
    std::printf("%-34s %6.1f s, %6zu messages: worst %6.1f ms (0x%04X, wParam %llu, to %ls), 99th percentile %5.1f ms\n",
                phase.name, (now_ms() - phase.started) / 1000.0, phase.took.size(), phase.worst, phase.worst_message,
                static_cast<unsigned long long>(phase.worst_w), phase.worst_class, p99);
    std::fflush(stdout);
}

void click_screen(POINT at) {
    SetCursorPos(at.x, at.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof input[0]);
}

void click_window(HWND window, int x, int y) {
    POINT at{x, y};
    ClientToScreen(window, &at);
    click_screen(at);
}

void click_centre(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    click_window(window, rect.right / 2, rect.bottom / 2);
}

void wheel(HWND over, int notches) {
    RECT rect{};
    GetClientRect(over, &rect);
    POINT at{rect.right / 2, rect.bottom / 2};
    ClientToScreen(over, &at);
    SetCursorPos(at.x, at.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA * notches);
    SendInput(1, &input, sizeof input);
}

void press_key(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

// The tick box of the first row whose tick band lies in the view, first column.
void click_tick(preview_window_c& grid) {
    int32_t y = 10 + 86 + 2 - (grid.scroll_pos() % 111);
    if (y < 0) y += 111;
    click_window(grid.hwnd(), 20, y);
}

// The run has ended and every find is filed and has been handled by the thumbnail workers.
bool is_all_handled(recovery_window_c& page) {
    if (page.scan().state() != scan_state_t::idle || page.scan().last_end() == run_end_t::none) return false;
    queue_lock_c lock;
    const found_queue_c& queue = found_queue();
    return page.shown() == queue.size() && queue.thumbs_done == queue.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: scan_page_bench APP_FOLDER CACHE PREMADE RECORDS [LAST_RESULTS_CACHE]\n");
        return 2;
    }
    const std::string app = argv[1], cache = argv[2], premade = argv[3];
    const unsigned long records = std::strtoul(argv[4], nullptr, 10);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
    reset_found_queue();
    set_thumbnail_builder(thumbnail_builder);
    start_thumbnail_worker();
    init_settings();
    create_shared_fonts();
    load_language(u"English", true);
    // The program starts Ember\embsrv.exe from its current folder: here the stand-in.
    SetCurrentDirectoryA(app.c_str());
    std::string scenario = "finds=" + std::to_string(records) + ",pause=20,premade=" + premade;
    SetEnvironmentVariableA("TESSERA_FAKE_ENGINE", scenario.c_str());

    main_window_c window;
    RECT rect{0, 0, main_window_width, main_window_height};
    if (!window.create(nullptr, rect, L"Tessera", WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN)) return 1;
    ShowWindow(window.hwnd(), SW_SHOW);
    SetForegroundWindow(window.hwnd());
    auto* page = reinterpret_cast<recovery_window_c*>(GetWindowLongPtrW(window.scan_page(), GWLP_USERDATA));
    preview_window_c& grid = page->grid();

    scan_request_t request{};
    std::snprintf(request.cache_dir, sizeof request.cache_dir, "%s", cache.c_str());
    std::snprintf(request.volume, sizeof request.volume, "%s\\source.img", cache.c_str());
    request.want_photo = request.want_video = request.want_audio = 1;
    std::printf("scan page, %lu finds from the stand-in engine (a hundred every 20 ms and more):\n", records);
    phase_t filling{"while the finds arrive"};
    double start_took = now_ms();
    SendMessageW(window.hwnd(), UM_SHOW_SCAN_AND_START, 1, reinterpret_cast<LPARAM>(&request));
    start_took = now_ms() - start_took;
    int turn = 0;
    run_phase(filling, [&] { return is_all_handled(*page); }, 700, [&] {
        if (turn++ % 3 == 2) click_tick(grid);
        else wheel(grid.hwnd(), 3);
    });
    std::printf("%-34s %6.1f ms\n", "start message", start_took);
    std::printf("filed %u of %lu, thumbnails handled; scroll position %d of %d\n", page->shown(), records,
                grid.scroll_pos(), grid.content_height());
    report(filling);

    // Through the group by keys: to the end and back to the top, forty pages down, to the end
    // again and forty pages up, a key every 150 ms; a jump rests 1.5 s, which lets the thumbnail
    // tick load what it shows.
    phase_t walking{"walking the group by keys"};
    click_window(grid.hwnd(), 60, 40);  // focuses the first cell in view; the grid takes the keys
    constexpr int pages = 40;
    double pause_until = 0;
    int step = 0;
    print_usage("before the walk");
    run_phase(walking, [&] { return step > 2 * pages + 3; }, 150, [&] {
        if (now_ms() < pause_until) return;
        if (step == 0 || step == pages + 2) press_key(VK_END), pause_until = now_ms() + 1500;
        else if (step == 1) press_key(VK_HOME), pause_until = now_ms() + 1500;
        else press_key(step < pages + 2 ? VK_NEXT : VK_PRIOR);
        ++step;
    });
    print_usage("at the end of the walk");
    std::printf("walked %d key presses, thumbnails loaded at the end: %zu\n", step, grid.loaded_thumbnails());
    report(walking);

    if (argc > 5) {
        settings.cache_path = from_ansi(argv[5]);
        phase_t leaving{"home, then Last results"};
        click_centre(page->control(id_scan_home));
        run_phase(leaving, [&] { return window.current_page() == window.home_page(); }, 0, [] {}, 10000);
        double clicked = now_ms();
        click_centre(window.home_window()->resume_button().hwnd());
        double shown_at = 0;
        run_phase(leaving, [&] {
            if (!shown_at && window.current_page() == window.scan_page()) shown_at = now_ms();
            return shown_at && !page->scan().is_loading() && page->shown() > 0;
        }, 0, [] {});
        std::printf("Last results, %u finds: scan page shown %.0f ms after the click, all filed after %.1f s\n",
                    page->shown(), shown_at - clicked, (now_ms() - clicked) / 1000.0);
        report(leaving);
    }
    DestroyWindow(window.hwnd());
    close_found_queue();
    return 0;
}
