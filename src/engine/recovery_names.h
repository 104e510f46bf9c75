// The names recovered files take in the recovery folder: "FILE" + the queue index in at least
// five digits + "." + the extension, and when that name already holds a different file, the
// same with "-2", "-3", ... before the dot. A file is written under a temporary name first
// ("~" + its name + ".tmp", then ".2.tmp", ...), which no photo viewer takes for a picture.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How many names one record tries before its copy counts as not writable.
constexpr uint32_t max_name_attempts = 1000;

// `attempt` 1 is the plain name, 2 gives "-2", and so on. Characters that a Windows file name
// cannot hold are replaced in the extension, so an extension can never reach another folder or
// a stream.
std::string recovered_file_name(int32_t index, std::string_view ext, uint32_t attempt);
std::string temporary_file_name(std::string_view final_name, uint32_t attempt);
