// The engine from its command line to the end of the scan, on any system.
#pragma once

#include <string_view>

namespace ember {

// Exit codes: 0 scanned to the end; 2 to 6 end the run before anything is written; 7 stopped
// the scan when the work folder took no more (full, or gone), keeping what was found before;
// 8 scanned to the end, but some sectors could not be read (they were zero-filled); 9 the source
// went away (pulled out, gone, or shrank) and the scan stopped there, keeping every find written
// until then. Runs ending 0, 7, 8 or 9 leave the summary file (engine_output.h). Any other code
// means the engine ended abnormally (killed, crashed).
enum class engine_exit_t : int {
    done = 0,
    bad_command_line = 2,
    source_unreadable = 3,
    work_dir_on_source = 4,
    work_dir_too_long = 5,
    work_dir_not_created = 6,
    work_dir_full = 7,
    done_with_read_errors = 8,
    source_lost = 9,
};

int engine_main(std::string_view command_line);

}  // namespace ember
