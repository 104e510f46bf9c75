// The engine run end to end: the real scan control starts our stand-in engine as
// Ember/embsrv.exe over the real named pipe, and the test plays the scan page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "app/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/scan_control_win.h"
#include "support/process_win.h"
#include "support/temp_folder_win.h"
#include "ui/handles_win.h"

namespace {

constexpr DWORD run_timeout_ms = 20000;

// Plays the scan page: remembers what it was asked to show.
class recording_view_c : public scan_view_i {
public:
    bool is_timer_running = false;
    int clear_count = 0;
    int confirm_answer = 1;
    int confirm_count = 0;
    scan_buttons_t shown;

    void start_timer() override { is_timer_running = true; }
    void kill_timer() override { is_timer_running = false; }
    void clear_results() override { ++clear_count; }
    void show_buttons(const scan_buttons_t& buttons) override { shown = buttons; }
    int confirm_cancel() override {
        ++confirm_count;
        return confirm_answer;
    }
};

size_t queued_count() {
    queue_lock_c lock;
    return found_queue().size();
}

std::string queued_path(size_t index) {
    queue_lock_c lock;
    return found_queue().at(index).path;
}

// Whether a thread other than this one gets through `step` within five seconds. The thread is
// made with CreateThread, which takes nothing from the runtime's heap in this thread.
bool another_thread_can(void (*step)()) {
    struct job_t {
        void (*step)();
        kernel_handle_c done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    } job{step};
    auto run = [](void* param) -> DWORD {
        auto* job = static_cast<job_t*>(param);
        job->step();
        SetEvent(job->done.get());
        return 0;
    };
    kernel_handle_c thread(CreateThread(nullptr, 0, run, &job, 0, nullptr));
    bool is_done = WaitForSingleObject(job.done.get(), 5000) == WAIT_OBJECT_0;
    if (!is_done) TerminateThread(thread.get(), 0);
    return is_done;
}

bool queue_lock_is_free_for_others() {
    return another_thread_can([] { queue_lock_c lock; });
}

bool heap_is_free_for_others() {
    return another_thread_can([] {
        void* volatile block = std::malloc(64);
        std::free(block);
    });
}

bool is_process_running(HANDLE process) { return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = run_timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(10);
    }
    return true;
}

class engine_run : public ::testing::Test {
protected:
    static void SetUpTestSuite() { set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr)); }

    void SetUp() override {
        GetCurrentDirectoryW(MAX_PATH, previous_folder_);
        CreateDirectoryW((folder_ / L"Ember").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((programs_folder() + L"\\fake_embsrv.exe").c_str(),
                              (folder_ / L"Ember\\embsrv.exe").c_str(), FALSE));
        SetCurrentDirectoryW(folder_.path().c_str());
        log_path_ = to_ansi(from_wide((folder_ / L"command_line.txt").c_str()));
        SetEnvironmentVariableA("TESSERA_FAKE_ENGINE_LOG", log_path_.c_str());
        cache_dir_ = to_ansi(from_wide((folder_ / L"cache").c_str()));
    }

    void TearDown() override {
        control_.reset();
        SetCurrentDirectoryW(previous_folder_);
        SetEnvironmentVariableA("TESSERA_FAKE_ENGINE", nullptr);
        SetEnvironmentVariableA("TESSERA_FAKE_ENGINE_LOG", nullptr);
    }

    scan_request_t request(const char* volume = "\\\\?\\Volume{0123abcd-0000-0000-0000-000000000000}\\") {
        scan_request_t r;
        std::snprintf(r.cache_dir, sizeof r.cache_dir, "%s", cache_dir_.c_str());
        std::snprintf(r.volume, sizeof r.volume, "%s", volume);
        r.want_photo = 1;
        return r;
    }

    scan_control_c& start(const char* scenario, const scan_request_t& r) {
        SetEnvironmentVariableA("TESSERA_FAKE_ENGINE", scenario);
        control_ = std::make_unique<scan_control_c>(view_);
        control_->start_scan(r);
        return *control_;
    }

    // Ticks the page's timer until the run's end is seen.
    bool wait_for_end() {
        return wait_until([&] { return control_->on_timer_tick(); });
    }

    std::string received_command_line() {
        std::ifstream in(log_path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void expect_idle_after_end() {
        EXPECT_EQ(control_->state(), scan_state_t::idle);
        EXPECT_FLOAT_EQ(control_->progress(), 1.0f);
        EXPECT_EQ(view_.shown.start_text_key, "btn_start");
        EXPECT_FALSE(view_.shown.is_stop_shown);
        EXPECT_FALSE(view_.is_timer_running);
    }

    temp_folder_c folder_{L"engine"};
    wchar_t previous_folder_[MAX_PATH] = {};
    std::string log_path_, cache_dir_;
    recording_view_c view_;
    std::unique_ptr<scan_control_c> control_;
};

}  // namespace

