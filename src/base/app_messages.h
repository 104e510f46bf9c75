#pragma once

// Custom window messages passed between the windows and background threads.
constexpr unsigned um_base = 0x0400;  // WM_USER
#define UM_RAISE_WINDOW (um_base + 1)
#define UM_SHOW_HOME (um_base + 2)
#define UM_SHOW_OPTIONS (um_base + 3)
#define UM_SHOW_SCAN_AND_START (um_base + 4)
#define UM_SHOW_SCAN (um_base + 5)
#define UM_START_SEARCH (um_base + 6)
#define UM_SHOW_FILE_INFO (um_base + 7)
#define UM_SELECTION_TOTALS (um_base + 8)
#define UM_RECOVERY_DONE (um_base + 9)
#define UM_LOAD_FINISHED (um_base + 10)
#define UM_SHOW_RESULTS (um_base + 11)
#define UM_STEP_DONE (um_base + 12)

// The main window's title, also how a second copy finds the running one.
#define APP_TITLE L"Tessera"
