#include "engine/work_file_names.h"

#include <cstddef>

#include "base/unicode_text.h"
#include "base/find_index.h"

namespace {

// A start sector has at least 7 digits and fits in 64 bits (20 digits); the engine's extensions
// are short ASCII words such as jpg, m2ts or webm.
constexpr size_t min_sector_digits = 7, max_sector_digits = 20;
constexpr size_t max_extension_chars = 8;

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool is_extension_char(char16_t c) {
    return is_digit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// "f" + digits: the name of a find without its extension.
bool is_find_stem(std::u16string_view stem) {
    if (stem.size() < 1 + min_sector_digits || stem.size() > 1 + max_sector_digits || stem[0] != u'f')
        return false;
    for (char16_t c : stem.substr(1))
        if (!is_digit(c)) return false;
    return true;
}

bool is_extension(std::u16string_view extension) {
    if (extension.empty() || extension.size() > max_extension_chars) return false;
    for (char16_t c : extension)
        if (!is_extension_char(c)) return false;
    return true;
}

bool is_find_name(std::u16string_view name) {
    size_t dot = name.find(u'.');
    return dot != std::u16string_view::npos && is_find_stem(name.substr(0, dot)) &&
           is_extension(name.substr(dot + 1));
}

bool is_thumbnail_name(std::u16string_view name) {
    constexpr std::u16string_view prefix = u"thumb_", suffix = u".png";
    if (name.size() <= prefix.size() + suffix.size()) return false;
    if (name.substr(0, prefix.size()) != prefix || name.substr(name.size() - suffix.size()) != suffix)
        return false;
    return is_find_stem(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

// The engine's summary file, or the temporary name it is written under before its rename; or
// the engine's index of its finds.
bool is_summary_name(std::u16string_view name) {
    if (name == u".ember_index") return true;
    constexpr std::u16string_view summary = u".ember_summary";
    if (name.substr(0, summary.size()) != summary) return false;
    return name.size() == summary.size() ||
           (name[summary.size()] == u'.' && is_extension(name.substr(summary.size() + 1)));
}

constexpr std::u16string_view set_aside_prefix = u"~tmp.";

}  // namespace

std::u16string set_aside_name(uint64_t number) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
        number /= 10;
    } while (number != 0);
    return std::u16string(set_aside_prefix) + digits;
}

bool is_set_aside_name(std::u16string_view name) {
    if (name.substr(0, set_aside_prefix.size()) != set_aside_prefix) return false;
    std::u16string_view digits = name.substr(set_aside_prefix.size());
    if (digits.empty() || digits.size() > max_sector_digits) return false;
    for (char16_t c : digits)
        if (!is_digit(c)) return false;
    return true;
}

bool is_work_folder_name(std::u16string_view name) {
    constexpr std::u16string_view work = u"tmp";
    if (name.size() < work.size() || !equals_ignoring_case(name.substr(0, work.size()), work)) return false;
    return name.size() == work.size() || name[work.size()] == u'.';
}

bool is_work_file_name(std::u16string_view name) {
    // The engine writes a find under its name with a dot in front and drops the dot once the
    // file is complete, so a killed run leaves such a name behind.
    if (is_summary_name(name) || name == find_index_name) return true;
    if (!name.empty() && name[0] == u'.') return is_find_name(name.substr(1));
    return is_find_name(name) || is_thumbnail_name(name);
}
