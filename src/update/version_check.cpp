#include "update/version_check.h"

#include "base/language.h"
#include "base/text_format.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Texts shown when language.ini cannot be read or lacks the key.
struct fallback_text_t {
    const char* key;
    const char16_t* text;
};
constexpr fallback_text_t fallback_texts[] = {
    {"update_current", u"You have the latest version of Tessera ({1})."},
    {"update_newer", u"Tessera {1} is available. Open the download page?"},
    {"update_failed", u"Could not check for updates. Please check the internet connection."},
};

std::u16string text_of(const char* key) {
    std::u16string text = lookup_text(key);
    if (!text.empty()) return text;
    for (const fallback_text_t& fallback : fallback_texts)
        if (std::string_view(fallback.key) == key) return fallback.text;
    return text;
}

}  // namespace

bool parse_version_file(std::string_view bytes, program_version_t& version) {
    if (bytes.size() > max_version_file_bytes) return false;
    size_t begin = 0, end = bytes.size();
    while (begin < end && is_blank(bytes[begin])) ++begin;
    while (end > begin && is_blank(bytes[end - 1])) --end;

    program_version_t read;
    size_t count = 0, pos = begin;
    while (pos < end) {
        if (count == 4) return false;
        uint32_t number = 0;
        size_t digits = 0;
        while (pos < end && bytes[pos] >= '0' && bytes[pos] <= '9' && digits < 6) {
            number = number * 10 + static_cast<uint32_t>(bytes[pos] - '0');
            ++pos, ++digits;
        }
        if (digits == 0 || digits > 5 || number > 0xFFFF) return false;
        read.parts[count++] = static_cast<uint16_t>(number);
        if (pos == end) break;
        if (bytes[pos] != '.' || pos + 1 == end) return false;
        ++pos;
    }
    if (count < 2) return false;
    version = read;
    return true;
}

int compare_versions(const program_version_t& a, const program_version_t& b) {
    for (int i = 0; i < 4; ++i)
        if (a.parts[i] != b.parts[i]) return a.parts[i] < b.parts[i] ? -1 : 1;
    return 0;
}

std::u16string version_text(const program_version_t& version) {
    std::u16string text = decimal_text(uint64_t{version.parts[0]});
    int shown = version.parts[3] ? 4 : 3;
    for (int i = 1; i < shown; ++i) text += u"." + decimal_text(uint64_t{version.parts[i]});
    return text;
}

check_outcome_t judge_version_file(bool fetched, std::string_view bytes, const program_version_t& own,
                                   program_version_t& offered) {
    if (!fetched || !parse_version_file(bytes, offered)) return check_outcome_t::failed;
    return compare_versions(offered, own) > 0 ? check_outcome_t::newer : check_outcome_t::up_to_date;
}

std::u16string check_message(check_outcome_t outcome, const program_version_t& own,
                             const program_version_t& offered) {
    switch (outcome) {
    case check_outcome_t::up_to_date:
        return format_text(text_of("update_current"), {version_text(own)});
    case check_outcome_t::newer:
        return format_text(text_of("update_newer"), {version_text(offered)});
    case check_outcome_t::failed:
        break;
    }
    return text_of("update_failed");
}
