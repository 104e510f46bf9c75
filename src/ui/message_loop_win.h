// The per-thread message loop with message filters and idle handlers, and the module's table
// of loops (one per thread). Names follow WTL so that its readers know the shapes at sight.
#pragma once

#include <windows.h>

#include <vector>

class CMessageFilter {
public:
    virtual ~CMessageFilter() = default;
    // True when the message was consumed and must not be translated and dispatched.
    virtual bool pre_translate_message(MSG* msg) = 0;
};

class CIdleHandler {
public:
    virtual ~CIdleHandler() = default;
    // Called while the queue is empty; false ends idle processing until the next input message.
    virtual bool on_idle() = 0;
};

class CMessageLoop {
public:
    void add_message_filter(CMessageFilter* filter);
    void remove_message_filter(CMessageFilter* filter);
    void add_idle_handler(CIdleHandler* handler);
    void remove_idle_handler(CIdleHandler* handler);

    // Runs until WM_QUIT and returns its exit code. A failing GetMessageW (-1) is skipped.
    int run();

private:
    bool pre_translate_message(MSG* msg);
    bool on_idle();
    static bool is_idle_message(const MSG& msg);

    std::vector<CMessageFilter*> filters_;
    std::vector<CIdleHandler*> idle_handlers_;
};

// The module: the table of message loops, one per thread, guarded by a lock.
class CAppModule {
public:
    void init();
    void term();
    bool add_message_loop(CMessageLoop* loop);
    bool remove_message_loop();
    CMessageLoop* get_message_loop(DWORD thread_id = GetCurrentThreadId());

private:
    struct loop_entry_t {
        DWORD thread_id;
        CMessageLoop* loop;
    };
    CRITICAL_SECTION lock_{};
    bool is_initialised_ = false;
    std::vector<loop_entry_t> loops_;
};

extern CAppModule app_module;
