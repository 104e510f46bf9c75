#pragma once

#include <string>

// The executable's folder, always ending with a backslash; filled by the system probe.
extern std::u16string app_folder;
