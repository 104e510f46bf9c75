#pragma once

// Fonts are sized at a fixed 96 dots per inch so that text fits the fixed-size skin bitmaps,
// whatever the display's real resolution: points × 96 / 72, rounded to the nearest pixel.
constexpr int font_pixel_height(int points) { return (points * 96 + 36) / 72; }

static_assert(font_pixel_height(8) == 11 && font_pixel_height(11) == 15 &&
              font_pixel_height(14) == 19 && font_pixel_height(22) == 29);
