#include "engine_output.h"

#include <algorithm>
#include <cstring>

#include "core/engine_options.h"

namespace ember {
namespace {

constexpr uint64_t progress_interval_ms = 50;
constexpr uint64_t console_interval_ms = 500;

}  // namespace

engine_output_c::engine_output_c(std::string work_dir, report_channel_i* channel)
    : work_dir_(std::move(work_dir)), channel_(channel) {
    if (!work_dir_.empty() && work_dir_.back() != path_separator && work_dir_.back() != '/')
        work_dir_ += path_separator;
}

engine_output_c::~engine_output_c() {
    // A file still open here was cut short: it is neither kept nor reported.
    if (file_) end_file(false);
    if (index_) std::fclose(index_);
}

std::string engine_output_c::found_path(uint64_t start_sector, const char* extension) const {
    std::string path = work_dir_ + found_file_name(start_sector, extension);
    return path.size() <= max_found_path ? path : std::string();
}

std::string engine_output_c::unfinished_path(uint64_t start_sector, const char* extension) const {
    std::string path = work_dir_ + unfinished_file_name(start_sector, extension);
    return path.size() <= max_found_path ? path : std::string();
}

void engine_output_c::total(uint64_t total_sectors) {
    total_sectors_ = total_sectors;
    send(nullptr);
}

bool engine_output_c::begin_file(uint64_t start_sector, const char* extension) {
    record_ = {};
    file_name_ = found_file_name(start_sector, extension);
    file_path_ = found_path(start_sector, extension);
    writing_path_ = unfinished_path(start_sector, extension);
    if (file_path_.empty() || writing_path_.empty()) return false;
    file_ = std::fopen(writing_path_.c_str(), "wb");
    // A file handed back after later ones (a held photo) starts behind the scan: progress
    // never goes back for it.
    current_sector_ = std::max(current_sector_, start_sector);
    return file_ != nullptr;
}

bool engine_output_c::write_file(const uint8_t* data, size_t size) {
    return file_ && std::fwrite(data, 1, size, file_) == size;
}

// The file takes its find's name only once it is complete and closed, so that a run killed
// while writing leaves nothing under that name.
bool engine_output_c::end_file(bool is_complete) {
    if (!file_) return !is_complete;
    bool is_closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!is_complete || !is_closed || !replace_file(writing_path_, file_path_)) {
        std::remove(writing_path_.c_str());
        return !is_complete;
    }
    ++files_;
    if (!record_.path.empty()) ++named_files_;
    append_index_line(file_name_);
    send(file_path_.c_str());
    return true;
}

void engine_output_c::describe_file(const find_record_t& record) { record_ = record; }

// Opened on the first find, with the sharing fopen gives (the front end reads it meanwhile); a
// work folder that takes no index line stops the index, not the scan: the finds are what count.
void engine_output_c::append_index_line(const std::string& file_name) {
    if (is_index_failed_) return;
    if (!index_) {
        std::string path = work_dir_ + index_file_name;
        index_ = std::fopen(path.c_str(), "ab");
        if (!index_ || std::fseek(index_, 0, SEEK_END) != 0) {
            is_index_failed_ = true;
            return;
        }
        if (std::ftell(index_) == 0) std::fputs("# ember index 1\n", index_);
    }
    std::string line = index_line(file_name, record_);
    if (std::fwrite(line.data(), 1, line.size(), index_) != line.size() || std::fflush(index_) != 0)
        is_index_failed_ = true;
}

void engine_output_c::progress(uint64_t current_sector) {
    current_sector_ = current_sector;
    uint64_t now = now_ms();
    if (now - last_sent_ms_ < (channel_ ? progress_interval_ms : console_interval_ms)) return;
    send(nullptr);
}

void engine_output_c::send(const char* found) {
    last_sent_ms_ = now_ms();
    if (!channel_) {
        print_console_line();
        return;
    }
    if (is_channel_broken_) return;
    pipe_packet_t packet;
    packet.total_sectors = total_sectors_;
    packet.current_sector = current_sector_;
    if (found) std::strncpy(packet.found_path, found, packet_path_bytes - 1);
    if (!channel_->send(packet)) is_channel_broken_ = true;
}

void engine_output_c::print_console_line() {
    double percent = total_sectors_ ? 100.0 * double(current_sector_) / double(total_sectors_) : 0.0;
    std::fprintf(stderr, "\rscanned %llu of %llu MiB (%.1f%%), %llu files found   ",
                 static_cast<unsigned long long>(current_sector_ / 2048),
                 static_cast<unsigned long long>(total_sectors_ / 2048), percent,
                 static_cast<unsigned long long>(files_));
}

void engine_output_c::finish(const scan_summary_t& summary, int exit_code) {
    bool is_summary_written = write_summary(summary, exit_code);
    // Progress never goes back: a scan that stopped early stays where it got to.
    uint64_t scanned = std::min(total_sectors_, (summary.bytes_scanned + 511) / 512);
    if (!summary.is_output_failed && !summary.is_source_lost) current_sector_ = total_sectors_;
    else if (summary.is_source_lost) current_sector_ = std::max(current_sector_, scanned);
    send(nullptr);
    if (channel_) return;
    std::fprintf(stderr, "\n%llu files found (%llu bytes) in %s, %llu of them named by a directory entry\n",
                 static_cast<unsigned long long>(summary.files),
                 static_cast<unsigned long long>(summary.bytes_found), work_dir_.c_str(),
                 static_cast<unsigned long long>(named_files_));
    if (summary.unreadable_sectors)
        std::fprintf(stderr, "%llu sectors could not be read and were read as zeros; %llu files hold some of them\n",
                     static_cast<unsigned long long>(summary.unreadable_sectors),
                     static_cast<unsigned long long>(summary.damaged_files));
    if (summary.is_source_lost)
        std::fprintf(stderr, "the source went away at sector %llu of %llu: the scan stopped there\n",
                     static_cast<unsigned long long>(scanned),
                     static_cast<unsigned long long>(total_sectors_));
    if (summary.is_output_failed)
        std::fprintf(stderr, "the work folder took no more files (full?): the scan stopped there\n");
    if (!is_summary_written) std::fprintf(stderr, "the summary file could not be written\n");
}

bool engine_output_c::write_summary(const scan_summary_t& summary, int exit_code) {
    std::string path = work_dir_ + summary_file_name;
    std::string writing = path + "~";
    std::FILE* file = std::fopen(writing.c_str(), "wb");
    if (!file) return false;
    uint64_t scanned = std::min(total_sectors_, (summary.bytes_scanned + 511) / 512);
    int printed = std::fprintf(file, "total_sectors=%llu\nscanned_sectors=%llu\nunreadable_sectors=%llu\n"
                                     "files=%llu\ndamaged_files=%llu\nexit=%d\n",
                               static_cast<unsigned long long>(total_sectors_),
                               static_cast<unsigned long long>(scanned),
                               static_cast<unsigned long long>(summary.unreadable_sectors),
                               static_cast<unsigned long long>(files_),
                               static_cast<unsigned long long>(summary.damaged_files), exit_code);
    bool is_closed = std::fclose(file) == 0;
    if (printed > 0 && is_closed && replace_file(writing, path)) return true;
    std::remove(writing.c_str());
    return false;
}

}  // namespace ember
