// The window template, message maps and the message loop on real windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/message_loop_win.h"
#include "ui/window_impl_win.h"

namespace {

constexpr UINT um_probe = WM_APP + 1;
constexpr UINT um_quit = WM_APP + 2;
constexpr UINT um_fall_through = WM_APP + 3;

std::vector<std::string> events;

// A mixin chained first, as the skinned frame will be: it sees every message before the window.
template <class T>
class probe_mixin_c {
public:
    BEGIN_MSG_MAP(probe_mixin_c)
        MESSAGE_HANDLER(um_probe, on_probe)
    END_MSG_MAP()
private:
    LRESULT on_probe(UINT, WPARAM wp, LPARAM, bool& handled) {
        events.push_back("mixin");
        handled = wp == 1;  // only wParam 1 stays with the mixin
        return 11;
    }
};

class test_window_c : public CWindowImpl<test_window_c>, public probe_mixin_c<test_window_c> {
public:
    DECLARE_WND_CLASS(L"TesseraTestWindow", 0)
    BEGIN_MSG_MAP(test_window_c)
        CHAIN_MSG_MAP(probe_mixin_c<test_window_c>)
        MESSAGE_HANDLER(um_probe, on_probe)
        MESSAGE_HANDLER(um_fall_through, on_declined)
        MESSAGE_HANDLER(um_fall_through, on_fall_through)
        MESSAGE_HANDLER(um_quit, on_quit)
        COMMAND_ID_HANDLER(7, on_command_seven)
        COMMAND_RANGE_HANDLER(100, 199, on_command_range)
    END_MSG_MAP()

    bool was_finalised = false;

protected:
    void on_final_message(HWND) override { was_finalised = true; }

private:
    LRESULT on_probe(UINT, WPARAM, LPARAM, bool&) {
        events.push_back("window");
        return 22;
    }
    LRESULT on_declined(UINT, WPARAM, LPARAM, bool& handled) {
        events.push_back("declined");
        handled = false;
        return 0;
    }
    LRESULT on_fall_through(UINT, WPARAM, LPARAM, bool&) {
        events.push_back("fell through");
        return 33;
    }
    LRESULT on_quit(UINT, WPARAM wp, LPARAM, bool&) {
        PostQuitMessage(static_cast<int>(wp));
        return 0;
    }
    LRESULT on_command_seven(WORD code, WORD id, HWND, bool&) {
        events.push_back("command " + std::to_string(id) + " code " + std::to_string(code));
        return 0;
    }
    LRESULT on_command_range(WORD, WORD id, HWND, bool&) {
        events.push_back("range " + std::to_string(id));
        return 0;
    }
};

class recording_filter_c : public CMessageFilter {
public:
    recording_filter_c(std::string name, bool consumes) : name_(std::move(name)), consumes_(consumes) {}
    bool pre_translate_message(MSG* msg) override {
        if (msg->message == um_probe) events.push_back("filter " + name_);
        return consumes_ && msg->message == um_probe;
    }
private:
    std::string name_;
    bool consumes_;
};

// Ends the loop the first time the queue runs empty.
class quitting_idle_c : public CIdleHandler {
public:
    explicit quitting_idle_c(HWND window) : window_(window) {}
    int calls = 0;
    bool on_idle() override {
        if (calls++ == 0) PostMessageW(window_, um_quit, 5, 0);
        return false;
    }
private:
    HWND window_;
};

HWND make_window(test_window_c& window) {
    RECT rect{0, 0, 100, 100};
    return window.create(nullptr, rect, L"framework test", WS_OVERLAPPEDWINDOW);
}

}  // namespace

TEST(window_framework, a_chained_mixin_sees_messages_first_and_may_pass_them_on) {
    events.clear();
    test_window_c window;
    HWND hwnd = make_window(window);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(SendMessageW(hwnd, um_probe, 1, 0), 11);
    EXPECT_EQ(SendMessageW(hwnd, um_probe, 0, 0), 22);
    EXPECT_EQ(events, (std::vector<std::string>{"mixin", "mixin", "window"}));
}

TEST(window_framework, a_handler_that_clears_handled_falls_through_to_the_next) {
    events.clear();
    test_window_c window;
    HWND hwnd = make_window(window);
    EXPECT_EQ(SendMessageW(hwnd, um_fall_through, 0, 0), 33);
    EXPECT_EQ(events, (std::vector<std::string>{"declined", "fell through"}));
}

TEST(window_framework, commands_reach_their_id_and_range_handlers) {
    events.clear();
    test_window_c window;
    HWND hwnd = make_window(window);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(7, 3), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(150, 0), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(200, 0), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"command 7 code 3", "range 150"}));
}

TEST(window_framework, destroying_the_window_forgets_the_handle_and_finalises_last) {
    test_window_c window;
    HWND hwnd = make_window(window);
    ASSERT_TRUE(window.destroy_window());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window.hwnd(), nullptr);
    EXPECT_TRUE(window.was_finalised);
}

TEST(message_loop, filters_are_asked_newest_first_and_a_consuming_one_stops_dispatch) {
    events.clear();
    test_window_c window;
    HWND hwnd = make_window(window);
    CMessageLoop loop;
    recording_filter_c older("older", false), newer("newer", false), consuming("consuming", true);
    quitting_idle_c idle(hwnd);
    loop.add_message_filter(&older);
    loop.add_message_filter(&newer);
    loop.add_idle_handler(&idle);
    PostMessageW(hwnd, um_probe, 0, 0);
    EXPECT_EQ(loop.run(), 5);  // the idle handler ran once the probe was handled
    EXPECT_EQ(events, (std::vector<std::string>{"filter newer", "filter older", "mixin", "window"}));
    loop.remove_idle_handler(&idle);

    events.clear();
    loop.add_message_filter(&consuming);
    PostMessageW(hwnd, um_probe, 0, 0);
    PostMessageW(hwnd, um_quit, 0, 0);
    EXPECT_EQ(loop.run(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"filter consuming"}));
}

namespace {

DWORD WINAPI register_other_loop(void* module) {
    CMessageLoop other;
    auto* app = static_cast<CAppModule*>(module);
    bool added = app->add_message_loop(&other);
    bool found = app->get_message_loop() == &other;
    app->remove_message_loop();
    return added && found ? 1 : 0;
}

}  // namespace

TEST(app_module, keeps_one_loop_per_thread) {
    CAppModule module;
    module.init();
    CMessageLoop loop, second;
    EXPECT_TRUE(module.add_message_loop(&loop));
    EXPECT_FALSE(module.add_message_loop(&second));
    EXPECT_EQ(module.get_message_loop(), &loop);
    HANDLE thread = CreateThread(nullptr, 0, register_other_loop, &module, 0, nullptr);
    WaitForSingleObject(thread, 5000);
    DWORD other_ok = 0;
    GetExitCodeThread(thread, &other_ok);
    CloseHandle(thread);
    EXPECT_EQ(other_ok, 1u);
    EXPECT_EQ(module.get_message_loop(), &loop);
    EXPECT_TRUE(module.remove_message_loop());
    EXPECT_EQ(module.get_message_loop(), nullptr);
    module.term();
}
