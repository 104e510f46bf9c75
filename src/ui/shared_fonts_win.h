// The Arial and Verdana fonts every page draws with, created once at start-up and kept until the
// process ends. Callers borrow the handles and never delete them.
#pragma once

#include <windows.h>

enum class font_face { arial, verdana };

void create_shared_fonts();

// The shared font of that face, size and weight, or nullptr when the set has none (the device
// context's font then stays in use).
HFONT shared_font(font_face face, int points, bool is_bold);
