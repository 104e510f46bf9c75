#include "overlap_rule.h"

#include <algorithm>
#include <initializer_list>

namespace ember {
namespace {

bool is_one_of(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

bool nested_find_cuts(std::string_view outer, std::string_view nested) {
    // A file of the same type inside another is a block or part of it (WavPack blocks, chained
    // Ogg links, multi-part streams), not a newer file.
    if (nested == outer) return false;
    // Streams that are payloads of containers (MP3 and DV in AVI or MOV, MPEG in anything) and
    // that repeat their own headers every few sectors never cut anything.
    if (is_one_of(nested, {"mp3", "dv", "mpg", "m2ts"})) return false;
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

}  // namespace ember
