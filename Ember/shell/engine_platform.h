// What the engine's start-up needs from the system it runs on; engine_platform_win.cpp and
// engine_platform_posix.cpp implement it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/byte_source.h"
#include "contract/pipe_packet.h"

namespace ember {

constexpr char path_separator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

// Opens the card, volume, device or image file named on the command line, read-only; nullptr
// when it cannot be opened, has no size or cannot be read at any offset (a pipe or a FIFO,
// refused at once rather than waited on).
std::unique_ptr<byte_source_i> open_scan_source(const std::string& source);

// True when writing into work_dir could write onto the source being scanned (the work folder
// lies on that volume or disk, or is, or holds, the image file), or when that cannot be told.
bool is_work_dir_on_source(const std::string& work_dir, const std::string& source);

// Creates the folder with its missing parents; false unless it exists afterwards.
bool make_folders(const std::string& folder);

// Renames a closed file, replacing any file of the new name; false when that fails.
bool replace_file(const std::string& from, const std::string& to);

// Milliseconds from some fixed point, for pacing progress.
uint64_t now_ms();

// The front end's pipe, when one is being served.
class report_channel_i {
public:
    virtual ~report_channel_i() = default;
    virtual bool send(const pipe_packet_t& packet) = 0;
    // Ends the run with a zero-length message (a refused start).
    virtual void send_end() = 0;
};

// nullptr when nobody serves the pipe (the engine was started by hand).
std::unique_ptr<report_channel_i> connect_report_pipe();

}  // namespace ember
