// A page may include the media below it.
#pragma once
#include "media/thumb_win.h"
