#pragma once

#include <string>

#include "pages/drive_list.h"

// Rebuilds drive_list from the system's volumes (the walk, mount paths and details).
void refresh_drive_list();

// True when the folder lies on the drive's volume: the volume holding the folder (its mount
// point, then that mount point's volume name) against the drive's volume_name, which also sees
// folder mount points; where the system cannot name the volume, the folder against the drive's
// mount paths. The folder need not exist.
bool is_folder_on_drive(const std::u16string& folder, const drive_info_t& drive);
