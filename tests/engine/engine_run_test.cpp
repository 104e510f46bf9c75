// The engine run end to end: the real scan control starts our stand-in engine as
// Ember/embsrv.exe over the real named pipe, and the test plays the scan page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/scan_control_win.h"
#include "engine/work_folders_win.h"
#include "support/process_win.h"
#include "support/temp_folder_win.h"
#include "base/handles_win.h"

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

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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

    void expect_idle_after_end(bool is_scanned_to_the_end = true) {
        EXPECT_EQ(control_->state(), scan_state_t::idle);
        if (is_scanned_to_the_end) EXPECT_FLOAT_EQ(control_->progress(), 1.0f);
        else EXPECT_LT(control_->progress(), 1.0f) << "a run that stopped short does not show a full bar";
        EXPECT_EQ(view_.shown.start_text_key, "btn_start");
        EXPECT_FALSE(view_.shown.is_stop_shown);
        EXPECT_FALSE(view_.is_timer_running);
    }

    std::wstring cache(const std::wstring& relative = L"") {
        return relative.empty() ? folder_ / L"cache" : folder_ / (L"cache\\" + relative);
    }
    // A work folder as the program makes it, holding `finds` of the engine's finds and their
    // thumbnails and the given other files.
    void make_work_folder(const std::wstring& name, int finds, std::initializer_list<const wchar_t*> others = {}) {
        CreateDirectoryW(cache().c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(cache(name).c_str(), nullptr));
        ASSERT_TRUE(write_file(cache(name + L"\\.tessera_work"), ""));
        for (int i = 0; i < finds; ++i) {
            wchar_t find[32];
            std::swprintf(find, 32, L"\\f%07d", 1000 + i);
            ASSERT_TRUE(write_file(cache(name + find + L".jpg"), "old find"));
            ASSERT_TRUE(write_file(cache(name + L"\\thumb_" + (find + 1) + L".png"), "old thumbnail"));
        }
        for (const wchar_t* other : others) ASSERT_TRUE(write_file(cache(name + L"\\" + other), "the user's"));
    }
    // The names in the cache folder that match a pattern.
    std::vector<std::wstring> names_in_cache(const wchar_t* pattern) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW(cache(pattern).c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return names;
        do names.push_back(entry.cFileName); while (FindNextFileW(find, &entry));
        FindClose(find);
        return names;
    }

    temp_folder_c folder_{L"engine"};
    wchar_t previous_folder_[MAX_PATH] = {};
    std::string log_path_, cache_dir_;
    recording_view_c view_;
    std::unique_ptr<scan_control_c> control_;
};

}  // namespace

TEST_F(engine_run, a_full_run_queues_every_reported_file_in_order) {
    scan_control_c& control = start("finds=25", request());
    EXPECT_EQ(control.state(), scan_state_t::scanning);
    EXPECT_EQ(view_.shown.start_text_key, "btn_pause");
    EXPECT_TRUE(view_.shown.is_stop_shown);
    EXPECT_TRUE(view_.is_timer_running);
    ASSERT_TRUE(wait_for_end());
    expect_idle_after_end();
    EXPECT_EQ(control.reader_result(), -1);  // the engine closed its end
    EXPECT_EQ(control.last_end(), run_end_t::finished);
    EXPECT_EQ(control.take_untold_end(), run_end_t::none) << "a finished run needs no message";
    ASSERT_EQ(queued_count(), 25u);
    for (size_t i = 0; i < 25; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "\\tmp\\f%07zu.jpg", i);
        EXPECT_EQ(queued_path(i), cache_dir_ + name);
    }
    EXPECT_EQ(control.total_sectors(), 250u);
    EXPECT_EQ(control.current_sector(), 250u);

    // Started again from idle, the strip starts from nothing rather than the last run's total.
    SetEnvironmentVariableA("TESSERA_FAKE_ENGINE", "hang");
    control.toggle_scan();
    EXPECT_EQ(control.total_sectors(), 0u);
    EXPECT_EQ(control.current_sector(), 0u);
    EXPECT_FLOAT_EQ(control.progress(), 0.0f);
    control.stop_scan();
}

