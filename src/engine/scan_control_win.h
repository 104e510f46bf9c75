// The scan operations the scan page drives: start, pause and resume, stop, reset, the end of a
// run and the progress bar. The page supplies its timer, its result views, its buttons and its
// question box through scan_view_i, so that it only has to show what it is told.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/background_task_win.h"
#include "engine/engine_run_win.h"
#include "engine/work_folders_win.h"

enum class scan_state_t : int32_t { idle = 0, scanning = 1, paused = 2 };

// What the page's start/pause button and stop button should show.
struct scan_buttons_t {
    std::string start_text_key = "btn_pause";  // a language key: btn_start, btn_pause, btn_resume
    bool is_start_shown = true;
    bool is_stop_shown = true;
};

class scan_view_i {
public:
    virtual ~scan_view_i() = default;
    virtual void start_timer() = 0;  // timer 1, every 200 ms; each tick calls on_timer_tick
    virtual void kill_timer() = 0;
    // Empties the grid, the tree's extension map, the current record and the view counts, and
    // re-creates the tree's three category roots.
    virtual void clear_results() = 0;
    // Shows the buttons as asked, repainting the start/pause button at once.
    virtual void show_buttons(const scan_buttons_t& buttons) = 0;
    // Asks "cancel_confirm"; 1 when the user confirms.
    virtual int confirm_cancel() = 0;
};

class scan_control_c {
public:
    explicit scan_control_c(scan_view_i& view);
    ~scan_control_c();
    scan_control_c(const scan_control_c&) = delete;
    scan_control_c& operator=(const scan_control_c&) = delete;

    void start_scan(const scan_request_t& request);
    void toggle_scan();
    void stop_scan();
    void reset_scan();
    // Shows loaded results: the page goes idle with no bar, and a loader thread appends the finds
    // of the earlier scan in `cache_dir` to the queue while the timer files them, until it ends.
    void show_results(const std::u16string& cache_dir);
    bool is_loading() const { return loader_.has_thread(); }
    // The timer's end-of-run check; true on the tick that noticed the end of a run or a load.
    bool on_timer_tick();
    // True when the page may be left: idle, or the user confirmed cancelling the scan.
    bool may_leave();
    // Ends the engine at once, as closing the main window does.
    void terminate_engine();

    scan_state_t state() const { return state_; }
    const scan_buttons_t& buttons() const { return buttons_; }
    // Recomputes the bar from the last packet and returns it (0 to 1).
    float update_progress();
    float progress() const { return progress_; }
    uint64_t total_sectors() const { return run_->total_sectors.load(); }
    uint64_t current_sector() const { return run_->current_sector.load(); }
    const engine_run_t& run() const { return *run_; }
    // The last run's result once it has ended (0 or -1).
    int32_t reader_result() const { return reader_.result(); }
    // How the last run ended (none while it runs), and whether the page shows loaded results.
    run_end_t last_end() const { return end_; }
    bool is_results_only() const { return is_results_only_; }
    // The end the user has not yet been told of, once: set when a start is refused and when the
    // timer notices the end of a run; none otherwise.
    run_end_t take_untold_end();

private:
    void begin_run();
    void clear_run();
    void end_reader();
    void end_load();
    void take_gate();
    void release_gate();
    void close_engine_handles();
    void set_buttons(std::string start_key, bool is_start_shown, bool is_stop_shown);

    scan_view_i& view_;
    std::unique_ptr<engine_run_t> run_;
    background_task_c reader_;
    background_task_c loader_;
    std::unique_ptr<earlier_scan_load_t> load_;  // what loader_ works on; kept until it has ended
    scan_state_t state_ = scan_state_t::idle;
    scan_buttons_t buttons_;
    float progress_ = 0;
    run_end_t end_ = run_end_t::none;
    run_end_t untold_end_ = run_end_t::none;
    bool is_results_only_ = false;
    bool is_gate_held_ = false;
    bool is_reader_suspended_ = false;
};
