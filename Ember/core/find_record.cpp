#include "find_record.h"

#include <cstdio>

namespace ember {
namespace {

bool is_leap(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned days_in_month(unsigned year, unsigned month) {
    static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : days[month - 1];
}

const char* entry_word(find_entry_t entry) {
    switch (entry) {
    case find_entry_t::live: return "live";
    case find_entry_t::deleted: return "deleted";
    case find_entry_t::none: break;
    }
    return "-";
}

const char* end_word(find_end_t end) {
    switch (end) {
    case find_end_t::cut: return "cut";
    case find_end_t::unreadable: return "unreadable";
    case find_end_t::whole: break;
    }
    return "whole";
}

// The path as given, but that a control character (a TAB or a line end would break the line)
// becomes U+FFFD: the file system layer already makes paths so, this keeps the line sound.
void append_field(std::string& line, std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) line += "\xEF\xBF\xBD";
        else line += c;
    }
}

}  // namespace

std::string format_card_time(card_time_t time) {
    if (time.stamp == 0) return {};
    unsigned year = 1980 + (time.stamp >> 25), month = (time.stamp >> 21) & 15, day = (time.stamp >> 16) & 31;
    unsigned hour = (time.stamp >> 11) & 31, minute = (time.stamp >> 5) & 63, second = (time.stamp & 31) * 2;
    // Values past 199 are no time a card writes: the two-second field stands alone then.
    if (time.centiseconds <= 199) second += time.centiseconds / 100;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return {};
    char text[32];
    int n = std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", year, month, day, hour, minute, second);
    if (time.utc_offset & 0x80) {
        // Seven bits, two's complement, in quarter hours.
        int quarters = (time.utc_offset & 0x40) ? int(time.utc_offset & 0x7F) - 128 : int(time.utc_offset & 0x7F);
        unsigned minutes = unsigned(quarters < 0 ? -quarters : quarters) * 15;
        n += std::snprintf(text + n, sizeof text - size_t(n), "%c%02u:%02u", quarters < 0 ? '-' : '+', minutes / 60,
                           minutes % 60);
    }
    return std::string(text, size_t(n));
}

std::string index_line(std::string_view file_name, const find_record_t& record) {
    std::string line;
    line.reserve(96 + record.path.size());
    append_field(line, file_name);
    line += '\t';
    append_field(line, record.path);
    line += '\t';
    line += entry_word(record.entry);
    line += '\t';
    switch (record.assembly) {
    case find_assembly_t::chain: line += "chain"; break;
    case find_assembly_t::contiguous: line += "contiguous"; break;
    case find_assembly_t::joined:
        // A find gathered from one piece is no join.
        line += record.pieces >= 2 ? "joined:" + std::to_string(record.pieces) : std::string("carved");
        break;
    case find_assembly_t::carved: line += "carved"; break;
    }
    line += '\t';
    line += format_card_time(record.modified);
    line += '\t';
    line += format_card_time(record.created);
    line += '\t';
    line += end_word(record.end);
    line += '\n';
    return line;
}

}  // namespace ember
