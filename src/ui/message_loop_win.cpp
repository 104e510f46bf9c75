#include "ui/message_loop_win.h"

#include <algorithm>

CAppModule app_module;

namespace {

template <class T>
void remove_from(std::vector<T*>& list, T* item) {
    auto found = std::find(list.begin(), list.end(), item);
    if (found != list.end()) list.erase(found);
}

}  // namespace

void CMessageLoop::add_message_filter(CMessageFilter* filter) {
    if (filter) filters_.push_back(filter);
}

void CMessageLoop::remove_message_filter(CMessageFilter* filter) { remove_from(filters_, filter); }

void CMessageLoop::add_idle_handler(CIdleHandler* handler) {
    if (handler) idle_handlers_.push_back(handler);
}

void CMessageLoop::remove_idle_handler(CIdleHandler* handler) { remove_from(idle_handlers_, handler); }

// Filters are asked newest first. A filter may remove itself (a window being destroyed), so the
// list is walked by index and re-checked on every step.
bool CMessageLoop::pre_translate_message(MSG* msg) {
    for (size_t i = filters_.size(); i-- > 0;) {
        if (i >= filters_.size()) continue;
        if (filters_[i]->pre_translate_message(msg)) return true;
    }
    return false;
}

bool CMessageLoop::on_idle() {
    bool wants_more = false;
    for (size_t i = 0; i < idle_handlers_.size(); ++i) {
        if (idle_handlers_[i]->on_idle()) wants_more = true;
    }
    return wants_more;
}

// Idle processing resumes after input and paint messages, not after the timer and mouse-move
// streams that would otherwise keep it running all the time.
bool CMessageLoop::is_idle_message(const MSG& msg) {
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case WM_TIMER:
    case 0x0118:  // WM_SYSTIMER, the caret blink
        return false;
    default:
        return true;
    }
}

int CMessageLoop::run() {
    bool do_idle = true;
    MSG msg{};
    for (;;) {
        while (do_idle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!on_idle()) do_idle = false;
        }
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) continue;
        if (!got) break;
        if (!pre_translate_message(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (is_idle_message(msg)) do_idle = true;
    }
    return static_cast<int>(msg.wParam);
}

void CAppModule::init() {
    if (is_initialised_) return;
    InitializeCriticalSection(&lock_);
    is_initialised_ = true;
}

void CAppModule::term() {
    if (!is_initialised_) return;
    loops_.clear();
    DeleteCriticalSection(&lock_);
    is_initialised_ = false;
}

bool CAppModule::add_message_loop(CMessageLoop* loop) {
    if (!is_initialised_ || !loop) return false;
    EnterCriticalSection(&lock_);
    DWORD thread_id = GetCurrentThreadId();
    bool is_new = std::none_of(loops_.begin(), loops_.end(),
                               [&](const loop_entry_t& e) { return e.thread_id == thread_id; });
    if (is_new) loops_.push_back({thread_id, loop});
    LeaveCriticalSection(&lock_);
    return is_new;
}

bool CAppModule::remove_message_loop() {
    if (!is_initialised_) return false;
    EnterCriticalSection(&lock_);
    DWORD thread_id = GetCurrentThreadId();
    auto found = std::find_if(loops_.begin(), loops_.end(),
                              [&](const loop_entry_t& e) { return e.thread_id == thread_id; });
    bool was_there = found != loops_.end();
    if (was_there) loops_.erase(found);
    LeaveCriticalSection(&lock_);
    return was_there;
}

CMessageLoop* CAppModule::get_message_loop(DWORD thread_id) {
    if (!is_initialised_) return nullptr;
    EnterCriticalSection(&lock_);
    CMessageLoop* loop = nullptr;
    for (const loop_entry_t& e : loops_) {
        if (e.thread_id == thread_id) loop = e.loop;
    }
    LeaveCriticalSection(&lock_);
    return loop;
}
