// Where a scan's results go: one found file at a time, streamed in pieces, and the progress.
// The shell writes files into the work folder and reports on the pipe or the console; tests
// keep everything in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "find_record.h"

namespace ember {

class scan_output_i {
public:
    virtual ~scan_output_i() = default;
    // The size of the source, once, before anything else.
    virtual void total(uint64_t total_sectors) = 0;
    // A file starts at start_sector; false when it cannot be written (then nothing else of it
    // is asked).
    virtual bool begin_file(uint64_t start_sector, const char* extension) = 0;
    virtual bool write_file(const uint8_t* data, size_t size) = 0;
    // What is known of the file being written, asked before end_file(true).
    virtual void describe_file(const find_record_t& record) { (void)record; }
    // complete: close the file and report it; otherwise drop what was written. False when a
    // complete file could not be closed and kept.
    virtual bool end_file(bool is_complete) = 0;
    // How far the scan has come; called often (every chunk, every wait), the output decides
    // when to pass it on.
    virtual void progress(uint64_t current_sector) = 0;
};

}  // namespace ember
