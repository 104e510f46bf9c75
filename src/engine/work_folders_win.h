// The cache folder's work files: deleting those of the previous scan, listing and walking what is
// there, and loading an earlier scan back into the found-file queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/handles_win.h"

// True when the folder holds the program's marker file, so that the program made it.
bool is_marked_work_folder(const std::u16string& folder);

// Makes the work folder of a new scan at once, however many files the previous scans left: every
// marked work folder (tmp, tmp.*) is renamed in place to a set-aside name, which the loader of
// earlier results never loads, and a new marked "tmp" is created (the cache folder too, if
// needed). A "tmp" that is not marked is the user's and is left as it is; the scan then writes
// into the first free "tmp.<n>". Returns the new work folder's path, or empty when none could be
// made (or the cache folder is not an absolute path). Deletes nothing.
std::u16string prepare_work_folder(const std::u16string& cache_dir);

// Deletes, permanently, what set-aside work folders hold of the program's own files: the
// engine's finds, unfinished finds and summary, and their thumbnails; then, when asked, the
// folder itself once only its marker is left. Everything else stays, whatever its name: the
// cache folder may be one the user keeps files in. Runs as long as there are files; an
// interrupted run is taken up by the next. Paced, it rests between short bursts of deletions so
// that the program's windows are not kept waiting behind it.
void delete_set_aside_folders(const std::u16string& cache_dir, bool is_emptied_folder_removed = true,
                              bool is_paced = false);
// The files alone on a thread of its own that nobody waits for; the emptied folders stay, marked,
// for remove_emptied_set_aside_folders. A folder that once held 100,000 names keeps its size when
// emptied, and removing it costs the file system most of a second; under Wine the Wine server does
// that removal, and every window of the program waits for it meanwhile.
void start_deleting_set_aside_folders(const std::u16string& cache_dir);
// Removes the set-aside folders that hold nothing but their marker: of one cache folder, or of
// every cache folder whose deletion was started in this run (as the program ends, when no window
// waits for it).
void remove_emptied_set_aside_folders(const std::u16string& cache_dir);
void remove_emptied_set_aside_folders();

// The names (not paths) matching a pattern, "." and ".." left out; a pattern naming an existing
// folder lists that folder. Returns their number, or -1 when nothing matches.
int list_matching_names(const std::u16string& pattern, std::vector<std::u16string>& names);

// Yields the full path of every file below a folder, depth first, a subfolder's files before the
// rest of its parent. Names beginning with a dot are passed over, and so are linked folders
// (reparse points), which could lead the walk in a circle.
class folder_walker_c {
public:
    explicit folder_walker_c(std::u16string root);
    folder_walker_c(const folder_walker_c&) = delete;
    folder_walker_c& operator=(const folder_walker_c&) = delete;

    bool next(std::u16string& path);

private:
    struct listing_t {
        std::u16string folder;
        find_handle_c find{};
        bool is_started = false;
    };
    std::vector<listing_t> stack_;
};

// One load of the finds an earlier scan left in a cache folder, and the flag that stops it early.
struct earlier_scan_load_t {
    std::u16string cache_dir;
    std::atomic<bool> must_end{false};
};

// Appends every find of the earlier scan to the found-file queue, one at a time, so that the
// scan page files them while the walk goes on. Stops at the next file once must_end is set or the
// queue is closed. A cache folder that is not an absolute path loads nothing. Returns the number
// of files queued.
int32_t load_earlier_scan(earlier_scan_load_t& load);
// The same as a background task procedure; `load` is an earlier_scan_load_t that outlives it.
int32_t load_earlier_scan_task(void* load);
