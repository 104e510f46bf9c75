// Builds the Exif block of a camera JPEG around a preview (IFD0 with one entry, IFD1 naming the
// preview by offset and length) and lays it into a JPEG after its start marker, so that tests
// have camera-like files without a camera.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace exif_preview {

inline void put16(std::string& b, uint32_t v, bool big) {
    char bytes[2] = {char(v >> 8), char(v)};
    if (!big) std::swap(bytes[0], bytes[1]);
    b.append(bytes, 2);
}
inline void put32(std::string& b, uint32_t v, bool big) {
    put16(b, big ? v >> 16 : v & 0xFFFF, big);
    put16(b, big ? v & 0xFFFF : v >> 16, big);
}
inline void entry(std::string& b, bool big, uint16_t tag, uint16_t type, uint32_t value) {
    put16(b, tag, big);
    put16(b, type, big);
    put32(b, 1, big);
    if (type == 3) {
        put16(b, value, big);
        put16(b, 0, big);
    } else {
        put32(b, value, big);
    }
}

// The APP1 body: "Exif\0\0" and a TIFF structure whose IFD1 says the preview lies right after
// it and is `claimed_length` bytes long (which may claim more than follows).
inline std::string block(bool big, const std::string& preview, uint32_t claimed_length) {
    std::string tiff = big ? "MM" : "II";
    put16(tiff, 42, big);
    put32(tiff, 8, big);  // IFD0 right after the header
    put16(tiff, 1, big);
    entry(tiff, big, 0x0112, 3, 1);  // orientation
    put32(tiff, 26, big);            // IFD1 follows
    put16(tiff, 3, big);
    entry(tiff, big, 0x0103, 3, 6);  // compression: JPEG
    entry(tiff, big, 0x0201, 4, 68);
    entry(tiff, big, 0x0202, 4, claimed_length);
    put32(tiff, 0, big);
    return std::string("Exif\0\0", 6) + tiff + preview;
}

// The APP1 body of a camera's Exif block without a preview: Make and Model in IFD0, and
// DateTimeOriginal ("YYYY:MM:DD HH:MM:SS") in the Exif IFD that IFD0 points to.
inline std::string camera_block(bool big, const std::string& make, const std::string& model, const std::string& taken) {
    std::string tiff = big ? "MM" : "II";
    put16(tiff, 42, big);
    put32(tiff, 8, big);
    const uint32_t ifd0_size = 2 + 3 * 12 + 4, exif_size = 2 + 12 + 4;
    uint32_t data = 8 + ifd0_size + exif_size;  // the strings follow both IFDs
    std::string strings;
    auto ascii = [&](uint16_t tag, const std::string& text) {
        put16(tiff, tag, big);
        put16(tiff, 2, big);
        put32(tiff, uint32_t(text.size() + 1), big);
        if (text.size() + 1 <= 4) {  // stands in the entry itself
            tiff += text;
            tiff.append(4 - text.size(), '\0');
            return;
        }
        put32(tiff, data + uint32_t(strings.size()), big);
        strings += text;
        strings.push_back('\0');
    };
    put16(tiff, 3, big);
    ascii(0x010F, make);
    ascii(0x0110, model);
    entry(tiff, big, 0x8769, 4, 8 + ifd0_size);
    put32(tiff, 0, big);
    put16(tiff, 1, big);
    ascii(0x9003, taken);
    put32(tiff, 0, big);
    return std::string("Exif\0\0", 6) + tiff + strings;
}

// `jpeg` with an APP1 segment holding `body` right after its start-of-image marker.
inline std::string with_app1(const std::string& jpeg, const std::string& body) {
    std::string segment = "\xFF\xE1";
    put16(segment, uint32_t(body.size() + 2), true);
    return jpeg.substr(0, 2) + segment + body + jpeg.substr(2);
}

}  // namespace exif_preview
