#pragma once

// The start-up order of the process: folder, probe, memory, settings, queue and its worker,
// drives, fonts, languages. 0 on success, -1 after the failure dialog was shown.
int init_application();

// Creates the main window, runs this thread's message loop and returns its exit code, or -1
// when the window cannot be created.
int run_main_window(int show_command);

// Start-up failure codes shown in the failure dialog.
constexpr int startup_error_probe = 1;
constexpr int startup_error_language_file = 4;
