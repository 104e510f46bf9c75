// The scan page with 100,000 finds queued at once: the time of the tick that files them all, then
// of a scroll step, a click and a repaint at the top, the middle and the end of the photo group,
// the thumbnail tick at each place, and the process's memory and GDI objects while scrolling
// through the whole group with the thumbnails loading. Given CACHE, "Last results" on its earlier
// finds instead of the walk through the group, pressed with real input: the time until the scan
// page shows and until the last find is filed, and the longest message the window handled
// meanwhile with the 99th percentile.
// Run by bench/scan_page.sh.
//   scan_page_bench FOLDER [RECORDS [CACHE]]
// FOLDER holds thumb_<n>.png for n from 0 to 999, real thumbnails that the records take in turn
// (a picture is loaded anew for each record); every twentieth record's thumbnail is missing, as
// for a photo the worker could not decode.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
#include "picture/picture_win.h"
#include "ui/shared_fonts_win.h"

namespace {

constexpr size_t thumbnail_files = 1000;

double now_ms() {
    static LARGE_INTEGER frequency{};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t{};
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

template <class F> double timed(F f) {
    double start = now_ms();
    f();
    return now_ms() - start;
}

// Wine reports the working set but neither private bytes nor GDI objects (both read 0 there), so
// the pictures the grid holds (one GDI bitmap each) are counted by the program itself.
struct usage_t {
    double working_set_mib = 0;
    double private_mib = 0;
    DWORD gdi_objects = 0;
    long pictures = 0;
};

usage_t usage() {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    return {memory.WorkingSetSize / 1048576.0, memory.PrivateUsage / 1048576.0,
            GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), live_pictures()};
}

usage_t most(const usage_t& a, const usage_t& b) {
    return {std::max(a.working_set_mib, b.working_set_mib), std::max(a.private_mib, b.private_mib),
            std::max(a.gdi_objects, b.gdi_objects), std::max(a.pictures, b.pictures)};
}

void print_usage(const char* when, const usage_t& u) {
    std::printf("  %-30s working set %7.1f MiB, private %7.1f MiB, GDI objects %5lu, pictures %4ld\n", when,
                u.working_set_mib, u.private_mib, u.gdi_objects, u.pictures);
}

// Lets the window's own messages (paints, sent notifications) run before the next measurement.
void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A real left click at a screen point, through the input queue.
void click_screen(int x, int y) {
    SetCursorPos(x, y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof input[0]);
}

// "Last results" pressed on the home page, timed from the click to the scan page and to the end
// of the filling, every message the window's thread handles meanwhile measured.
void time_last_results(main_window_c& window, recovery_window_c& page, const std::u16string& cache) {
    settings.cache_path = cache;
    SendMessageW(window.scan_page(), WM_COMMAND, id_scan_home, 0);  // leaves the page and empties the queue
    pump();
    RECT button{};
    GetWindowRect(window.home_window()->resume_button().hwnd(), &button);
    std::vector<double> took;
    const double clicked = now_ms();
    click_screen((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    double shown_at = 0, worst_at = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            double begun = now_ms();
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            took.push_back(now_ms() - begun);
            if (took.back() >= *std::max_element(took.begin(), took.end())) worst_at = begun - clicked;
        }
        if (!shown_at && window.current_page() == window.scan_page()) shown_at = now_ms();
        if (shown_at && !page.scan().is_loading() && page.shown() > 0) break;
        if (now_ms() - clicked > 600000) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    const double filled_at = now_ms();
    std::sort(took.begin(), took.end());
    double p99 = took.empty() ? 0 : took[took.size() * 99 / 100];
    std::printf("Last results, %u finds: scan page shown %.0f ms after the click (target: at most 1000), all filed after "
                "%.1f s\n",
                page.shown(), shown_at - clicked, (filled_at - clicked) / 1000.0);
    std::printf("  %zu messages meanwhile: worst %.1f ms (at %.0f ms), 99th percentile %.1f ms\n", took.size(),
                took.empty() ? 0 : took.back(), worst_at, p99);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan_page_bench FOLDER [RECORDS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const size_t records = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100000;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
    reset_found_queue();
    init_settings();
    create_shared_fonts();
    load_language(u"English", true);

    main_window_c window;
    RECT rect{0, 0, main_window_width, main_window_height};
    if (!window.create(nullptr, rect, L"Tessera", WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN)) return 1;
    ShowWindow(window.hwnd(), SW_SHOW);
    SendMessageW(window.hwnd(), UM_SHOW_SCAN, 0, 0);
    pump();
    auto* page = reinterpret_cast<recovery_window_c*>(GetWindowLongPtrW(window.scan_page(), GWLP_USERDATA));
    preview_window_c& grid = page->grid();
    KillTimer(window.scan_page(), scan_timer_id);        // the bench ticks by hand
    KillTimer(grid.hwnd(), grid_thumbnail_timer_id);

    // Every record a photo that the worker has handled.
    usage_t before = usage();
    {
        queue_lock_c lock;
        for (size_t i = 0; i < records; ++i) {
            char path[found_path_capacity];
            std::snprintf(path, sizeof path, "%s\\f%07zu.jpg", folder.c_str(), i);
            found_queue().append(make_found_file(path, sizeof path));
            std::snprintf(found_queue().at(i).thumb_path, found_path_capacity, "%s\\%s_%zu.png", folder.c_str(),
                          i % 20 == 19 ? "missing" : "thumb", i % 20 == 19 ? i : i % thumbnail_files);
        }
        found_queue().thumbs_done = static_cast<uint32_t>(records);
    }
    double big_tick = timed([&] { SendMessageW(window.scan_page(), WM_TIMER, scan_timer_id, 0); });
    pump();
    std::printf("records filed in one tick: %u of %zu\n", page->shown(), records);
    std::printf("%-28s %9.1f ms   (target: well under 1000)\n", "tick filing them all", big_tick);

    const int32_t end = grid.content_height() - grid.page_height() + 1;
    const int32_t places[3] = {0, end / 2, end};
    const char* names[3] = {"top", "middle", "end"};
    double worst_step = 0;
    for (int p = 0; p < 3; ++p) {
        // Each step five times, the median reported: the machine may be busy with other work.
        double loading_tick = 0, scroll[5], click[5], repaint[5], tick[5];
        grid.scroll_to(places[p]);
        loading_tick = timed([&] { SendMessageW(grid.hwnd(), WM_TIMER, grid_thumbnail_timer_id, 0); });
        for (int i = 0; i < 5; ++i) {
            scroll[i] = timed([&] { SendMessageW(grid.hwnd(), WM_VSCROLL, i % 2 ? SB_LINEUP : SB_LINEDOWN, 0); });
            // A click on the tick band of the first row that starts in the view.
            int32_t y = 10 + 86 + 2 - (grid.scroll_pos() % 111);
            if (y < 0) y += 111;
            click[i] = timed([&] { SendMessageW(grid.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, y)); });
            repaint[i] = timed([&] { RedrawWindow(grid.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
            tick[i] = timed([&] { SendMessageW(grid.hwnd(), WM_TIMER, grid_thumbnail_timer_id, 0); });
            pump();
        }
        auto median = [](double* v) {
            std::sort(v, v + 5);
            return v[2];
        };
        double s = median(scroll), c = median(click), r = median(repaint), t = median(tick);
        std::printf("%-7s scroll step %6.2f ms, click %6.2f ms, repaint %6.2f ms; thumbnail tick loading %7.2f ms, "
                    "then %6.2f ms\n",
                    names[p], s, c, r, loading_tick, t);
        worst_step = std::max({worst_step, s, c, r});
    }
    std::printf("%-28s %9.2f ms   (target: under 50; medians of five)\n", "worst later step", worst_step);
    std::fflush(stdout);
    if (argc > 3) {
        SetTimer(grid.hwnd(), grid_thumbnail_timer_id, grid_thumbnail_timer_ms, nullptr);
        time_last_results(window, *page, from_ansi(argv[3]));
        std::fflush(stdout);
        DestroyWindow(window.hwnd());
        return 0;
    }

    // Through the whole group a page at a time, with the thumbnail tick every tenth page, as for a
    // user who turns the wheel fast (the tick comes once a second); the first tenth and the rest
    // are kept apart to show that nothing grows with the distance.
    grid.scroll_to(0);
    SendMessageW(grid.hwnd(), WM_TIMER, grid_thumbnail_timer_id, 0);
    usage_t start = usage(), first_tenth = start, rest = start;
    size_t pages = 0;
    double slowest_page = 0, slowest_tick = 0;
    while (grid.scroll_pos() < end) {
        slowest_page = std::max(slowest_page, timed([&] { SendMessageW(grid.hwnd(), WM_VSCROLL, SB_PAGEDOWN, 0); }));
        if (++pages % 10 == 0)
            slowest_tick = std::max(slowest_tick, timed([&] {
                SendMessageW(grid.hwnd(), WM_TIMER, grid_thumbnail_timer_id, 0);
            }));
        pump();
        usage_t& peak = grid.scroll_pos() < end / 10 ? first_tenth : rest;
        peak = most(peak, usage());
    }
    std::printf("scrolled through %zu pages: slowest page step %.1f ms, slowest thumbnail tick %.1f ms; "
                "thumbnails loaded at the end: %zu\n",
                pages, slowest_page, slowest_tick, grid.loaded_thumbnails());
    print_usage("before the records", before);
    print_usage("after filing, at the top", start);
    print_usage("peak, first tenth of the group", first_tenth);
    print_usage("peak, the other nine tenths", rest);
    print_usage("at the end", usage());
    DestroyWindow(window.hwnd());
    return 0;
}
