#include "engine/recovery_names.h"

namespace {

std::u16string decimal(uint32_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), char16_t(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

}  // namespace

std::u16string numbered_name(std::u16string_view name, uint32_t attempt) {
    if (attempt <= 1) return std::u16string(name);
    size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) dot = name.size();
    std::u16string out(name.substr(0, dot));
    out += u"-" + decimal(attempt);
    out += name.substr(dot);
    return out;
}

std::u16string temporary_file_name(std::u16string_view final_name, uint32_t attempt) {
    std::u16string name = u"~";
    name += final_name;
    if (attempt > 1) name += u"." + decimal(attempt);
    name += u".tmp";
    return name;
}
