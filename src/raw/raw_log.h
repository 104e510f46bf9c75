// The diagnostic log: one line per RAW decode attempt, appended to a fixed file.
#pragma once

#include <ctime>
#include <string>

inline constexpr char raw_log_path[] = "C:/Tessera.log";

// "<ctime text>  [src\raw:6] <path>\n": the 24-character local time (cut at its line end), two
// blanks, the source tag, one blank, the found file's path.
std::string raw_log_line(std::time_t now, const char* path);

// Appends the line for `path` to `log_path` (opened and closed for this one line, never
// truncated) and echoes "INFO: <path>" to standard output, one thread at a time. A log that
// cannot be opened is skipped without a word.
void write_raw_log(const char* path, const char* log_path = raw_log_path);
