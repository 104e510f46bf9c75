#include "raw/sensor_bin.h"

#include <algorithm>
#include <cmath>

namespace {

// 16-bit linear levels are counted in steps of 8, as a development's histogram counts them.
constexpr int histogram_size = 0x2000;

// The BT.709 curve (power 0.45, linear slope 4.5 near black), `white` mapped to 255.
void make_gamma_table(int white, std::vector<uint8_t>& table) {
    table.resize(histogram_size);
    for (int i = 0; i < histogram_size; ++i) {
        double r = std::min(1.0, double(i) / white);
        double g = r < 0.018 ? 4.5 * r : 1.099 * std::pow(r, 0.45) - 0.099;
        table[i] = uint8_t(std::lround(std::clamp(g, 0.0, 1.0) * 255));
    }
}

// The level, over all three colours, that only 1 in 100 pixels pass: it becomes white, as a
// development brightens a picture that has no clipped highlights.
int find_white(const std::vector<uint32_t> (&histogram)[3], uint64_t pixels) {
    uint64_t allowed = pixels / 100;
    int white = 32;
    for (const std::vector<uint32_t>& counts : histogram) {
        uint64_t total = 0;
        int level = histogram_size - 1;
        for (; level > 32; --level)
            if ((total += counts[level]) > allowed) break;
        white = std::max(white, level);
    }
    return white;
}

}  // namespace

bool is_bayer_cell(const uint8_t colour[2][2]) {
    int count[3] = {};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            if (colour[y][x] > 2) return false;
            ++count[colour[y][x]];
        }
    return count[0] == 1 && count[1] == 2 && count[2] == 1;
}

int bin_sensor(const sensor_mosaic_t& mosaic, uint32_t min_width, uint32_t min_height, binned_picture_t& picture) {
    picture = binned_picture_t{};
    uint32_t cells_x = mosaic.width / 2, cells_y = mosaic.height / 2;
    if (!mosaic.samples || cells_x == 0 || cells_y == 0 || mosaic.pitch < mosaic.width ||
        !is_bayer_cell(mosaic.colour) || min_width == 0 || min_height == 0)
        return -1;
    float range[2][2];
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            range[y][x] = mosaic.white - mosaic.black[y][x];
            if (!(range[y][x] >= 1) || !(mosaic.black[y][x] >= 0)) return -1;
        }
    uint32_t step = std::max(1u, std::min(cells_x / min_width, cells_y / min_height));
    uint32_t width = cells_x / step, height = cells_y / step;

    // Per colour, what one sample's level above black counts for: the balance scaled so that the
    // weakest channel's full level is 65535, as a development scales it.
    float smallest = std::min({mosaic.balance[0], mosaic.balance[1], mosaic.balance[2]});
    if (!(smallest > 0)) return -1;
    float scale[2][2];
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            scale[y][x] = mosaic.balance[mosaic.colour[y][x]] / smallest * 65535.0f / range[y][x];
    // Each output pixel holds step * step cells: that many red and blue samples, twice as many green.
    float per_colour[3] = {1.0f / float(step * step), 0.5f / float(step * step), 1.0f / float(step * step)};

    std::vector<float> sums(size_t(width) * 3);
    std::vector<uint16_t> levels(size_t(width) * height * 3);
    std::vector<uint32_t> histogram[3] = {std::vector<uint32_t>(histogram_size), std::vector<uint32_t>(histogram_size),
                                          std::vector<uint32_t>(histogram_size)};
    for (uint32_t out_y = 0; out_y < height; ++out_y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (uint32_t y = out_y * step * 2; y < (out_y + 1) * step * 2; ++y) {
            const uint16_t* row = mosaic.samples + size_t(y) * mosaic.pitch;
            const uint8_t* colour = mosaic.colour[y & 1];
            const float* black = mosaic.black[y & 1];
            const float* weight = scale[y & 1];
            for (uint32_t out_x = 0; out_x < width; ++out_x) {
                float cell[2] = {0, 0};
                const uint16_t* sample = row + size_t(out_x) * step * 2;
                for (uint32_t i = 0; i < step; ++i, sample += 2) {
                    cell[0] += std::max(0.0f, float(sample[0]) - black[0]);
                    cell[1] += std::max(0.0f, float(sample[1]) - black[1]);
                }
                sums[out_x * 3 + colour[0]] += cell[0] * weight[0];
                sums[out_x * 3 + colour[1]] += cell[1] * weight[1];
            }
        }
        uint16_t* out = levels.data() + size_t(out_y) * width * 3;
        for (uint32_t out_x = 0; out_x < width; ++out_x) {
            float camera[3];
            for (int c = 0; c < 3; ++c) camera[c] = std::min(65535.0f, sums[out_x * 3 + c] * per_colour[c]);
            for (int c = 0; c < 3; ++c) {
                const float* m = mosaic.to_rgb[c];
                float v = m[0] * camera[0] + m[1] * camera[1] + m[2] * camera[2];
                uint16_t level = uint16_t(std::clamp(v, 0.0f, 65535.0f));
                out[out_x * 3 + c] = level;
                ++histogram[c][level >> 3];
            }
        }
    }
    std::vector<uint8_t> gamma;
    make_gamma_table(find_white(histogram, uint64_t(width) * height), gamma);
    picture.width = width;
    picture.height = height;
    picture.bgr.resize(levels.size());
    for (size_t i = 0; i < levels.size(); i += 3) {
        picture.bgr[i + 0] = gamma[levels[i + 2] >> 3];
        picture.bgr[i + 1] = gamma[levels[i + 1] >> 3];
        picture.bgr[i + 2] = gamma[levels[i + 0] >> 3];
    }
    return 0;
}
