// A small picture straight from a colour-filter sensor's samples: each output pixel averages the
// red, green and blue samples of a square of the sensor's 2 x 2 cells, then takes the same white
// balance, colour matrix, brightness and gamma a development would. For a thumbnail this stands in
// for demosaicing and developing the whole sensor, which costs far more and is shrunk right after.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The visible part of the sensor and how to turn its samples into colours.
struct sensor_mosaic_t {
    const uint16_t* samples = nullptr;  // the visible area's top left sample
    size_t pitch = 0;                   // samples from one row to the next
    uint32_t width = 0, height = 0;     // of the visible area, in samples
    uint8_t colour[2][2] = {};          // 0 red, 1 green, 2 blue, by row and column within a cell
    float black[2][2] = {};             // black level, likewise
    float white = 0;                    // the level a full sample reaches
    float balance[3] = {1, 1, 1};       // white balance of red, green and blue
    float to_rgb[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // balanced camera colour to linear sRGB
};

struct binned_picture_t {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bgr;  // rows of blue, green, red bytes, top row first, no padding
};

// Whether a 2 x 2 pattern holds one red, two greens and one blue.
bool is_bayer_cell(const uint8_t colour[2][2]);

// Bins `mosaic` into the smallest picture of whole cells that still covers min_width x min_height
// (or the whole sensor at one cell a pixel, when it has fewer cells). 0, or -1 for a mosaic that is
// not a Bayer pattern, is smaller than one cell, or whose levels or pitch do not add up.
int bin_sensor(const sensor_mosaic_t& mosaic, uint32_t min_width, uint32_t min_height, binned_picture_t& picture);
