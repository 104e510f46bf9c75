#include "entry_name.h"

#include "core/byte_order.h"

namespace ember::fs {
namespace {

constexpr char32_t replacement = 0xFFFD;
constexpr uint8_t case_lower_base = 0x08, case_lower_extension = 0x10;

void append_utf8(char32_t c, std::string& out) {
    if (c < 0x20 || c == '\\' || c == '/' || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = replacement;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void append_short_part(const uint8_t* bytes, size_t size, bool is_lower, std::string& out) {
    while (size > 0 && bytes[size - 1] == ' ') --size;
    for (size_t i = 0; i < size; ++i) {
        uint8_t c = bytes[i];
        if (is_lower && c >= 'A' && c <= 'Z') c = uint8_t(c + 32);
        append_utf8(c < 0x80 ? char32_t(c) : replacement, out);
    }
}

}  // namespace

void append_utf16_name(const uint8_t* units, size_t count, std::string& out) {
    for (size_t i = 0; i < count; ++i) {
        char32_t c = load_le16(units + 2 * i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count) {
            char32_t low = load_le16(units + 2 * i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        append_utf8(c, out);  // a lone surrogate becomes U+FFFD there
    }
}

void append_short_name(const uint8_t* e, bool is_deleted, std::string& out) {
    uint8_t name[8];
    for (int i = 0; i < 8; ++i) name[i] = e[i];
    // 0x05 stands for a first byte of 0xE5, which marks deleted entries.
    if (name[0] == 0x05) name[0] = 0xE5;
    if (is_deleted) name[0] = '_';
    append_short_part(name, 8, (e[12] & case_lower_base) != 0, out);
    size_t extension = 3;
    while (extension > 0 && e[8 + extension - 1] == ' ') --extension;
    if (extension == 0) return;
    out += '.';
    append_short_part(e + 8, extension, (e[12] & case_lower_extension) != 0, out);
}

uint8_t short_name_checksum(const uint8_t* name11) {
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = uint8_t(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
}

}  // namespace ember::fs
