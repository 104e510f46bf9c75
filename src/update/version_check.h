// What the updater decides from the version file on the product's site: the file's format, the
// comparison with the program's own version, and the message the user is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Up to four numbers, major first; numbers left out count as 0.
struct program_version_t {
    uint16_t parts[4] = {};
};

// A version file is a few bytes; a longer answer is not one and is not read further.
constexpr size_t max_version_file_bytes = 256;

// Reads "MAJOR.MINOR[.PATCH[.BUILD]]": two to four numbers of one to five digits, each at most
// 65535 (the width of a version resource's numbers), optionally surrounded by spaces, tabs and
// line ends. False for anything else, an empty or oversized file included.
bool parse_version_file(std::string_view bytes, program_version_t& version);

// Negative, 0 or positive as a is older than, the same as or newer than b.
int compare_versions(const program_version_t& a, const program_version_t& b);

// "1.2.3"; the fourth number only when it is not 0.
std::u16string version_text(const program_version_t& version);

enum class check_outcome_t { up_to_date, newer, failed };

// The outcome of one check: `fetched` tells whether the version file arrived whole; `offered`
// receives the version it names.
check_outcome_t judge_version_file(bool fetched, std::string_view bytes, const program_version_t& own,
                                   program_version_t& offered);

// The message for an outcome in the current language, falling back to English when the language
// file lacks the text.
std::u16string check_message(check_outcome_t outcome, const program_version_t& own,
                             const program_version_t& offered);

// How the updater ends, for whoever started it.
constexpr int update_exit_up_to_date = 0;
constexpr int update_exit_newer_declined = 1;
constexpr int update_exit_download_opened = 2;
constexpr int update_exit_failed = 3;
