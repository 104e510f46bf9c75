// Copies the ticked found files into the recovery folder on the grid's recovery thread, each
// under its name on the card made safe, else FILE%05d.<ext> numbered by its queue index
// (saved_name.h), dated when it was taken or else as its directory entry; lists each in
// "recovered.csv" (recovery_csv_win.h) and tells the user how many were recovered and why any
// were not.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/recovered_copy_win.h"

// Why a recovery recovered fewer files than were chosen.
enum class recovery_shortfall_t : int32_t {
    none = 0,
    unreadable = 1,      // found files that could not be read; the others were copied
    folder_refused = 2,  // the recovery folder takes no new file (missing, read-only)
    disk_full = 3,       // the recovery folder's disk filled up; the rest were not tried
    stopped = 4,         // the user closed the program or left the results
};

struct recovery_report_t {
    int32_t chosen = 0;     // the files the recovery set out to copy
    int32_t recovered = 0;  // those written whole, or already in the folder byte for byte
    recovery_shortfall_t shortfall = recovery_shortfall_t::none;
};

// The grid's current record when the recovery started, or -1; recovered alone when nothing is
// ticked.
extern std::atomic<int32_t> current_item;
// Set to stop a running recovery: the file being copied is given up and its temporary file
// removed. The grid clears it before it starts a recovery.
extern std::atomic<bool> recovery_stop_requested;

int32_t recover_one(int32_t index, bool* is_disk_full = nullptr);
// The recovery task's procedure; `owner` is the grid's window, which receives UM_RECOVERY_DONE.
// Returns the number of files recovered; the whole report is last_recovery_report().
int32_t recover_selected(void* owner);
// What the last recovery that ended did; read once its thread has ended.
recovery_report_t last_recovery_report();
// Tells the user the outcome, owned by `owner`; true when at least one file was recovered.
bool show_recovery_report(HWND owner, const recovery_report_t& report);
