// What the three pages of the main window share: a child window that fills the main window's
// client area, remembers the main window for its requests and paints the page background.
#pragma once

#include <windows.h>

#include "res/resource.h"
#include "ui/bitmap_button_win.h"
#include "ui/painting_win.h"
#include "ui/window_impl_win.h"

constexpr DWORD page_style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// Paints the page background (IDB_PAGE_BACKGROUND on white, borrowed) into an off-screen picture and
// copies it.
void paint_page_background(HWND page, HBITMAP background);
