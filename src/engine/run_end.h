// How a scan run ended, as the scan page tells the user: from the refusals before the engine is
// started, the engine's exit code and whether the user stopped it, and the summary file the
// engine leaves in its work folder.
#pragma once

#include <cstdint>
#include <string_view>

enum class run_end_t : int32_t {
    none = 0,         // running, or never started
    finished,         // scanned to the end
    read_errors,      // scanned to the end, some sectors could not be read
    card_lost,        // the card went away; the finds until then are kept
    cache_full,       // the work folder took no more; the finds until then are kept
    card_unreadable,  // the engine could not read the card at all
    not_started,      // the engine refused its work folder or could not be started
    ended_early,      // killed or crashed
    stopped,          // the user stopped it, or left the page
    no_engine,        // refused before starting: the engine's file is missing
    bad_cache_path,   // refused before starting: the cache path cannot be handed to the engine
};

// The engine's exit codes (Ember's engine_exit_t), which alone decide the end.
run_end_t run_end_of_exit_code(uint32_t exit_code);

// The language key of the message that tells the user about the end, or nullptr when there is
// nothing to tell (finished, stopped, still running).
const char* run_end_message_key(run_end_t end);

// True when the whole card was scanned, so that the bar may show 100 %.
bool is_scanned_to_the_end(run_end_t end);

// The engine's summary file, ".ember_summary" in its work folder: ASCII "key=value" lines.
constexpr const char* run_summary_name = ".ember_summary";
constexpr size_t max_run_summary_bytes = 4096;

struct run_summary_t {
    uint64_t total_sectors = 0;
    uint64_t scanned_sectors = 0;
    uint64_t unreadable_sectors = 0;
    uint64_t files = 0;
    int32_t exit_code = -1;
};

// Parses a summary of at most max_run_summary_bytes. Unknown keys are passed over; false for a
// text that is too long, a known key whose value is not a plain decimal number that fits, a
// missing count, or counts that contradict one another (more scanned or unreadable than there is).
bool parse_run_summary(std::string_view text, run_summary_t& summary);
