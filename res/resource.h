#pragma once

// Resource numbers of the application, for the resource script and the code alike. The skin's
// bitmaps (101 to 218) are named in skin_ids.h, which tools/skin/make_svgs.py writes from the
// names of their drawings.
#include "skin_ids.h"

#define IDI_APP 183
#define IDD_MESSAGE 145
#define IDD_ABOUT 146
#define IDR_GRID_MENU 216
#define ID_GRID_SELECT_ALL 40025
#define ID_GRID_UNSELECT_ALL 40026
#define ID_GRID_OPEN_FOLDER 40027
