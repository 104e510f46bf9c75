#pragma once

#include <string>

// Loads the section `name` of "language.ini" in the current folder into the process-wide table.
// Returns 0 when the file was read, -1 when it cannot be opened.
int load_language(const std::u16string& name, bool is_primary);
