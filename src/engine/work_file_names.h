// Which entries of the cache folder this program made, so that starting a scan deletes those
// and nothing else: the work folders ("tmp", and names starting "tmp.", which are loaded like
// "tmp"), the finds the engine writes into them
// ("f" + start sector of at least 7 digits + "." + extension, with a dot in front while it is
// written) and the thumbnails written beside those finds ("thumb_" + the find's name without
// extension + ".png").
#pragma once

#include <string_view>

// "tmp" or "tmp.<anything>", with any letter case, as the file system matches names.
bool is_work_folder_name(std::u16string_view name);
// A find's name or its thumbnail's name; never a name the user might have given a file of
// their own, such as tmp_invoice.pdf or holiday.jpg.
bool is_work_file_name(std::u16string_view name);
