// Writes one recovered file into the recovery folder without ever replacing a file there or
// leaving a cut-short one under a real name: the copy goes to a temporary file created new,
// which is renamed to the first free name once it is whole. A name that already holds the same
// bytes counts as done and is left alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

enum recovery_result_t : int32_t {
    recovery_copied = 0,
    recovery_source_unreadable = 1,
    recovery_destination_uncreatable = 2,  // the folder takes no new file (missing, read-only, full)
    recovery_short_write = 3,              // a write came up short; nothing of the file is kept
    recovery_stopped = 4,                  // asked to stop during the copy; nothing is kept
};

struct copy_request_t {
    std::u16string source;  // the found file
    std::u16string folder;  // the recovery folder
    int32_t index = 0;      // the record's queue index, which numbers the name
    std::string ext;
    bool is_trimmed = false;  // the copy ends at the source's last non-zero byte
};

// `stop` is looked at between blocks. `is_disk_full` tells whether a failure was the disk's
// lack of space. The name the file took (or already had) goes to `final_name` when given.
int32_t copy_recovered_file(const copy_request_t& request, const std::atomic<bool>& stop, bool& is_disk_full,
                            std::u16string* final_name = nullptr);
