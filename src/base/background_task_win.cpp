#include "base/background_task_win.h"

#include <process.h>

#include <atomic>

// The state the owner and the thread share. `is_alive` is set while the procedure runs;
// `is_abandoned` once the owner has gone. A Win32 mutex guards both, since the thread may be
// killed while holding it and the owner must still get it.
struct background_task_c::shared_t {
    kernel_handle_c lock;
    bool is_alive = false;
    bool is_abandoned = false;
    int32_t result = 0;
    task_procedure_fn procedure = nullptr;
    void* argument = nullptr;
};

namespace {

std::atomic<long> shared_state_count{0};

}  // namespace

void background_task_c::free_shared(shared_t* shared) {
    delete shared;
    --shared_state_count;
}

long background_task_c::live_shared_states() { return shared_state_count.load(); }

unsigned __stdcall background_task_c::thread_main(void* param) {
    auto* shared = static_cast<shared_t*>(param);
    int32_t result = -1;
    try {
        result = shared->procedure(shared->argument);
    } catch (...) {
        result = -1;
    }
    bool must_free = false;
    {
        mutex_lock_c lock(shared->lock.get());
        shared->result = result;
        shared->is_alive = false;
        must_free = shared->is_abandoned;
    }
    if (must_free) free_shared(shared);
    return static_cast<unsigned>(result);
}

bool background_task_c::start(task_procedure_fn procedure, void* argument) {
    if (thread_.is_valid() || !procedure) return false;
    abandon();
    auto* shared = new shared_t;
    ++shared_state_count;
    shared->lock.reset(CreateMutexW(nullptr, FALSE, nullptr));
    if (!shared->lock.is_valid()) {
        free_shared(shared);
        return false;
    }
    shared->procedure = procedure;
    shared->argument = argument;
    shared->is_alive = true;
    uintptr_t thread = _beginthreadex(nullptr, 0, thread_main, shared, 0, nullptr);
    if (!thread) {
        free_shared(shared);
        return false;
    }
    shared_ = shared;
    thread_.reset(reinterpret_cast<HANDLE>(thread));
    return true;
}

bool background_task_c::has_ended() const {
    return thread_.is_valid() && WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0;
}

void background_task_c::close_thread() { thread_.reset(); }

bool background_task_c::wait_for_end(DWORD ms) {
    if (!thread_.is_valid()) return true;
    if (WaitForSingleObject(thread_.get(), ms) != WAIT_OBJECT_0) return false;
    close_thread();
    return true;
}

void background_task_c::terminate() {
    if (!thread_.is_valid()) return;
    if (shared_) {
        // Holding the lock keeps the thread out of its closing steps, so it dies either inside
        // the procedure or waiting for the lock; a thread past them is only left to end.
        mutex_lock_c lock(shared_->lock.get());
        if (shared_->is_alive) {
            TerminateThread(thread_.get(), 0);
            shared_->is_alive = false;
        }
    }
    WaitForSingleObject(thread_.get(), INFINITE);
    close_thread();
}

int32_t background_task_c::result() const {
    if (!shared_) return 0;
    mutex_lock_c lock(shared_->lock.get());
    return shared_->result;
}

void background_task_c::abandon() {
    close_thread();
    shared_t* shared = shared_;
    shared_ = nullptr;
    if (!shared) return;
    bool must_free = false;
    {
        mutex_lock_c lock(shared->lock.get());
        if (shared->is_alive)
            shared->is_abandoned = true;
        else
            must_free = true;
    }
    if (must_free) free_shared(shared);
}
