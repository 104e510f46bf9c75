// Which entries of the cache folder this program made, so that starting a scan deletes those
// and nothing else: the work folders ("tmp", and names starting "tmp.", which are loaded like
// "tmp"; "~tmp." + a number for one set aside to be deleted, which is never loaded), each marked
// by a file of ours inside it, the finds the engine writes into them
// ("f" + start sector of at least 7 digits + "." + extension, with a dot in front while it is
// written), the engine's summary file and its index of the finds (".ember_index"), and the thumbnails written beside those finds
// ("thumb_" + the find's name without extension + ".png").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The empty file the program puts in every work folder it creates. Only folders holding it are
// ever emptied: a folder of the user's named "tmp" is not ours, whatever it holds.
constexpr std::u16string_view work_marker_name = u".tessera_work";

// The name of a work folder set aside to be deleted in the background: "~tmp." + number.
std::u16string set_aside_name(uint64_t number);
bool is_set_aside_name(std::u16string_view name);

// "tmp" or "tmp.<anything>", with any letter case, as the file system matches names.
bool is_work_folder_name(std::u16string_view name);
// A find's name, its thumbnail's name, the engine's summary file or its index; never a name the user might have given a file of
// their own, such as tmp_invoice.pdf or holiday.jpg.
bool is_work_file_name(std::u16string_view name);
