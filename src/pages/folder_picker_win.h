// The system's folder browser, shown by the options page's browse button.
#pragma once

#include <string>

// Shows the browser modally over the active window, opening at its own default place. Only
// file-system folders can be chosen. True with the chosen folder's path (at most 260 characters);
// false when the user cancelled or the choice has no file-system path, `folder` then unchanged.
bool pick_folder(std::u16string& folder);
