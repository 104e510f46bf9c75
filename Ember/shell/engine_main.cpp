#include "engine_main.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/engine_options.h"
#include "core/format_registry.h"
#include "core/scan.h"
#include "engine_output.h"
#include "engine_platform.h"
#include "fs/fs_guide.h"

namespace ember {
namespace {

// The longest extension a carver gives ("jpeg", "m2ts", "tivo" fit with room to spare).
constexpr size_t max_extension_length = 8;

size_t decimal_digits(uint64_t value) {
    size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

// File systems hold names of at most 255 characters; a longer part of the work folder's path
// can never be created.
constexpr size_t max_name_part = 255;

bool has_overlong_part(const std::string& path) {
    size_t part = 0;
    for (char c : path) {
        part = c == '/' || c == '\\' ? 0 : part + 1;
        if (part > max_name_part) return true;
    }
    return false;
}

int refuse(report_channel_i* channel, engine_exit_t why, const char* text) {
    if (channel) channel->send_end();
    else std::fprintf(stderr, "embsrv: %s\n", text);
    return int(why);
}

}  // namespace

int engine_main(std::string_view command_line) {
    engine_options_t options;
    if (!parse_engine_command_line(command_line, options)) {
        std::fprintf(stderr, "usage: embsrv /d \"WORK_DIR\" /cmd SOURCE fileopt,everything,disable,NAME,enable,...,search\n");
        return int(engine_exit_t::bad_command_line);
    }
    std::unique_ptr<report_channel_i> channel = connect_report_pipe();
    std::unique_ptr<byte_source_i> source = open_scan_source(options.source);
    if (!source) return refuse(channel.get(), engine_exit_t::source_unreadable, "cannot read the source");
    if (has_overlong_part(options.work_dir))
        return refuse(channel.get(), engine_exit_t::work_dir_too_long, "a part of the work folder's path is too long");
    if (is_work_dir_on_source(options.work_dir, options.source))
        return refuse(channel.get(), engine_exit_t::work_dir_on_source,
                      "the work folder lies on the source being scanned; choose another");
    uint64_t total_sectors = (source->size() + 511) / 512;
    size_t longest = options.work_dir.size() + 1 + 2 + std::max<size_t>(7, decimal_digits(total_sectors)) +
                     max_extension_length;
    if (longest > max_found_path)
        return refuse(channel.get(), engine_exit_t::work_dir_too_long, "the work folder's path is too long");
    if (!make_folders(options.work_dir))
        return refuse(channel.get(), engine_exit_t::work_dir_not_created, "cannot create the work folder");

    std::vector<std::string_view> names(options.names.begin(), options.names.end());
    std::vector<const format_t*> formats = formats_named(names);
    engine_output_c output(options.work_dir, channel.get());
    // The card's file systems, when it has any, tell where files lie (see fs/fs_guide.h).
    fs::fs_guide_c guide(*source);
    scan_config_t config;
    config.guide = &guide;
    scan_summary_t summary = scan_source(*source, formats, output, config);
    engine_exit_t result = summary.is_output_failed       ? engine_exit_t::work_dir_full
                           : summary.is_source_lost       ? engine_exit_t::source_lost
                           : summary.unreadable_sectors ? engine_exit_t::done_with_read_errors
                                                          : engine_exit_t::done;
    output.finish(summary, int(result));
    return int(result);
}

}  // namespace ember
