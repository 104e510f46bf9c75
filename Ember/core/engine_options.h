// The engine's command line, as the front end builds it:
//   client.exe /d "<work_dir>" /cmd <source> fileopt,everything,disable,<name>,enable,...,search
// The first word is ignored. The source may stand in double quotes (an image path with spaces).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ember {

struct engine_options_t {
    std::string work_dir;
    std::string source;
    std::vector<std::string> names;  // in the order given, each once
};

// False for a line that does not have this exact shape; options is then unspecified.
bool parse_engine_command_line(std::string_view line, engine_options_t& options);

// "f" + start sector, at least 7 digits, "." + extension: f0001234.jpg.
std::string found_file_name(uint64_t start_sector, std::string_view extension);

// The name a find is written under until it is complete: its name behind a dot
// (.f0001234.jpg), which the front end's loading of an earlier scan passes over.
std::string unfinished_file_name(uint64_t start_sector, std::string_view extension);

}  // namespace ember
