#include "overlap_rule.h"

#include <algorithm>
#include <initializer_list>

namespace ember {
namespace {

bool is_one_of(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Types whose data is a run of self-synchronising frames or packets, so that a valid run may
// start anywhere inside a stream that some container carries as its payload.
bool is_stream_type(std::string_view name) {
    return is_one_of(name, {"mp3", "mpg", "m2ts", "dv", "ogg", "flac", "wv"});
}

bool type_rule_cuts(std::string_view outer, std::string_view nested);

}  // namespace

bool nested_find_cuts(std::string_view outer, std::string_view nested, nested_place_t place) {
    if (place == nested_place_t::embedded) return false;
    if (place == nested_place_t::payload && !is_stream_type(nested)) return true;
    return type_rule_cuts(outer, nested);
}

namespace {

bool type_rule_cuts(std::string_view outer, std::string_view nested) {
    // A file of the same type inside another is a block or part of it (WavPack blocks, chained
    // Ogg links, multi-part streams), not a newer file.
    // Matroska files never hold another EBML header, so one there is a newer file.
    if (nested == "mkv") return true;
    if (nested == outer) return false;
    // MP3 frames are the sound of videos and of tagged or wrapped audio of every kind; only a
    // picture never holds them.
    if (nested == "mp3")
        return is_one_of(outer, {"jpg", "png", "gif", "bmp", "ico", "psd", "tif", "nef", "cr2", "dng",
                                 "arw", "sr2", "pef", "dcr", "orf", "rw2", "raf", "mrw", "x3f", "crw",
                                 "dpx", "mng", "jng"});
    // DV frames stand inside AVI, QuickTime and Matroska files; program and transport streams,
    // which carry their own packets, inside nothing but their own kind. Anywhere else such a
    // stream, starting at its first pack or table, is a newer recording.
    if (nested == "dv") return !is_one_of(outer, {"avi", "mov", "mp4", "3gp", "3g2", "mkv"});
    if (nested == "mpg") return !is_one_of(outer, {"mpg", "m2ts", "m2t"});
    if (nested == "m2ts") return !is_one_of(outer, {"m2ts", "m2t", "mpg"});
    // JPEG pictures sit inside photos (previews, second images), RAW files, videos (motion JPEG,
    // covers), tagged audio and Photoshop files. Only formats that never carry one are cut.
    if (nested == "jpg")
        return is_one_of(outer, {"wav", "aif", "au", "caf", "wv", "ape", "mid", "xm", "it", "bmp",
                                 "gif", "png", "mng", "ico", "dpx", "dv", "mpg", "m2ts", "m2t"});
    // TIFF structures stand inside photos and RAW files as previews and EXIF blocks.
    if (nested == "tif")
        return !is_one_of(outer, {"jpg", "psd", "tif", "nef", "cr2", "dng", "arw", "sr2", "pef",
                                  "dcr", "orf", "rw2", "raf", "mrw", "x3f", "crw"});
    // Chained Ogg streams follow one another inside one find.
    if (nested == "ogg") return outer != "ogg" && outer != "ogm";
    // PNG pictures are the images of icons.
    if (nested == "png") return outer != "ico";
    return true;
}

}  // namespace
}  // namespace ember
