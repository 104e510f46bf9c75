// The queue with its real lock and the real worker thread.
#include "engine/found_queue_win.h"

#include <gtest/gtest.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Two workers per process, as the program has on two processors; the tests swap their builder.
void start_worker_once() {
    static bool is_started = [] {
        set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
        for (int i = 0; i < 2; ++i) {
            uintptr_t worker = _beginthreadex(nullptr, 0, thumbnail_worker, nullptr, 0, nullptr);
            CloseHandle(reinterpret_cast<HANDLE>(worker));
        }
        return true;
    }();
    (void)is_started;
}

uint32_t thumbs_done() {
    queue_lock_c lock;
    return found_queue().thumbs_done;
}

bool wait_for_thumbs(uint32_t count) {
    for (int i = 0; i < 1000; ++i) {
        if (thumbs_done() >= count) return true;
        Sleep(5);
    }
    return false;
}

found_file_t record_copy(size_t index) {
    queue_lock_c lock;
    return found_queue().at(index);
}

std::mutex built_lock;
std::vector<std::string> built_paths;  // in the order the builds ended
HANDLE builder_entered = nullptr;
HANDLE builder_may_finish = nullptr;

std::vector<std::string> built() {
    std::lock_guard<std::mutex> lock(built_lock);
    return built_paths;
}

// The record's result: its width is the number in its name plus one ("f12.jpg" gives 13).
void recording_builder(found_file_t& record) {
    std::string path = record.path;
    size_t digits = path.find_first_of("0123456789");
    record.width = digits == std::string::npos ? 0 : std::atoi(path.c_str() + digits) + 1;
    record.height = 7;
    record.selected = 99;  // not the worker's to write back
    std::lock_guard<std::mutex> lock(built_lock);
    built_paths.push_back(record.path);
}

void blocking_builder(found_file_t& record) {
    SetEvent(builder_entered);
    WaitForSingleObject(builder_may_finish, INFINITE);
    recording_builder(record);
}

// Blocks on the first record only ("f0.jpg"); the others are built at once.
void first_blocks_builder(found_file_t& record) {
    if (std::string(record.path).ends_with("\\f0.jpg")) {
        blocking_builder(record);
        return;
    }
    recording_builder(record);
}

class found_queue_worker : public ::testing::Test {
protected:
    void SetUp() override {
        start_worker_once();
        set_thumbnail_builder(nullptr);
        reset_found_queue();
        built_paths.clear();  // no builder runs: the queue is empty
        builder_entered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        builder_may_finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        SetEvent(builder_may_finish);
        set_thumbnail_builder(nullptr);
        reset_found_queue();
        Sleep(50);  // let a worker still inside the builder leave it before the events go
        CloseHandle(builder_entered);
        CloseHandle(builder_may_finish);
    }
};

}  // namespace

TEST_F(found_queue_worker, handles_every_record_in_queue_order_and_names_its_thumbnail) {
    set_thumbnail_builder(recording_builder);
    for (int i = 0; i < 40; ++i) queue_found_file(("C:\\cache\\tmp\\f" + std::to_string(i) + ".jpg").c_str());
    ASSERT_TRUE(wait_for_thumbs(40));
    std::vector<std::string> paths = built();
    ASSERT_EQ(paths.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(std::count(paths.begin(), paths.end(), "C:\\cache\\tmp\\f" + std::to_string(i) + ".jpg"), 1);
        found_file_t record = record_copy(i);
        EXPECT_EQ(std::string(record.thumb_path), "C:\\cache\\tmp\\thumb_f" + std::to_string(i) + ".png");
        EXPECT_EQ(record.width, i + 1);
        EXPECT_EQ(record.height, 7);
        EXPECT_EQ(record.selected, 0);
    }
}

TEST_F(found_queue_worker, without_a_builder_the_worker_still_advances) {
    for (int i = 0; i < 5; ++i) queue_found_file("C:\\cache\\tmp\\a.mov");
    ASSERT_TRUE(wait_for_thumbs(5));
    EXPECT_STREQ(record_copy(4).thumb_path, "C:\\cache\\tmp\\thumb_a.png");
    EXPECT_EQ(record_copy(4).width, 0);
}

