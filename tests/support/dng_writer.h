// Writes a small, valid DNG (uncompressed 16-bit samples in one strip: linear RGB, or one colour
// a sample behind a Bayer filter) so that the RAW tests have a decodable camera file whose
// colours, camera and time are known.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a test DNG holds: its size, camera, date and pixels.
struct dng_contents_t {
    uint32_t width = 64;
    uint32_t height = 48;
    std::string make = "Tessera";
    std::string model = "Test";
    std::string date_time;  // "YYYY:MM:DD hh:mm:ss", none when empty
    uint16_t orientation = 1;  // TIFF's: 1 as taken, 6 turned a quarter clockwise for viewing
    // The linear RGB of pixel (x, y), each 0 to 65535.
    std::function<void(uint32_t x, uint32_t y, uint16_t rgb[3])> pixel;
    // A camera preview in a second IFD, uncompressed 8-bit RGB of one colour, laid out before
    // the raw samples (which stay the file's last bytes); none when 0 x 0.
    uint32_t preview_width = 0;
    uint32_t preview_height = 0;
    uint8_t preview_rgb[3] = {255, 255, 0};
    uint8_t preview_right_rgb[3] = {255, 255, 0};  // the right half of the preview
    // A sensor behind a red-green / green-blue filter: each sample keeps one colour of `pixel`,
    // scaled between `black_level` and 65535.
    bool is_mosaic = false;
    uint16_t black_level = 0;
};

