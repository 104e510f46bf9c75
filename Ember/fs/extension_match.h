// Whether a directory entry's extension names the kind of file a carver found ("jpeg" and
// "jpg", "mts" and "m2ts", "nef" and "tif", ...), an 8.3 short name's three letters standing for
// a longer extension ("web" for "webm").
#pragma once

namespace ember::fs {

bool extension_matches(const char* entry_extension, const char* carved_extension);

}  // namespace ember::fs
