// The queue with its real lock and the real worker thread.
#include "engine/found_queue_win.h"

#include <gtest/gtest.h>
#include <process.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

// One worker per process, as in the program; the tests swap its builder.
void start_worker_once() {
    static bool is_started = [] {
        set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
        uintptr_t worker = _beginthreadex(nullptr, 0, thumbnail_worker, nullptr, 0, nullptr);
        CloseHandle(reinterpret_cast<HANDLE>(worker));
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

std::vector<std::string> built_paths;
HANDLE builder_entered = nullptr;
HANDLE builder_may_finish = nullptr;

void recording_builder(found_file_t& record) {
    built_paths.push_back(record.path);
    record.width = static_cast<int32_t>(built_paths.size());
    record.height = 7;
    record.selected = 99;  // not the worker's to write back
}

void blocking_builder(found_file_t& record) {
    SetEvent(builder_entered);
    WaitForSingleObject(builder_may_finish, INFINITE);
    recording_builder(record);
}

class found_queue_worker : public ::testing::Test {
protected:
    void SetUp() override {
        start_worker_once();
        set_thumbnail_builder(nullptr);
        reset_found_queue();
        built_paths.clear();
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
    ASSERT_EQ(built_paths.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(built_paths[i], "C:\\cache\\tmp\\f" + std::to_string(i) + ".jpg");
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
    EXPECT_EQ(record.width, 1);
}

TEST_F(found_queue_worker, emptying_the_queue_mid_build_drops_the_old_result) {
    set_thumbnail_builder(blocking_builder);
    queue_found_file("C:\\cache\\tmp\\old.jpg");
    ASSERT_EQ(WaitForSingleObject(builder_entered, 5000), WAIT_OBJECT_0);
    reset_found_queue();
    queue_found_file("C:\\cache\\tmp\\new.jpg");
    SetEvent(builder_may_finish);
    ASSERT_TRUE(wait_for_thumbs(1));
    ASSERT_EQ(built_paths.size(), 2u);
    EXPECT_EQ(built_paths[0], "C:\\cache\\tmp\\old.jpg");
    EXPECT_EQ(built_paths[1], "C:\\cache\\tmp\\new.jpg");
    found_file_t record = record_copy(0);
    EXPECT_STREQ(record.thumb_path, "C:\\cache\\tmp\\thumb_new.png");
    EXPECT_EQ(record.width, 2);  // the second build's result, not the first
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
