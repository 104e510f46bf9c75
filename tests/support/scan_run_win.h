// What a test needs to play the scan page around the real scan control: a view that shows
// nothing, a wait on a condition, and the paths the run queued.
#pragma once

#include <windows.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/found_queue_win.h"
#include "engine/scan_control_win.h"

class quiet_view_c : public scan_view_i {
public:
    void start_timer() override {}
    void kill_timer() override {}
    void clear_results() override {}
    void show_buttons(const scan_buttons_t&) override {}
    int confirm_cancel() override { return 1; }
};

inline bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = 60000) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(10);
    }
    return true;
}

inline std::vector<std::string> queued_paths() {
    queue_lock_c lock;
    std::vector<std::string> paths;
    for (size_t i = 0; i < found_queue().size(); ++i) paths.push_back(found_queue().at(i).path);
    return paths;
}

inline std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
