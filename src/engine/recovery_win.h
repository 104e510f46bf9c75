// Copies the ticked found files into the recovery folder as FILE%05d.<ext>, numbered by their
// queue index, on the grid's recovery thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

enum recovery_result_t : int32_t {
    recovery_copied = 0,
    recovery_source_unreadable = 1,
    recovery_destination_uncreatable = 2,
    recovery_short_write = 3,
};

// The grid's current record when the recovery started, or -1; recovered alone when nothing is
// ticked.
extern std::atomic<int32_t> current_item;

int32_t recover_one(int32_t index);
// The recovery task's procedure; `owner` is the grid's window, which receives UM_RECOVERY_DONE.
// Returns the number of files actually copied.
int32_t recover_selected(void* owner);
// Shows the message for a failed copy, owned by `owner`; code 3 shows nothing.
void report_recovery_failure(HWND owner, int32_t code);
