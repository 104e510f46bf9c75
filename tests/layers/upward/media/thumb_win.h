// A media header that reaches up into the pages.
#pragma once
#include "pages/grid_win.h"
#include "base/settings.h"
