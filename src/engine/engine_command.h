// What the front end hands the carving engine: the scan request, the engine's file-type option
// string and its command line. The engine's side of this contract is fixed, so every byte here
// matters.
#pragma once

#include <cstdint>
#include <string>

constexpr size_t request_text_capacity = 260;  // bytes, terminator included

// Filled by the options page and handed to the scan page.
struct scan_request_t {
    char cache_dir[request_text_capacity] = {};  // the cache folder, ANSI
    // The same folder as the user chose it, UTF-16, so that a name the ANSI code page cannot
    // hold is noticed before the engine is given another; empty when not known.
    char16_t cache_path[request_text_capacity] = {};
    char volume[request_text_capacity] = {};     // \\?\Volume{GUID}\ as the drive list gives it
    int32_t want_photo = 0;
    int32_t want_video = 0;
    int32_t want_audio = 0;
};

// "fileopt,everything,disable," then "name,enable," for every type of each chosen list, always
// video, photo, audio in that order, then "search".
std::string build_search_options(bool want_photo, bool want_video, bool want_audio);

struct engine_command_t {
    std::string work_dir;      // cache_dir with "tmp" appended as a path component
    std::string volume;        // the volume without one trailing backslash
    std::string command_line;  // client.exe /d "work_dir" /cmd volume search_options
};

engine_command_t build_engine_command_line(const scan_request_t& request,
                                           const std::string& search_options);
// The same with the work folder given (ANSI): the one the front end made for this run.
engine_command_t build_engine_command_line(const scan_request_t& request, const std::string& search_options,
                                           const std::string& work_dir);