// The previous scans' folders are renamed aside at once and deleted while the new scan runs, and
// a deletion cut short is taken up by the next start. Only what the program made goes: folders
// without its marker are the user's, whatever their files are called.
TEST_F(engine_run, a_start_sets_the_old_work_folders_aside_and_deletes_only_their_own_files_meanwhile) {
    make_work_folder(L"tmp", 400, {L"notes.txt"});
    make_work_folder(L"tmp.old", 2);
    make_work_folder(L"~tmp.77", 3);  // left by a deletion that was cut short
    CreateDirectoryW(cache(L"tmp.mine").c_str(), nullptr);
    ASSERT_TRUE(write_file(cache(L"tmp.mine\\f1234567.jpg"), "the user's"));
    ASSERT_TRUE(write_file(cache(L"tmp_invoice.pdf"), "the user's"));

    scan_control_c& control = start("hang", request());
    ASSERT_TRUE(wait_until([&] { return is_process_running(control.run().engine_process.get()); }));
    EXPECT_TRUE(exists(cache(L"tmp\\.tessera_work"))) << "the engine writes into a new work folder of ours";
    EXPECT_FALSE(exists(cache(L"tmp\\f0001000.jpg")));
    EXPECT_FALSE(exists(cache(L"tmp.old"))) << "set aside, so never loaded again";
    auto finds_left = [&] {
        size_t finds = 0;
        for (const std::wstring& folder : names_in_cache(L"~tmp.*"))
            finds += names_in_cache((folder + L"\\f*").c_str()).size() + names_in_cache((folder + L"\\thumb_*").c_str()).size();
        return finds;
    };
    ASSERT_TRUE(wait_until([&] { return finds_left() == 0; })) << "deleted meanwhile";
    EXPECT_EQ(names_in_cache(L"~tmp.*").size(), 3u) << "the emptied folders wait for the end of the run";
    control.stop_scan();
    remove_emptied_set_aside_folders(from_wide(cache().c_str()));  // as the program does when it ends
    ASSERT_EQ(names_in_cache(L"~tmp.*").size(), 1u) << "only the one holding the user's file is left";
    std::wstring kept = names_in_cache(L"~tmp.*")[0];
    EXPECT_TRUE(exists(cache(kept + L"\\notes.txt"))) << "a file of the user's in a work folder stays";
    EXPECT_TRUE(exists(cache(L"tmp.mine\\f1234567.jpg")));
    EXPECT_TRUE(exists(cache(L"tmp_invoice.pdf")));
}

TEST_F(engine_run, a_folder_named_tmp_of_the_users_own_is_left_alone) {
    CreateDirectoryW(cache().c_str(), nullptr);
    CreateDirectoryW(cache(L"tmp").c_str(), nullptr);
    ASSERT_TRUE(write_file(cache(L"tmp\\f1234567.jpg"), "the user's"));
    ASSERT_TRUE(write_file(cache(L"tmp\\thumb_f1234567.png"), "the user's"));
    for (int run = 0; run < 2; ++run) {
        start("finds=2", request());
        ASSERT_TRUE(wait_for_end());
        ASSERT_EQ(queued_count(), 2u);
        EXPECT_EQ(queued_path(0), cache_dir_ + "\\tmp.1\\f0000000.jpg") << "the scan goes beside it";
    }
    EXPECT_TRUE(exists(cache(L"tmp\\f1234567.jpg")));
    EXPECT_TRUE(exists(cache(L"tmp\\thumb_f1234567.png")));
    EXPECT_FALSE(exists(cache(L"tmp\\.tessera_work")));
}

// The engine's exit code says how the run ended; what it found until then stays queued, and the
// bar is full only when the card was scanned to its end.
TEST_F(engine_run, every_engine_end_is_told_and_keeps_the_finds) {
    struct case_t {
        const char* scenario;
        run_end_t end;
        size_t queued;
        bool is_full;
    } cases[] = {
        {"finds=3,exit=8,unreadable=20", run_end_t::read_errors, 3, true},
        {"finds=3,exit=9", run_end_t::card_lost, 3, false},
        {"finds=3,exit=7", run_end_t::cache_full, 3, false},
        {"finds=3,killed", run_end_t::ended_early, 3, false},
        {"finds=0,exit=5", run_end_t::not_started, 0, false},
        {"no_pipe", run_end_t::card_unreadable, 0, false},  // exits 3
        {"crash", run_end_t::ended_early, 0, false},
    };
    for (const case_t& c : cases) {
        start(c.scenario, request());
        ASSERT_TRUE(wait_for_end()) << c.scenario;
        expect_idle_after_end(c.is_full);
        EXPECT_EQ(control_->last_end(), c.end) << c.scenario;
        EXPECT_EQ(control_->take_untold_end(), c.end) << c.scenario;
        EXPECT_EQ(control_->take_untold_end(), run_end_t::none) << "told once";
        EXPECT_EQ(queued_count(), c.queued) << c.scenario;
    }
    start("finds=3,exit=8,unreadable=20", request());
    ASSERT_TRUE(wait_for_end());
    ASSERT_TRUE(control_->run().has_summary);
    EXPECT_EQ(control_->run().summary.unreadable_sectors, 20u);
    EXPECT_EQ(control_->run().summary.files, 3u);
}

