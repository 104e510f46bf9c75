#include "base/background_task_win.h"

#include <gtest/gtest.h>

namespace {

struct gate_t {
    HANDLE may_finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~gate_t() {
        CloseHandle(may_finish);
        CloseHandle(finished);
    }
};

int32_t wait_then_return_seven(void* argument) {
    auto* gate = static_cast<gate_t*>(argument);
    WaitForSingleObject(gate->may_finish, INFINITE);
    SetEvent(gate->finished);
    return 7;
}

int32_t return_minus_one(void*) { return -1; }

int32_t throw_something(void*) { throw 42; }

// The thread frees its state just after it signals; give it a moment to get there.
bool wait_for_live_states(long count) {
    for (int i = 0; i < 500; ++i) {
        if (background_task_c::live_shared_states() == count) return true;
        Sleep(2);
    }
    return false;
}

}  // namespace

TEST(background_task, the_owner_reads_the_result_after_the_thread_ended) {
    long before = background_task_c::live_shared_states();
    {
        background_task_c task;
        gate_t gate;
        ASSERT_TRUE(task.start(wait_then_return_seven, &gate));
        EXPECT_FALSE(task.start(return_minus_one, nullptr));  // one thread at a time
        EXPECT_FALSE(task.has_ended());
        SetEvent(gate.may_finish);
        WaitForSingleObject(task.thread(), 5000);
        EXPECT_TRUE(task.has_ended());
        task.close_thread();
        EXPECT_FALSE(task.has_thread());
        EXPECT_EQ(task.result(), 7);
        ASSERT_TRUE(task.start(return_minus_one, nullptr));  // and again once it has ended
        WaitForSingleObject(task.thread(), 5000);
        EXPECT_EQ(task.result(), -1);
    }
    EXPECT_EQ(background_task_c::live_shared_states(), before);
}

TEST(background_task, a_thread_outliving_its_owner_frees_the_state_itself) {
    long before = background_task_c::live_shared_states();
    gate_t gate;
    {
        background_task_c task;
        ASSERT_TRUE(task.start(wait_then_return_seven, &gate));
    }  // abandoned while running
    EXPECT_EQ(background_task_c::live_shared_states(), before + 1);
    SetEvent(gate.may_finish);
    WaitForSingleObject(gate.finished, 5000);
    EXPECT_TRUE(wait_for_live_states(before));
}

TEST(background_task, abandoning_many_tasks_at_every_moment_frees_each_state_once) {
    long before = background_task_c::live_shared_states();
    for (int i = 0; i < 200; ++i) {
        background_task_c task;
        task.start(return_minus_one, nullptr);
        if (i % 2) Sleep(0);
    }
    EXPECT_TRUE(wait_for_live_states(before));
}

TEST(background_task, a_killed_thread_leaves_the_state_to_its_owner) {
    long before = background_task_c::live_shared_states();
    gate_t gate;
    {
        background_task_c task;
        ASSERT_TRUE(task.start(wait_then_return_seven, &gate));
        task.terminate();
        EXPECT_FALSE(task.has_thread());
        EXPECT_EQ(task.result(), 0);
    }
    EXPECT_EQ(background_task_c::live_shared_states(), before);
}

TEST(background_task, an_exception_in_the_procedure_becomes_minus_one) {
    background_task_c task;
    ASSERT_TRUE(task.start(throw_something, nullptr));
    WaitForSingleObject(task.thread(), 5000);
    EXPECT_EQ(task.result(), -1);
}
