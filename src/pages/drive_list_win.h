#pragma once

// Rebuilds drive_list from the system's volumes (the walk, mount paths and details).
void refresh_drive_list();