TEST_F(found_queue_worker, a_tick_set_while_the_thumbnail_is_built_survives_the_write_back) {
    set_thumbnail_builder(blocking_builder);
    queue_found_file("C:\\cache\\tmp\\tick.jpg");
    ASSERT_EQ(WaitForSingleObject(builder_entered, 5000), WAIT_OBJECT_0);
    {
        queue_lock_c lock;
        found_queue().at(0).selected = 1;
        found_queue().at(0).cell_x = 42;
    }
    SetEvent(builder_may_finish);
    ASSERT_TRUE(wait_for_thumbs(1));
    found_file_t record = record_copy(0);
    EXPECT_EQ(record.selected, 1);
    EXPECT_EQ(record.cell_x, 42);
    EXPECT_EQ(record.width, 0);
    EXPECT_EQ(record.height, 7);
}

TEST_F(found_queue_worker, emptying_the_queue_mid_build_drops_the_old_result) {
    set_thumbnail_builder(blocking_builder);
    queue_found_file("C:\\cache\\tmp\\old1.jpg");
    ASSERT_EQ(WaitForSingleObject(builder_entered, 5000), WAIT_OBJECT_0);
    reset_found_queue();
    queue_found_file("C:\\cache\\tmp\\new2.jpg");
    SetEvent(builder_may_finish);
    ASSERT_TRUE(wait_for_thumbs(1));
    for (int i = 0; i < 1000 && built().size() < 2; ++i) Sleep(5);
    EXPECT_EQ(built().size(), 2u);
    found_file_t record = record_copy(0);
    EXPECT_STREQ(record.thumb_path, "C:\\cache\\tmp\\thumb_new2.png");
    EXPECT_EQ(record.width, 3);  // the new record's result, not the old one's
}

// A record that takes long holds back the results of those after it, which other workers
// finished meanwhile: thumbnails reach the queue in the order they were started.
TEST_F(found_queue_worker, results_reach_the_queue_in_queue_order_whichever_worker_ends_first) {
    set_thumbnail_builder(first_blocks_builder);
    for (int i = 0; i < 6; ++i) queue_found_file(("C:\\cache\\tmp\\f" + std::to_string(i) + ".jpg").c_str());
    ASSERT_EQ(WaitForSingleObject(builder_entered, 5000), WAIT_OBJECT_0);
    for (int i = 0; i < 1000 && built().size() < 5; ++i) Sleep(5);
    ASSERT_EQ(built().size(), 5u);  // the other worker built the five after the first
    EXPECT_EQ(thumbs_done(), 0u);
    EXPECT_EQ(record_copy(1).width, 0);
    SetEvent(builder_may_finish);
    ASSERT_TRUE(wait_for_thumbs(6));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(record_copy(i).width, i + 1);
}

TEST(thumbnail_workers, one_a_processor_and_at_most_four) {
    EXPECT_EQ(thumbnail_worker_count(0), 1);
    EXPECT_EQ(thumbnail_worker_count(1), 1);
    EXPECT_EQ(thumbnail_worker_count(2), 2);
    EXPECT_EQ(thumbnail_worker_count(16), 4);
}

namespace {

unsigned __stdcall hold_lock_forever(void* ready) {
    queue_lock_c lock;
    SetEvent(static_cast<HANDLE>(ready));
    Sleep(INFINITE);
    return 0;
}

unsigned __stdcall take_twice(void* done) {
    queue_lock_c outer;
    queue_lock_c inner;
    SetEvent(static_cast<HANDLE>(done));
    return 0;
}

unsigned __stdcall take_and_release(void* done) {
    { queue_lock_c lock; }
    SetEvent(static_cast<HANDLE>(done));
    return 0;
}

}  // namespace

TEST(queue_lock, passes_on_when_its_owner_is_killed) {
    start_worker_once();
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE owner = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, hold_lock_forever, ready, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    TerminateThread(owner, 0);
    WaitForSingleObject(owner, 5000);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE taker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, take_and_release, done, 0, nullptr));
    EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
    WaitForSingleObject(taker, 5000);
    for (HANDLE h : {ready, owner, done, taker}) CloseHandle(h);
}

TEST(queue_lock, is_re_entrant_on_one_thread) {
    start_worker_once();
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, take_twice, done, 0, nullptr));
    EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
    WaitForSingleObject(thread, 5000);
    queue_lock_c after;  // released as often as taken, so free again
    CloseHandle(thread);
    CloseHandle(done);
}
