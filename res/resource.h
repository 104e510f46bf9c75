#pragma once

// Resource numbers of the application. The skin bitmaps keep their numbers (101 to 218) as
// plain numbers in tessera.rc, generated from res/bitmaps.
#define IDI_APP 183
#define IDD_MESSAGE 145
#define IDD_ABOUT 146
#define IDR_GRID_MENU 216
#define ID_GRID_SELECT_ALL 40025
#define ID_GRID_UNSELECT_ALL 40026
#define ID_GRID_OPEN_FOLDER 40027
