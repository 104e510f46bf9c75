// The shell's scan output: found files written into the work folder in pieces, then reported
// on the pipe (or counted on the console) once they are closed; progress at most every 50 ms.
// At the end, the summary file ".ember_summary" in the work folder: ASCII, one key=value a line
// (total_sectors, scanned_sectors, unreadable_sectors, files, damaged_files, exit), written
// under a temporary name and renamed into place. Beside the finds, the index ".ember_index":
// one line per find (core/find_record.h), appended and flushed once the find has its name and
// before it is reported, so that a killed scan leaves every line it reported.
#pragma once

#include <cstdio>
#include <string>

#include "core/scan.h"
#include "core/scan_output.h"
#include "engine_platform.h"

namespace ember {

// Within the room every work folder leaves for a find's name; the temporary one adds "~".
constexpr char summary_file_name[] = ".ember_summary";
constexpr char index_file_name[] = ".ember_index";

class engine_output_c final : public scan_output_i {
public:
    // channel may be nullptr: progress then goes to standard error as one line.
    engine_output_c(std::string work_dir, report_channel_i* channel);
    ~engine_output_c() override;

    void total(uint64_t total_sectors) override;
    bool begin_file(uint64_t start_sector, const char* extension) override;
    bool write_file(const uint8_t* data, size_t size) override;
    void describe_file(const find_record_t& record) override;
    bool end_file(bool is_complete) override;
    void progress(uint64_t current_sector) override;

    // The summary file, then the last progress packet (current == total, unless the scan
    // stopped early) and, on the console, the summary.
    void finish(const scan_summary_t& summary, int exit_code);

    // The path a find at start_sector with this extension gets (empty when too long), and the
    // path it is written under until it is complete.
    std::string found_path(uint64_t start_sector, const char* extension) const;
    std::string unfinished_path(uint64_t start_sector, const char* extension) const;

private:
    bool write_summary(const scan_summary_t& summary, int exit_code);
    void append_index_line(const std::string& file_name);
    void send(const char* found);
    void print_console_line();

    std::string work_dir_;
    report_channel_i* channel_;
    uint64_t total_sectors_ = 0;
    uint64_t current_sector_ = 0;
    uint64_t last_sent_ms_ = 0;
    uint64_t files_ = 0;
    std::FILE* file_ = nullptr;
    std::string file_name_;
    std::string file_path_;
    find_record_t record_;  // of the file being written
    std::FILE* index_ = nullptr;
    bool is_index_failed_ = false;
    uint64_t named_files_ = 0;
    std::string writing_path_;
    bool is_channel_broken_ = false;
};

}  // namespace ember
