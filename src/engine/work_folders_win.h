// The cache folder's work files: deleting those of the previous scan, listing and walking what is
// there, and loading an earlier scan back into the found-file queue.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/handles_win.h"

// Deletes, permanently, the previous scan's files from the cache folder: in every work folder
// (tmp, tmp.*) the engine's finds and their thumbnails, then the folder itself once that left it
// empty. Everything else stays, whatever its name: the cache folder may be one the user keeps
// files in. A cache folder that is not an absolute path deletes nothing.
void delete_work_files(const std::u16string& cache_dir);

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

// The loader's task procedure; `owner` is the home page's window, which receives
// UM_LOAD_FINISHED at the end. Returns 0.
int32_t load_earlier_scan(void* owner);
