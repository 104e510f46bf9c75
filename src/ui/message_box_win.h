// The one way the program shows a message to the user after start-up: the skinned message box.
// Tests may replace the shower to see what would be shown.
#pragma once

#include <windows.h>

#include <string>

enum message_mode_t : int {
    mode_notice = 0,
    mode_warning = 1,
    mode_error = 2,
    mode_question = 3,  // returns 1 when the user confirms
    mode_done = 4,      // returns 1 for the confirming button
};

// Shows `text` modally over `owner`: 1 for the first (confirming) button, 2 for the second,
// 0 when the box was closed by its caption button. Callers test for 1 only.
int show_message(HWND owner, const std::u16string& text, message_mode_t mode);

using message_shower_fn = int (*)(HWND owner, const std::u16string& text, message_mode_t mode);
void set_message_shower(message_shower_fn shower);
