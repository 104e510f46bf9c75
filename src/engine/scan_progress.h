#pragma once

#include <cstdint>

// The bar's fraction from the last packet: computed only once the total is known, and never
// moved backwards during a run.
inline float next_progress(float progress, uint64_t current_sector, uint64_t total_sectors) {
    if (total_sectors == 0) return progress;
    double fraction = static_cast<double>(current_sector) / static_cast<double>(total_sectors);
    return fraction > progress ? static_cast<float>(fraction) : progress;
}
