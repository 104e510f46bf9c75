#include "extension_match.h"

#include <cstring>

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

bool in_family(const char* family, const char* ext) {
    size_t n = std::strlen(ext);
    if (n == 0 || n > 7) return false;
    char word[10] = " ";
    std::memcpy(word + 1, ext, n);
    word[n + 1] = ' ';
    word[n + 2] = 0;
    return std::strstr(family, word) != nullptr;
}

}  // namespace

bool extension_matches(const char* entry, const char* carved) {
    if (!entry || !carved || !*entry) return false;
    if (std::strcmp(entry, carved) == 0) return true;
    for (const char* family : families)
        if (in_family(family, entry) && in_family(family, carved)) return true;
    return false;
}

}  // namespace ember::fs