inline std::string make_linear_dng(const dng_contents_t& contents) {
    struct entry_t {
        uint16_t tag, type;
        uint32_t count;
        std::string data;  // the value's bytes, little-endian
    };
    auto u16 = [](uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    auto u32 = [](uint32_t v) {
        return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    };
    auto text = [](const std::string& s) { return s + '\0'; };
    auto srational = [&](const std::vector<double>& values) {
        std::string out;
        for (double v : values) out += u32(uint32_t(int32_t(v * 10000))) + u32(10000);
        return out;
    };
    std::string pixels;
    for (uint32_t y = 0; y < contents.height; ++y) {
        for (uint32_t x = 0; x < contents.width; ++x) {
            uint16_t rgb[3] = {0, 0, 0};
            if (contents.pixel) contents.pixel(x, y, rgb);
            if (contents.is_mosaic) {
                int colour = (y & 1) + (x & 1);  // 0 red, 1 green, 2 blue
                pixels += u16(uint16_t(contents.black_level + uint32_t(rgb[colour]) * (65535u - contents.black_level) / 65535u));
            } else {
                pixels += u16(rgb[0]) + u16(rgb[1]) + u16(rgb[2]);
            }
        }
    }
    // XYZ to camera: the camera's samples are linear sRGB, so this is the XYZ to sRGB matrix.
    std::vector<double> colour_matrix = {3.2406, -1.5372, -0.4986, -0.9689, 1.8758,
                                         0.0415, 0.0557,  -0.2040, 1.0570};
    uint16_t samples = contents.is_mosaic ? 1 : 3;
    std::vector<entry_t> entries = {
        {254, 4, 1, u32(0)},
        {256, 4, 1, u32(contents.width)},
        {257, 4, 1, u32(contents.height)},
        contents.is_mosaic ? entry_t{258, 3, 1, u16(16)} : entry_t{258, 3, 3, u16(16) + u16(16) + u16(16)},
        {259, 3, 1, u16(1)},
        {262, 3, 1, u16(contents.is_mosaic ? 32803 : 34892)},  // CFA or LinearRaw
        {271, 2, uint32_t(contents.make.size() + 1), text(contents.make)},
        {272, 2, uint32_t(contents.model.size() + 1), text(contents.model)},
        {273, 4, 1, std::string()},  // strip offset, filled below
        {274, 3, 1, u16(contents.orientation)},
        {277, 3, 1, u16(samples)},
        {278, 4, 1, u32(contents.height)},
        {279, 4, 1, u32(uint32_t(pixels.size()))},
        {284, 3, 1, u16(1)},
    };
    if (!contents.date_time.empty()) entries.push_back({306, 2, 20, text(contents.date_time)});
    if (contents.is_mosaic) {
        entries.push_back({33421, 3, 2, u16(2) + u16(2)});
        entries.push_back({33422, 1, 4, std::string{0, 1, 1, 2}});
    }
    std::string unique = contents.make + " " + contents.model;
    entries.push_back({50706, 1, 4, std::string{1, 4, 0, 0}});
    entries.push_back({50708, 2, uint32_t(unique.size() + 1), text(unique)});
    if (contents.black_level) entries.push_back({50714, 3, 1, u16(contents.black_level)});
    entries.push_back({50717, 3, 1, u16(65535)});
    entries.push_back({50721, 10, 9, srational(colour_matrix)});
    entries.push_back({50728, 5, 3, u32(1) + u32(1) + u32(1) + u32(1) + u32(1) + u32(1)});
    entries.push_back({50778, 3, 1, u16(21)});  // D65

    uint32_t ifd_size = uint32_t(2 + entries.size() * 12 + 4);
    uint32_t data_offset = 8 + ifd_size;
    std::string preview_ifd, preview_pixels;
    if (contents.preview_width && contents.preview_height) {
        for (uint32_t i = 0; i < contents.preview_width * contents.preview_height; ++i) {
            bool is_right = i % contents.preview_width >= contents.preview_width / 2;
            const uint8_t* rgb = is_right ? contents.preview_right_rgb : contents.preview_rgb;
            preview_pixels += std::string(reinterpret_cast<const char*>(rgb), 3);
        }
        // Eight entries with the bits per sample inline after the IFD; the offsets are made
        // relative to the IFD's own place below.
        preview_ifd = u16(8) + u16(254) + u16(4) + u32(1) + u32(1) + u16(256) + u16(4) + u32(1) +
                      u32(contents.preview_width) + u16(257) + u16(4) + u32(1) + u32(contents.preview_height) +
                      u16(258) + u16(3) + u32(3) + std::string("BPSO") + u16(259) + u16(3) + u32(1) + u32(1) +
                      u16(262) + u16(3) + u32(1) + u32(2) + u16(273) + u16(4) + u32(1) + std::string("STRP") +
                      u16(277) + u16(3) + u32(1) + u32(3);
        preview_ifd += u16(279) + u16(4) + u32(1) + u32(uint32_t(preview_pixels.size())) + u32(0);
        preview_ifd[0] = 9;  // entry count, with the byte count just added
    }
    std::string ifd = u16(uint16_t(entries.size())), data;
    uint32_t strip_offset = 0;
    // Lay out the out-of-line values, then the strip.
    std::vector<uint32_t> offsets(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].data.size() > 4) {
            if (data.size() % 2) data += '\0';
            offsets[i] = data_offset + uint32_t(data.size());
            data += entries[i].data;
        }
    }
    if (data.size() % 2) data += '\0';
    uint32_t preview_ifd_offset = data_offset + uint32_t(data.size());
    if (!preview_ifd.empty()) {
        uint32_t bps_offset = preview_ifd_offset + uint32_t(preview_ifd.size());
        uint32_t pixels_offset = bps_offset + 6;
        preview_ifd.replace(preview_ifd.find("BPSO"), 4, u32(bps_offset));
        preview_ifd.replace(preview_ifd.find("STRP"), 4, u32(pixels_offset));
        data += preview_ifd + u16(8) + u16(8) + u16(8) + preview_pixels;
        if (data.size() % 2) data += '\0';
    }
    strip_offset = data_offset + uint32_t(data.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const entry_t& e = entries[i];
        ifd += u16(e.tag) + u16(e.type) + u32(e.count);
        if (e.tag == 273) {
            ifd += u32(strip_offset);
        } else if (e.data.size() > 4) {
            ifd += u32(offsets[i]);
        } else {
            ifd += e.data + std::string(4 - e.data.size(), '\0');
        }
    }
    ifd += u32(preview_ifd.empty() ? 0 : preview_ifd_offset);
    return std::string("II*\0", 4) + u32(8) + ifd + data + pixels;
}
