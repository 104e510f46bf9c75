// Writes one recovered file into the recovery folder without ever replacing a file there or
// leaving a cut-short one under a real name: the copy goes to a temporary file created new,
// which gets its modified time and is renamed to the first free name once it is whole. A name
// that already holds the same bytes counts as done and is left alone.
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
    std::u16string name;    // the name to save under (saved_name.h), numbered when it is taken
    int64_t modified_time = 0;  // UTC seconds for the file's modified time; 0 leaves the time of writing
    bool is_trimmed = false;    // the copy ends at the source's last non-zero byte
};

// What a copy left in the folder: the name it took (or the one that already held its bytes),
// how many bytes it holds and their SHA-256.
struct copy_outcome_t {
    std::u16string name;
    uint64_t size = 0;
    std::string sha256;
};

// `stop` is looked at between blocks. `is_disk_full` tells whether a failure was the disk's
// lack of space.
int32_t copy_recovered_file(const copy_request_t& request, const std::atomic<bool>& stop, bool& is_disk_full,
                            copy_outcome_t* outcome = nullptr);
