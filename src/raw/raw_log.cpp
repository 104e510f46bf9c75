#include "raw/raw_log.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Thumbnails are made on several threads; their lines must not interleave in the log or on
// standard output.
std::mutex log_lock;

}  // namespace

std::string raw_log_line(std::time_t now, const char* path) {
    const char* time_text = std::ctime(&now);
    std::string line = time_text ? time_text : "";
    size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos) line.resize(end);
    line += "  [src\\raw:6] ";
    line += path ? path : "";
    line += '\n';
    return line;
}

void write_raw_log(const char* path, const char* log_path) {
    if (!path) path = "";
    std::lock_guard<std::mutex> lock(log_lock);
    if (std::FILE* log = std::fopen(log_path, "a")) {
        std::fputs(raw_log_line(std::time(nullptr), path).c_str(), log);
        std::fclose(log);
    }
    std::printf("INFO: %s\n", path);
    std::fflush(stdout);
}
