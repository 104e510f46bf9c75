#include "base/text_format.h"

std::u16string format_text(std::u16string_view pattern,
                           std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    out.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        bool is_placeholder = pattern[i] == u'{' && i + 2 < pattern.size() &&
                              pattern[i + 1] >= u'1' && pattern[i + 1] <= u'9' &&
                              pattern[i + 2] == u'}';
        size_t index = is_placeholder ? static_cast<size_t>(pattern[i + 1] - u'1') : 0;
        if (is_placeholder && index < args.size()) {
            out += *(args.begin() + index);
            i += 2;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

std::u16string decimal_text(uint64_t value) {
    char16_t digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::u16string out;
    while (n > 0) out.push_back(digits[--n]);
    return out;
}

std::u16string decimal_text(int64_t value) {
    if (value >= 0) return decimal_text(static_cast<uint64_t>(value));
    // Negate in unsigned arithmetic so that the smallest value does not overflow.
    return u"-" + decimal_text(0 - static_cast<uint64_t>(value));
}
