// The category of a found file, decided by its extension alone.
#pragma once

#include <array>
#include <string_view>

enum media_kind : int {
    media_photo = 0,
    media_video = 1,
    media_audio = 2,
    media_none = 3,
};

// Searched in this order, so "asf" and "riff", which stand in two tables, count as video.
inline constexpr std::array<std::string_view, 31> video_extensions = {
    "3ds", "3g2", "3gp", "aep", "ani", "wmv", "avi", "fla", "m2t", "m3u", "mp4",
    "pvp", "ram", "swc", "tod", "webm", "max", "mov", "riff", "asf", "flv", "dpx",
    "dv", "fcp", "ifo", "m2ts", "mkv", "mpg", "rm", "swf", "TiVo"};
inline constexpr std::array<std::string_view, 24> photo_extensions = {
    "nef", "cr2", "dcr", "pef", "arw", "sr2", "tiff", "jng", "tif", "dsc", "raf", "x3f",
    "orf", "rw2", "crw", "mrw", "png", "gif", "bmp", "jpg", "ico", "psd", "mng", "dng"};
inline constexpr std::array<std::string_view, 33> audio_extensions = {
    "aif", "all", "als", "ape", "wma", "cda", "cpr", "cue", "ogm", "wav", "xrns",
    "wpl", "asf", "au", "caf", "riff", "flac", "gp5", "ds2", "dss", "flp", "it",
    "mid", "mp3", "mus", "ogg", "ra", "rns", "ses", "sib", "wv", "xm", "wtv"};

// The table lookup without the message box: the extension without its dot, ASCII case ignored.
media_kind find_media_kind(std::string_view extension);
