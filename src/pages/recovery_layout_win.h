// Where the scan page places its buttons and paints its texts: the page's code draws from here,
// and the check that every language fits measures the same rooms.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/text_slot_win.h"

// The rows of the information column: the current file's facts (folder, state, date, camera,
// size) and the shown group's counts (files, ticked).
constexpr int fact_rows[5] = {112, 128, 144, 160, 176};
constexpr int count_rows[2] = {232, 250};

// The left edge of the start and pause button; the stop button stands 100 pixels right of it.
int scan_toggle_left();

// The information column's left edge, where its icons and labels start.
inline int information_column(const RECT& client) { return client.right - 180; }
// Where a fact's value and a count's number start; they end the labels' room.
inline int fact_value_left(const RECT& client) { return client.right - 120; }
inline int count_left(const RECT& client) { return client.right - 100; }

// The "Select all" box under the selection heading.
RECT select_all_rect(const RECT& client);

// The line above the progress bar, which ends before the start and pause button.
text_slot_t progress_line_slot(const std::u16string& text);
// The red notice that previews are being made, which ends at the top panel's frame.
text_slot_t preview_notice_slot(const RECT& client, const std::u16string& text);

// The information column's painted texts: the hint at its foot, the two headings, which end at
// the column's frame, and the labels of the facts and counts, which end where their values start.
struct information_texts_t {
    text_slot_t hint;
    text_slot_t headings[2];     // file details, selection
    text_slot_t fact_labels[5];  // in the order of fact_rows
    text_slot_t count_labels[2];
};
information_texts_t information_texts(const RECT& client);

// Every painted text of the page in the current language, the progress line in each of its
// forms with the widest numbers it shows, and the "Select all" box's label beside its box.
std::vector<text_slot_t> recovery_page_text_slots(const RECT& client);
