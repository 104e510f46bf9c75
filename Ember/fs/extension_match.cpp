#include "extension_match.h"

#include <cstring>
#include <string_view>

namespace ember::fs {
namespace {

// Names for one kind of file, as cameras, phones and computers spell them; the carvers' own
// extensions are among them.
constexpr const char* families[] = {
    " jpg jpeg jpe jfif thm jps mpo ",
    " tif tiff nef nrw cr2 dng arw sr2 srf pef dcr kdc orf rw2 raw srw 3fr erf mef mos iiq ",
    " mov mp4 m4v m4a 3gp 3g2 qt lrv ",
    " avi wav ani ",
    " wmv wma asf ",
    " mpg mpeg mpe vob mod tod m2p ",
    " m2ts mts m2t ts ",
    " mkv webm mka ",
    " ogg oga ogv ogm opus spx ",
    " aif aiff aifc ",
    " mid midi kar ",
};

// True when an entry's extension names `name`: the same, or its first three letters, as an 8.3
// short name keeps a longer extension ("web" for "webm", "fla" for "flac").
bool names(const char* entry, std::string_view name) {
    size_t n = std::strlen(entry);
    return name == entry || (n == 3 && name.size() > 3 && name.substr(0, 3) == entry);
}

bool in_family(const char* family, const char* ext) {
    size_t n = std::strlen(ext);
    if (n == 0 || n > 7) return false;
    char word[10] = " ";
    std::memcpy(word + 1, ext, n);
    word[n + 1] = ' ';
    word[n + 2] = 0;
    return std::strstr(family, word) != nullptr;
}

// True when one of the family's names is the entry's.
bool entry_in_family(std::string_view family, const char* entry) {
    for (size_t at = 0; at < family.size();) {
        size_t end = family.find(' ', at);
        if (end == std::string_view::npos) end = family.size();
        if (end > at && names(entry, family.substr(at, end - at))) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

bool extension_matches(const char* entry, const char* carved) {
    if (!entry || !carved || !*entry) return false;
    if (names(entry, carved)) return true;
    for (const char* family : families)
        if (entry_in_family(family, entry) && in_family(family, carved)) return true;
    return false;
}

}  // namespace ember::fs