TEST_F(engine_run, files_reported_outside_the_work_folder_are_not_queued) {
    start("finds=2,outside", request());
    ASSERT_TRUE(wait_for_end());
    ASSERT_EQ(queued_count(), 2u);
    EXPECT_EQ(queued_path(0), cache_dir_ + "\\tmp\\f0000000.jpg");
    EXPECT_EQ(queued_path(1), cache_dir_ + "\\tmp\\f0000001.jpg");
}

// What can be known before a start refuses it, and then nothing of the earlier results is
// deleted, not even from the queue.
TEST_F(engine_run, a_start_that_cannot_work_is_refused_before_anything_is_deleted) {
    make_work_folder(L"tmp", 1);
    reset_found_queue();
    queue_found_file("C:\\loaded\\f0001000.jpg");
    DeleteFileW((folder_ / L"Ember\\embsrv.exe").c_str());
    scan_control_c& control = start("finds=3", request());
    EXPECT_EQ(control.state(), scan_state_t::idle);
    EXPECT_EQ(control.take_untold_end(), run_end_t::no_engine);
    EXPECT_EQ(view_.shown.start_text_key, "btn_start");
    EXPECT_FALSE(view_.shown.is_stop_shown);
    ASSERT_TRUE(CopyFileW((programs_folder() + L"\\fake_embsrv.exe").c_str(),
                          (folder_ / L"Ember\\embsrv.exe").c_str(), FALSE));

    scan_request_t lost = request();
    std::snprintf(lost.cache_dir, sizeof lost.cache_dir, "C:\\????? ???");  // what CP 1252 makes of Cyrillic
    scan_request_t best_fit = request();
    std::snprintf(best_fit.cache_dir, sizeof best_fit.cache_dir, "C:\\Maori");
    std::u16string chosen = u"C:\\M\u0101ori";
    std::copy(chosen.begin(), chosen.end(), best_fit.cache_path);
    scan_request_t too_long = request();
    std::snprintf(too_long.cache_dir, sizeof too_long.cache_dir, "C:\\%s", std::string(240, 'c').c_str());
    for (const scan_request_t& r : {lost, best_fit, too_long}) {
        start("finds=3", r);
        EXPECT_EQ(control_->state(), scan_state_t::idle) << r.cache_dir;
        EXPECT_EQ(control_->take_untold_end(), run_end_t::bad_cache_path) << r.cache_dir;
    }
    EXPECT_TRUE(exists(cache(L"tmp\\f0001000.jpg")));
    EXPECT_EQ(queued_count(), 1u);
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

// A message the front end cannot read ends its reading; the engine's own end then decides, and
// one still writing (the rest of an overlong message) is ended and so ended early.
TEST_F(engine_run, a_broken_pipe_ends_the_run_as_the_engine_ends) {
    struct case_t {
        const char* scenario;
        int32_t result;
        run_end_t end;
    } cases[] = {{"zero_end", 0, run_end_t::finished},
                 {"short", -1, run_end_t::finished},
                 {"long", -1, run_end_t::ended_early}};
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.scenario);
        start(c.scenario, request());
        ASSERT_TRUE(wait_for_end());
        EXPECT_EQ(control_->last_end(), c.end);
        expect_idle_after_end(c.end == run_end_t::finished);
        EXPECT_EQ(control_->reader_result(), c.result);
        EXPECT_EQ(queued_count(), 0u);
        EXPECT_FALSE(is_process_running(control_->run().engine_process.get()));
    }
}

TEST_F(engine_run, a_path_without_terminator_is_taken_only_as_far_as_a_record_holds) {
    start("unterminated", request());
    ASSERT_TRUE(wait_for_end());
    ASSERT_EQ(queued_count(), 1u);
    std::string in_work_folder = cache_dir_ + "\\tmp\\";
    EXPECT_EQ(queued_path(0), in_work_folder + std::string(259 - in_work_folder.size(), 'a'));
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
    control_->show_results(u"");  // no cache folder: the load lists nothing
    EXPECT_EQ(control_->state(), scan_state_t::idle);
    EXPECT_FALSE(view_.shown.is_start_shown);
    EXPECT_FALSE(view_.shown.is_stop_shown);
    EXPECT_TRUE(view_.is_timer_running);
    EXPECT_TRUE(wait_until([&] { return control_->on_timer_tick(); }));  // the load's end
    EXPECT_FALSE(control_->is_loading());
    EXPECT_FALSE(control_->on_timer_tick());  // no reader: the timer sees no other end
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
