#include "base/unicode_text.h"

#include <cstdint>

namespace {

constexpr char32_t replacement_character = 0xFFFD;

void append_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

// Length of the sequence a lead byte starts, or 0 for a byte that cannot lead.
int sequence_length(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint8_t lead = static_cast<uint8_t>(text[i]);
        int length = sequence_length(lead);
        if (length == 1) {
            out.push_back(lead);
            ++i;
            continue;
        }
        char32_t c = length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        int taken = 1;
        bool is_valid = length != 0;
        while (is_valid && taken < length) {
            if (i + taken >= text.size()) {
                is_valid = false;
                break;
            }
            uint8_t next = static_cast<uint8_t>(text[i + taken]);
            if ((next & 0xC0) != 0x80) {
                is_valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
            ++taken;
        }
        // Overlong forms, surrogates and values above U+10FFFF are malformed too.
        if (is_valid && ((length == 3 && c < 0x800) || (length == 4 && c < 0x10000) ||
                         (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF))
            is_valid = false;
        append_utf16(out, is_valid ? c : replacement_character);
        i += is_valid ? length : (taken > 0 ? taken : 1);
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = replacement_character;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

char16_t fold_case(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c + 32;
    if (c < 0xC0) return c;
    if (c <= 0xDE && c != 0xD7) return c + 32;                       // Latin-1 capitals
    if (c >= 0x100 && c <= 0x17F) {                                   // Latin Extended-A pairs
        if (c == 0x178) return 0xFF;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        bool is_odd_pair = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        bool is_upper = is_odd_pair ? (c & 1) : !(c & 1);
        return is_upper ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;       // Greek capitals
    if (c >= 0x410 && c <= 0x42F) return c + 32;                      // Cyrillic capitals
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

bool equals_ignoring_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold_case(a[i]) != fold_case(b[i])) return false;
    }
    return true;
}

std::u16string lower_extension(std::u16string_view path) {
    size_t name_start = path.find_last_of(u"/\\");
    name_start = name_start == std::u16string_view::npos ? 0 : name_start + 1;
    size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string_view::npos || dot < name_start) return {};
    std::u16string extension(path.substr(dot));
    for (char16_t& c : extension) c = fold_case(c);
    return extension;
}
