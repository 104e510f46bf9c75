#include "engine/saved_name.h"

#include <cstdio>

#include "base/unicode_text.h"

namespace {

bool is_forbidden(char16_t c) {
    if (c < 0x20 || c == 0x7F) return true;
    for (char16_t bad : std::u16string_view(u"<>:\"/\\|?*"))
        if (c == bad) return true;
    return false;
}

bool is_ascii_digit(char16_t c) { return c >= u'1' && c <= u'9'; }

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices whatever extension follows and
// whatever spaces end them.
bool is_device_name(std::u16string_view name) {
    size_t dot = name.find(u'.');
    std::u16string_view stem = name.substr(0, dot);
    while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
    for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL"})
        if (equals_ignoring_case(stem, device)) return true;
    if (stem.size() == 4 && is_ascii_digit(stem[3]))
        for (std::u16string_view device : {u"COM", u"LPT"})
            if (equals_ignoring_case(stem.substr(0, 3), device)) return true;
    return false;
}

// Extensions that name one format, so that "IMG_0001.JPEG" keeps its own for a jpg find.
bool is_same_format(std::u16string_view a, std::u16string_view b) {
    if (equals_ignoring_case(a, b)) return true;
    static const std::u16string_view families[][3] = {
        {u"jpg", u"jpeg", u"jpe"}, {u"tif", u"tiff", u""}, {u"mpg", u"mpeg", u""}, {u"aif", u"aiff", u""}};
    for (const auto& family : families) {
        bool has_a = false, has_b = false;
        for (std::u16string_view member : family) {
            if (member.empty()) continue;
            has_a = has_a || equals_ignoring_case(a, member);
            has_b = has_b || equals_ignoring_case(b, member);
        }
        if (has_a && has_b) return true;
    }
    return false;
}

bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void trim_trailing_dots_and_spaces(std::u16string& text) {
    while (!text.empty() && (text.back() == u'.' || text.back() == u' ')) text.pop_back();
}

std::u16string widen(std::string_view ascii) {
    std::u16string out;
    for (char c : ascii) out.push_back(is_forbidden(static_cast<unsigned char>(c)) ? u'_' : static_cast<unsigned char>(c));
    return out;
}

}  // namespace

std::u16string safe_card_name(std::u16string_view card_path, std::string_view find_ext, size_t max_units,
                              bool& is_changed) {
    is_changed = false;
    size_t separator = card_path.find_last_of(u"\\/");
    std::u16string_view last = separator == std::u16string_view::npos ? card_path : card_path.substr(separator + 1);
    std::u16string name;
    for (char16_t c : last) name.push_back(is_forbidden(c) ? u'_' : c);
    trim_trailing_dots_and_spaces(name);
    if (name.empty()) return {};

    std::u16string stem = name, ext;
    size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0) {
        stem = name.substr(0, dot);
        ext = name.substr(dot + 1);
    }
    trim_trailing_dots_and_spaces(stem);
    std::u16string wanted_ext = widen(find_ext);
    if (!wanted_ext.empty() && !is_same_format(ext, wanted_ext)) ext = wanted_ext;
    if (stem.empty()) return {};
    if (is_device_name(stem + u"." + ext)) stem.insert(stem.begin(), u'_');

    if (max_units > max_name_units) max_units = max_name_units;
    size_t ext_units = ext.empty() ? 0 : ext.size() + 1;
    // A name cut to almost nothing says nothing; the numbered name is better then.
    constexpr size_t min_stem_units = 4;
    if (stem.size() + ext_units > max_units) {
        if (max_units < ext_units + min_stem_units) return {};
        size_t keep = max_units - ext_units;
        if (is_low_surrogate(stem[keep])) --keep;  // never split a surrogate pair
        stem.resize(keep);
        trim_trailing_dots_and_spaces(stem);
        if (stem.empty()) return {};
    }
    std::u16string safe = ext.empty() ? stem : stem + u"." + ext;
    is_changed = safe != last;
    return safe;
}

std::u16string saved_file_name(std::string_view card_path_utf8, std::string_view find_ext, int32_t index,
                               size_t folder_units) {
    size_t used = folder_units + 1 + name_attempt_reserve;
    size_t room = used < max_recovered_path_units ? max_recovered_path_units - used : 0;
    if (!card_path_utf8.empty()) {
        bool is_changed = false;
        std::u16string safe = safe_card_name(utf8_to_utf16(card_path_utf8), find_ext, room, is_changed);
        if (!safe.empty()) return safe;
    }
    char number[32];
    std::snprintf(number, sizeof number, "FILE%05d", static_cast<int>(index));
    std::u16string name = widen(number);
    if (!find_ext.empty()) name += u"." + widen(find_ext);
    return name;
}
