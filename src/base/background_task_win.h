// Runs one procedure with one argument on a thread of its own. The owner may abandon the task
// while the thread still runs: whichever of the two comes last frees the shared state, under a
// lock, so nothing leaks and nothing is freed twice.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/handles_win.h"

using task_procedure_fn = int32_t (*)(void* argument);

class background_task_c {
public:
    background_task_c() = default;
    ~background_task_c() { abandon(); }
    background_task_c(const background_task_c&) = delete;
    background_task_c& operator=(const background_task_c&) = delete;

    // Starts the procedure; false when a thread is still held or the thread cannot start.
    bool start(task_procedure_fn procedure, void* argument);

    bool has_thread() const { return thread_.is_valid(); }
    HANDLE thread() const { return thread_.get(); }
    // True once the thread has ended (a wait with time-out 0 succeeds).
    bool has_ended() const;
    // Closes and forgets the handle of a thread that has ended; the result stays readable.
    void close_thread();
    // Kills a thread that is still running (exit code 0), then closes and forgets it.
    void terminate();
    // Waits up to `ms` for the thread to end; closes and forgets it if it did.
    bool wait_for_end(DWORD ms);
    // The procedure's result once it has returned; 0 before.
    int32_t result() const;
    // Gives up the task: a thread still running frees the shared state when it ends.
    void abandon();

    // How many shared states exist in the process: those of tasks still owned, plus those of
    // abandoned threads still running.
    static long live_shared_states();

private:
    struct shared_t;
    static unsigned __stdcall thread_main(void* shared);
    static void free_shared(shared_t* shared);

    shared_t* shared_ = nullptr;
    kernel_handle_c thread_;
};
