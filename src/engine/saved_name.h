// The name a recovered file is saved under: its name on the card when a directory entry gave
// one, made safe for Windows, else "FILE" + its queue index in five digits. Names from the card
// are untrusted: device names (CON, NUL, COM1...), characters Windows forbids, trailing dots and
// spaces, "." and "..", and names too long for the folder never reach the file system as given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Room a name leaves in a path for what the never-overwrite rule may add: "~" and ".1000.tmp"
// around the temporary name, or "-1000" before the extension of the final one.
constexpr size_t name_attempt_reserve = 10;
// The longest path the copy opens without the long-path prefix, terminator excluded.
constexpr size_t max_recovered_path_units = 259;
// Windows' limit for one path component.
constexpr size_t max_name_units = 255;

// The last component of a card path (components separated by '\'), made safe; empty when nothing
// usable is left (no name, only dots and spaces, or no room within `max_units`). An extension
// that does not fit the find's kind (`find_ext`, e.g. "jpg") is replaced by it, the stem kept;
// a name without one gets it. `is_changed` tells whether the result differs from the card's name.
std::u16string safe_card_name(std::u16string_view card_path, std::string_view find_ext, size_t max_units,
                              bool& is_changed);

// The name for a find: the card's name made safe, or "FILE%05d.<ext>" when there is none. The
// room is what a recovery folder of `folder_units` UTF-16 units leaves.
std::u16string saved_file_name(std::string_view card_path_utf8, std::string_view find_ext, int32_t index,
                               size_t folder_units);
