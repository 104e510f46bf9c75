#include "picture/png_text.h"

#include <cstring>

#include "formats/image/crc32.h"

namespace {

constexpr uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t chunk_frame_bytes = 12;  // length, type, checksum
constexpr size_t ihdr_end = sizeof(png_signature) + chunk_frame_bytes + 13;

uint32_t read_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void append_be32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

bool is_png_start(const uint8_t* png, size_t size) {
    return size >= ihdr_end && std::memcmp(png, png_signature, sizeof(png_signature)) == 0 &&
           read_be32(png + 8) == 13 && std::memcmp(png + 12, "IHDR", 4) == 0;
}

bool is_allowed_keyword(const std::string& keyword) {
    if (keyword.empty() || keyword.size() > 79 || keyword.front() == ' ' || keyword.back() == ' ') return false;
    for (unsigned char c : keyword)
        if (c < 32 || (c > 126 && c < 161)) return false;
    return true;
}

}  // namespace

bool add_png_text(std::vector<uint8_t>& png, const std::string& keyword, const std::string& text) {
    if (!is_png_start(png.data(), png.size()) || !is_allowed_keyword(keyword)) return false;
    std::vector<uint8_t> chunk;
    append_be32(chunk, uint32_t(keyword.size() + 1 + text.size()));
    chunk.insert(chunk.end(), {'t', 'E', 'X', 't'});
    chunk.insert(chunk.end(), keyword.begin(), keyword.end());
    chunk.push_back(0);
    chunk.insert(chunk.end(), text.begin(), text.end());
    append_be32(chunk, ember::crc32_update(0, chunk.data() + 4, chunk.size() - 4));
    png.insert(png.begin() + ihdr_end, chunk.begin(), chunk.end());
    return true;
}

bool find_png_text(const uint8_t* png, size_t size, const std::string& keyword, std::string& text, size_t max_text) {
    if (!is_png_start(png, size)) return false;
    size_t at = sizeof(png_signature);
    while (size - at >= chunk_frame_bytes) {
        size_t length = read_be32(png + at);
        const uint8_t* type = png + at + 4;
        if (length > size - at - chunk_frame_bytes) return false;
        // The text chunks a thumbnail carries come before its pixels.
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return false;
        const uint8_t* data = type + 4;
        if (std::memcmp(type, "tEXt", 4) == 0 && length > keyword.size() && data[keyword.size()] == 0 &&
            std::memcmp(data, keyword.data(), keyword.size()) == 0) {
            if (ember::crc32_update(0, type, length + 4) != read_be32(data + length)) return false;
            size_t text_size = length - keyword.size() - 1;
            if (text_size > max_text) return false;
            text.assign(reinterpret_cast<const char*>(data + keyword.size() + 1), text_size);
            return true;
        }
        at += chunk_frame_bytes + length;
    }
    return false;
}
