#include "base/settings.h"

settings_t settings;

std::u16string cut_to_capacity(std::u16string text, size_t capacity) {
    if (capacity > 0 && text.size() > capacity - 1) text.resize(capacity - 1);
    return text;
}

std::u16string installer_language_name(uint32_t index) {
    static const char16_t* const names[] = {
        u"English",  u"Deutsch",  u"Español",  u"Français",   u"Italiano", u"日本語",
        u"简体中文", u"繁體中文", u"Nederlands", u"Português", u"العربية",
    };
    if (index < 1 || index > sizeof names / sizeof names[0]) return {};
    return names[index - 1];
}

bool take_string_value(uint32_t type, const uint8_t* bytes, size_t byte_count, std::u16string& out) {
    if (type != value_type_string && type != value_type_expandable_string) return false;
    if (byte_count % 2 != 0) return false;
    if (byte_count == 0) {
        out.clear();
        return true;
    }
    if (bytes[byte_count - 1] != 0 || bytes[byte_count - 2] != 0) return false;
    std::u16string text;
    for (size_t i = 0; i + 1 < byte_count; i += 2) {
        char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    out = std::move(text);
    return true;
}
