// The never-overwrite rule's names in the recovery folder: when a recovered file's name
// (saved_name.h) already holds a different file, the same name with "-2", "-3", ... before its
// extension. A file is written under a temporary name first ("~" + its name + ".tmp", then
// ".2.tmp", ...), which no photo viewer takes for a picture.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How many names one record tries before its copy counts as not writable.
constexpr uint32_t max_name_attempts = 1000;

// `attempt` 1 is the name itself; 2 gives "-2" before the last dot (or at the end), and so on.
std::u16string numbered_name(std::u16string_view name, uint32_t attempt);
std::u16string temporary_file_name(std::u16string_view final_name, uint32_t attempt);
