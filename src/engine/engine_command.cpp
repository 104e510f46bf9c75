#include "engine/engine_command.h"

#include <cstring>

#include "base/path_text.h"

namespace {

// The engine's names for the file types of each category, in the order they are enabled.
const char* const video_types[] = {"max", "mov", "riff", "asf", "flv", "dpx", "dv", "fcp",
                                   "ifo", "m2ts", "mkv", "mpg", "rm", "swf", "TiVo"};
const char* const photo_types[] = {"tif", "dsc", "raf", "x3f", "orf", "rw2", "crw",
                                   "mrw", "png", "gif", "bmp", "jpg", "ico", "psd"};
const char* const audio_types[] = {"aif", "all", "als", "ape", "asf", "au",  "caf",
                                   "riff", "flac", "gp5", "ds2", "dss", "flp", "it",
                                   "mid", "mp3", "mus", "ogg", "ra",  "rns", "ses",
                                   "sib", "wv",  "xm",  "wtv"};

template <size_t n>
void enable_all(std::string& options, const char* const (&types)[n]) {
    for (const char* type : types) {
        options += type;
        options += ",enable,";
    }
}

// A request field read up to its terminator, never past its buffer.
std::string bounded_text(const char (&field)[request_text_capacity]) {
    return std::string(field, strnlen(field, request_text_capacity));
}

}  // namespace

std::string build_search_options(bool want_photo, bool want_video, bool want_audio) {
    std::string options = "fileopt,everything,disable,";
    if (want_video) enable_all(options, video_types);
    if (want_photo) enable_all(options, photo_types);
    if (want_audio) enable_all(options, audio_types);
    options += "search";
    return options;
}

engine_command_t build_engine_command_line(const scan_request_t& request,
                                           const std::string& search_options) {
    return build_engine_command_line(request, search_options,
                                     append_path_component(bounded_text(request.cache_dir), "tmp"));
}

engine_command_t build_engine_command_line(const scan_request_t& request, const std::string& search_options,
                                           const std::string& work_dir) {
    engine_command_t command;
    command.work_dir = work_dir;
    command.volume = bounded_text(request.volume);
    if (!command.volume.empty() && command.volume.back() == '\\') command.volume.pop_back();
    command.command_line = "client.exe /d \"" + command.work_dir + "\" /cmd " + command.volume +
                           " " + search_options;
    return command;
}
