// One run of the carving engine: the named pipe the front end serves, the engine process it
// starts, and the reader thread that stores progress and queues every file the engine reports.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/engine_command.h"
#include "engine/run_end.h"
#include "base/handles_win.h"

// Where the engine lives, relative to the program's folder (the current folder).
constexpr const char* engine_program = "Ember/embsrv.exe";

// Why a scan cannot be started at all, found before anything is deleted: run_end_t::none when it
// can. The engine's file must be there, and the cache folder must reach the engine as the same
// folder (narrow text in the ANSI code page, into which characters the code page cannot hold are
// lost) with room for the longest path the engine may write below it.
run_end_t check_before_start(const scan_request_t& request);
constexpr const wchar_t* engine_pipe_name = L"\\\\.\\pipe\\Ember";

// How long a run waits for an engine that has closed its end to exit by itself before ending it.
constexpr DWORD engine_exit_grace_ms = 2000;
// How long stop waits for the reader to leave by itself once the engine is ended, before it
// kills it. Under Wine a thread killed inside a pipe read can leave the C library's allocator
// locked, so killing is kept for a reader that does not leave.
constexpr DWORD reader_end_grace_ms = 5000;

struct engine_run_t {
    scan_request_t request;
    // The server end of the pipe, shared by the reader and the page: whoever closes it swaps in
    // INVALID_HANDLE_VALUE and closes what it took out through an owner.
    std::atomic<HANDLE> pipe{INVALID_HANDLE_VALUE};
    std::atomic<uint64_t> total_sectors{0};
    std::atomic<uint64_t> current_sector{0};
    kernel_handle_c engine_process;
    kernel_handle_c engine_thread;
    uint32_t engine_process_id = 0;
    uint32_t engine_thread_id = 0;
    // Held by the reader whenever it runs anything but a blocking pipe call, so that pause and
    // stop, which take it first, find the reader outside every lock (the queue's, the heap's).
    kernel_handle_c reader_gate;
    // Set (auto-reset) once a new reader holds the gate for the first time. Until then it runs
    // the runtime's thread start-up, which takes the heap's lock, so nobody may take the gate
    // and kill or suspend it before this is set.
    kernel_handle_c reader_started;
    // Set, under the gate, when the page ends the run: the reader then leaves at its next step
    // and starts nothing more, so that it ends by itself and need not be killed.
    std::atomic<bool> must_end{false};
    // Written by the reader before it ends, read by the page once it has ended: the work folder
    // the engine was given (ANSI), how the run ended and the engine's summary, if it left one.
    std::string work_dir;
    run_end_t end = run_end_t::none;
    bool has_summary = false;
    run_summary_t summary;
};

// Creates the pipe with the parameters the engine expects; the handle may be invalid, which
// the reader then meets as a failed connect.
HANDLE create_engine_pipe();
// Flushes, disconnects and closes the run's pipe if it still holds one.
void close_engine_pipe(engine_run_t& run);

// The reader's task procedure, given the engine_run_t. 0 or -1; nobody acts on it.
int32_t run_engine(void* run);
// Connects and reads packets until the engine ends the run. 0 for a zero-length message, -1 for
// every other end. Files reported outside the run's work folder are not queued.
int32_t read_engine_pipe(engine_run_t& run);

// Takes the reader gate for the lifetime of the object and can give it up around a blocking call.
class reader_gate_c {
public:
    explicit reader_gate_c(HANDLE gate);
    ~reader_gate_c();
    reader_gate_c(const reader_gate_c&) = delete;
    reader_gate_c& operator=(const reader_gate_c&) = delete;

    template <class blocking_call>
    auto release_during(blocking_call call) {
        leave();
        auto result = call();
        enter();
        return result;
    }

private:
    void enter();
    void leave();
    HANDLE gate_;  // borrowed: the run's reader_gate
};
