#include "engine/scan_control_win.h"

#include "engine/found_queue_win.h"
#include "engine/scan_progress.h"

scan_control_c::scan_control_c(scan_view_i& view) : view_(view), run_(new engine_run_t) {
    run_->reader_gate.reset(CreateMutexW(nullptr, FALSE, nullptr));
    run_->reader_started.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

// The reader works on run_, so it is ended before run_ goes; abandoning alone would leave it
// writing into freed memory.
scan_control_c::~scan_control_c() {
    end_load();
    end_reader();
    close_engine_pipe(*run_);
    reader_.abandon();
    close_engine_handles();
}

// The gate is taken before the reader or the engine is suspended or killed: the reader gives it
// up only while blocked on the pipe, so it is then outside every lock.
void scan_control_c::take_gate() {
    if (is_gate_held_) return;
    WaitForSingleObject(run_->reader_gate.get(), INFINITE);
    is_gate_held_ = true;
}

void scan_control_c::release_gate() {
    if (!is_gate_held_) return;
    ReleaseMutex(run_->reader_gate.get());
    is_gate_held_ = false;
}

void scan_control_c::close_engine_handles() {
    run_->engine_process.reset();
    run_->engine_thread.reset();
    run_->engine_process_id = run_->engine_thread_id = 0;
}

void scan_control_c::set_buttons(std::string start_key, bool is_start_shown, bool is_stop_shown) {
    buttons_.start_text_key = std::move(start_key);
    buttons_.is_start_shown = is_start_shown;
    buttons_.is_stop_shown = is_stop_shown;
    view_.show_buttons(buttons_);
}

// Ends a reader that still runs, and the engine with it: the engine is killed, which breaks the
// pipe, and a paused reader is let go, so that the reader leaves by itself (it must not be killed
// inside a pipe read, see reader_end_grace_ms). Only a reader that does not leave is killed.
void scan_control_c::end_reader() {
    if (!reader_.has_thread()) {
        release_gate();
        return;
    }
    take_gate();
    run_->must_end.store(true);
    if (run_->engine_process.is_valid()) TerminateProcess(run_->engine_process.get(), 0xFFFFFFFF);
    if (is_reader_suspended_) ResumeThread(reader_.thread());
    is_reader_suspended_ = false;
    release_gate();
    if (reader_.wait_for_end(reader_end_grace_ms)) return;
    take_gate();
    reader_.terminate();
    release_gate();
}

// The loader stops at its next file; it holds no lock of this thread's meanwhile.
void scan_control_c::end_load() {
    if (!loader_.has_thread()) return;
    load_->must_end.store(true);
    loader_.wait_for_end(INFINITE);
}

// What a new run starts from: no sectors, an empty bar, no end, no loaded results.
void scan_control_c::clear_run() {
    run_->total_sectors.store(0);
    run_->current_sector.store(0);
    run_->end = run_end_t::none;
    run_->has_summary = false;
    progress_ = 0;
    end_ = untold_end_ = run_end_t::none;
    is_results_only_ = false;
}

void scan_control_c::begin_run() {
    close_engine_pipe(*run_);
    close_engine_handles();
    clear_run();
    // What can be known before starting refuses the run before the reader sets anything aside.
    run_end_t refusal = check_before_start(run_->request);
    if (refusal != run_end_t::none) {
        end_ = untold_end_ = run_->end = refusal;
        state_ = scan_state_t::idle;
        set_buttons("btn_start", true, false);
        return;
    }
    run_->pipe.store(create_engine_pipe());
    run_->must_end.store(false);
    // Stop or pause right after a start must not find the reader still starting (see
    // reader_started); a reader that ended before it got the gate ends the wait too.
    if (reader_.start(run_engine, run_.get()) && run_->reader_started.is_valid()) {
        HANDLE started[2] = {run_->reader_started.get(), reader_.thread()};
        WaitForMultipleObjects(2, started, FALSE, INFINITE);
    }
    view_.start_timer();
    state_ = scan_state_t::scanning;
}

void scan_control_c::start_scan(const scan_request_t& request) {
    end_load();
    end_reader();
    run_->request = request;
    state_ = scan_state_t::scanning;
    set_buttons("btn_pause", true, true);
    begin_run();
}

void scan_control_c::toggle_scan() {
    switch (state_) {
    case scan_state_t::idle:
        reset_scan();
        begin_run();
        break;
    case scan_state_t::scanning:
        // The gate stays with this thread for the whole pause, so the reader cannot move even
        // if it is woken; both threads are suspended too.
        take_gate();
        if (reader_.has_thread()) is_reader_suspended_ = SuspendThread(reader_.thread()) != static_cast<DWORD>(-1);
        if (run_->engine_thread.is_valid()) SuspendThread(run_->engine_thread.get());
        state_ = scan_state_t::paused;
        break;
    case scan_state_t::paused:
        if (is_reader_suspended_) ResumeThread(reader_.thread());
        is_reader_suspended_ = false;
        if (run_->engine_thread.is_valid()) ResumeThread(run_->engine_thread.get());
        release_gate();
        state_ = scan_state_t::scanning;
        break;
    }
    const char* key = state_ == scan_state_t::idle     ? "btn_start"
                      : state_ == scan_state_t::paused ? "btn_resume"
                                                       : "btn_pause";
    set_buttons(key, true, state_ != scan_state_t::idle);
}

void scan_control_c::stop_scan() {
    view_.kill_timer();
    end_reader();
    if (run_->engine_process.is_valid()) TerminateProcess(run_->engine_process.get(), 0xFFFFFFFF);
    close_engine_pipe(*run_);
    state_ = scan_state_t::idle;
    end_ = run_end_t::stopped;
    set_buttons("btn_start", buttons_.is_start_shown, false);
}

void scan_control_c::reset_scan() {
    end_load();
    view_.clear_results();
    state_ = scan_state_t::idle;
    if (reader_.has_thread()) {
        view_.kill_timer();
        end_reader();
    }
    release_gate();
    clear_run();
    reset_found_queue();
}

void scan_control_c::show_results(const std::u16string& cache_dir) {
    end_load();
    state_ = scan_state_t::idle;
    clear_run();
    is_results_only_ = true;
    set_buttons(buttons_.start_text_key, false, false);
    load_ = std::make_unique<earlier_scan_load_t>();
    load_->cache_dir = cache_dir;
    loader_.start(load_earlier_scan_task, load_.get());
    view_.start_timer();
}

bool scan_control_c::on_timer_tick() {
    if (loader_.has_thread()) {
        if (!loader_.has_ended()) return false;
        loader_.close_thread();
        return true;
    }
    if (!reader_.has_ended()) return false;
    reader_.close_thread();
    release_gate();
    view_.kill_timer();
    // A run that did not reach the card's end keeps its bar where it stopped.
    end_ = run_->end;
    untold_end_ = run_end_message_key(end_) ? end_ : run_end_t::none;
    if (is_scanned_to_the_end(end_)) progress_ = 1;
    state_ = scan_state_t::idle;
    set_buttons("btn_start", buttons_.is_start_shown, false);
    return true;
}

run_end_t scan_control_c::take_untold_end() {
    run_end_t end = untold_end_;
    untold_end_ = run_end_t::none;
    return end;
}

bool scan_control_c::may_leave() {
    return state_ == scan_state_t::idle || view_.confirm_cancel() == 1;
}

void scan_control_c::terminate_engine() {
    if (run_->engine_process.is_valid()) TerminateProcess(run_->engine_process.get(), 0xFFFFFFFF);
}

float scan_control_c::update_progress() {
    progress_ = next_progress(progress_, run_->current_sector.load(), run_->total_sectors.load());
    return progress_;
}