TEST_F(engine_run, a_full_run_queues_every_reported_file_in_order) {
    // Files of an earlier scan are deleted before the engine starts; other files stay.
    CreateDirectoryW((folder_ / L"cache").c_str(), nullptr);
    CreateDirectoryW((folder_ / L"cache\\tmp.old").c_str(), nullptr);
    ASSERT_TRUE(write_file(folder_ / L"cache\\tmp.old\\f0000008.jpg", "old"));
    ASSERT_TRUE(write_file(folder_ / L"cache\\tmp.txt", "user's"));
    ASSERT_TRUE(write_file(folder_ / L"cache\\keep.txt", "keep"));

    scan_control_c& control = start("finds=25", request());
    EXPECT_EQ(control.state(), scan_state_t::scanning);
    EXPECT_EQ(view_.shown.start_text_key, "btn_pause");
    EXPECT_TRUE(view_.shown.is_stop_shown);
    EXPECT_TRUE(view_.is_timer_running);
    ASSERT_TRUE(wait_for_end());
    expect_idle_after_end();
    EXPECT_EQ(control.reader_result(), -1);  // the engine closed its end
    ASSERT_EQ(queued_count(), 25u);
    for (size_t i = 0; i < 25; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "\\tmp\\f%05zu.jpg", i);
        EXPECT_EQ(queued_path(i), cache_dir_ + name);
    }
    EXPECT_EQ(control.total_sectors(), 250u);
    EXPECT_EQ(control.current_sector(), 250u);
    EXPECT_FALSE(is_folder(folder_ / L"cache\\tmp.old"));
    EXPECT_NE(GetFileAttributesW((folder_ / L"cache\\tmp.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((folder_ / L"cache\\keep.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(engine_run, the_engine_receives_the_command_line_byte_for_byte) {
    struct case_t {
        const char* volume;
        const char* on_line;
    } cases[] = {
        {"\\\\?\\Volume{0123abcd-0000-0000-0000-000000000000}\\", "\\\\?\\Volume{0123abcd-0000-0000-0000-000000000000}"},
        {"E:\\", "E:"},
        {"E:", "E:"},
    };
    for (const case_t& c : cases) {
        scan_request_t r = request(c.volume);
        r.want_photo = 0;
        r.want_video = 1;
        r.want_audio = 1;
        start("finds=0", r);
        ASSERT_TRUE(wait_for_end());
        std::string expected = "client.exe /d \"" + cache_dir_ + "\\tmp\" /cmd " + c.on_line + " " +
                               build_search_options(false, true, true);
        EXPECT_EQ(received_command_line(), expected) << c.volume;
    }
}

TEST_F(engine_run, every_way_a_run_can_end_shows_the_same_end) {
    struct case_t {
        const char* scenario;
        int32_t result;
    } cases[] = {{"zero_end", 0}, {"short", -1}, {"long", -1}, {"crash", -1}};
    for (const case_t& c : cases) {
        start(c.scenario, request());
        ASSERT_TRUE(wait_for_end()) << c.scenario;
        expect_idle_after_end();
        EXPECT_EQ(control_->reader_result(), c.result) << c.scenario;
        EXPECT_EQ(queued_count(), 0u) << c.scenario;
        EXPECT_FALSE(is_process_running(control_->run().engine_process.get())) << c.scenario;
    }
}

TEST_F(engine_run, an_engine_that_ends_before_opening_the_pipe_ends_the_run) {
    start("no_pipe", request());
    ASSERT_TRUE(wait_for_end());
    expect_idle_after_end();
    EXPECT_EQ(control_->reader_result(), -1);
}

TEST_F(engine_run, a_missing_engine_ends_the_run_at_once) {
    DeleteFileW((folder_ / L"Ember\\embsrv.exe").c_str());
    start("finds=3", request());
    ASSERT_TRUE(wait_for_end());
    expect_idle_after_end();
    EXPECT_EQ(control_->reader_result(), -1);
}

TEST_F(engine_run, a_path_without_terminator_is_taken_only_as_far_as_a_record_holds) {
    start("unterminated", request());
    ASSERT_TRUE(wait_for_end());
    ASSERT_EQ(queued_count(), 1u);
    EXPECT_EQ(queued_path(0), std::string(259, 'a'));
    EXPECT_EQ(control_->total_sectors(), 8u);
}

TEST_F(engine_run, pause_holds_reader_and_engine_without_holding_the_queue) {
    scan_control_c& control = start("stream", request());
    ASSERT_TRUE(wait_until([&] { return queued_count() >= 3; }));
    control.toggle_scan();
    EXPECT_EQ(control.state(), scan_state_t::paused);
    EXPECT_EQ(view_.shown.start_text_key, "btn_resume");
    EXPECT_TRUE(view_.shown.is_stop_shown);
    EXPECT_TRUE(queue_lock_is_free_for_others());
    Sleep(100);  // packets already on their way are held too
    uint64_t sector = control.current_sector();
    size_t queued = queued_count();
    Sleep(300);
    EXPECT_EQ(control.current_sector(), sector);
    EXPECT_EQ(queued_count(), queued);
    EXPECT_FALSE(control.on_timer_tick());

    control.toggle_scan();
    EXPECT_EQ(control.state(), scan_state_t::scanning);
    EXPECT_EQ(view_.shown.start_text_key, "btn_pause");
    EXPECT_TRUE(wait_until([&] { return control.current_sector() > sector + 10; }));

    HANDLE engine = control.run().engine_process.get();
    control.stop_scan();
    EXPECT_EQ(control.state(), scan_state_t::idle);
    EXPECT_FALSE(view_.shown.is_stop_shown);
    EXPECT_EQ(view_.shown.start_text_key, "btn_start");
    EXPECT_FALSE(view_.is_timer_running);
    EXPECT_EQ(WaitForSingleObject(engine, 5000), WAIT_OBJECT_0);
    EXPECT_GE(queued_count(), queued);  // stop keeps what was found
}

TEST_F(engine_run, stop_and_reset_while_paused_end_both_threads) {
    scan_control_c& control = start("stream", request());
    ASSERT_TRUE(wait_until([&] { return control.current_sector() > 5; }));
    control.toggle_scan();
    HANDLE engine = control.run().engine_process.get();
    control.stop_scan();
    EXPECT_EQ(WaitForSingleObject(engine, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(queue_lock_is_free_for_others());

    // Start from idle again: the page is reset and the same request scanned anew.
    int clears = view_.clear_count;
    control.toggle_scan();
    EXPECT_EQ(view_.clear_count, clears + 1);
    EXPECT_EQ(control.state(), scan_state_t::scanning);
    ASSERT_TRUE(wait_until([&] { return control.current_sector() > 5; }));
    control.toggle_scan();
    engine = control.run().engine_process.get();
    control.reset_scan();
    EXPECT_EQ(control.state(), scan_state_t::idle);
    EXPECT_EQ(control.current_sector(), 0u);
    EXPECT_EQ(queued_count(), 0u);
    EXPECT_EQ(WaitForSingleObject(engine, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(queue_lock_is_free_for_others());
}

// Stop right after start finds the reader past the runtime's thread start-up, so it is never
// killed holding the heap's lock.
TEST_F(engine_run, stop_at_once_after_start_leaves_the_heap_free) {
    for (int i = 0; i < 10; ++i) {
        scan_control_c& control = start("hang", request());
        control.stop_scan();
        ASSERT_TRUE(heap_is_free_for_others()) << "run " << i;
    }
    EXPECT_TRUE(queue_lock_is_free_for_others());
}

TEST_F(engine_run, a_hanging_engine_is_ended_by_stop) {
    scan_control_c& control = start("hang", request());
    ASSERT_TRUE(wait_until([&] { return is_process_running(control.run().engine_process.get()); }));
    Sleep(200);
    EXPECT_FALSE(control.on_timer_tick());
    HANDLE engine = control.run().engine_process.get();
    control.stop_scan();
    EXPECT_EQ(WaitForSingleObject(engine, 5000), WAIT_OBJECT_0);
    EXPECT_FLOAT_EQ(control.progress(), 0.0f);  // a stopped bar stays where it was
}

TEST_F(engine_run, leaving_a_running_scan_asks_first) {
    scan_control_c& control = start("hang", request());
    view_.confirm_answer = 0;
    EXPECT_FALSE(control.may_leave());
    EXPECT_EQ(control.state(), scan_state_t::scanning);
    view_.confirm_answer = 1;
    EXPECT_TRUE(control.may_leave());
    control.stop_scan();
    int asked = view_.confirm_count;
    EXPECT_TRUE(control.may_leave());
    EXPECT_EQ(view_.confirm_count, asked);  // idle: no question
}

TEST_F(engine_run, loaded_results_show_idle_with_both_buttons_hidden) {
    control_ = std::make_unique<scan_control_c>(view_);
    control_->show_results();
    EXPECT_EQ(control_->state(), scan_state_t::idle);
    EXPECT_FALSE(view_.shown.is_start_shown);
    EXPECT_FALSE(view_.shown.is_stop_shown);
    EXPECT_TRUE(view_.is_timer_running);
    EXPECT_FALSE(control_->on_timer_tick());  // no reader: the timer never sees an end
}

TEST_F(engine_run, destroying_the_control_during_a_scan_ends_the_engine) {
    scan_control_c& control = start("stream", request());
    ASSERT_TRUE(wait_until([&] { return control.current_sector() > 5; }));
    HANDLE engine = nullptr;
    DuplicateHandle(GetCurrentProcess(), control.run().engine_process.get(), GetCurrentProcess(), &engine,
                    0, FALSE, DUPLICATE_SAME_ACCESS);
    control_.reset();
    EXPECT_EQ(WaitForSingleObject(engine, 5000), WAIT_OBJECT_0);
    CloseHandle(engine);
    EXPECT_TRUE(queue_lock_is_free_for_others());
}
