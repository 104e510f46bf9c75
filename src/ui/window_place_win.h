// Placing skinned top-level windows: centred over a visible owner or on the work area, kept
// inside that work area, and given a rectangular region covering the whole window.
#pragma once

#include <windows.h>

// Centres `window` over `owner` when it is visible and not minimised, otherwise on the work area
// of the monitor nearest to the owner (or to the window), then moves it inside that work area,
// left and top edges first.
void centre_window(HWND window, HWND owner);
void set_whole_window_region(HWND window);
