#include "base/find_index.h"

#include "base/clock_time.h"

namespace {

constexpr size_t max_original_path_bytes = 1024;
constexpr uint32_t max_pieces = 1u << 20;

bool read_number(std::string_view text, size_t at, size_t digits, int& value) {
    if (at + digits > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : days[month - 1];
}

bool parse_assembly(std::string_view text, find_origin_t& origin) {
    if (text == "chain") origin.assembly = assembly_t::chain;
    else if (text == "contiguous") origin.assembly = assembly_t::contiguous;
    else if (text == "carved") origin.assembly = assembly_t::carved;
    else if (text.substr(0, 7) == "joined:") {
        std::string_view count = text.substr(7);
        if (count.empty() || count.size() > 7) return false;
        uint32_t n = 0;
        for (char c : count) {
            if (c < '0' || c > '9') return false;
            n = n * 10 + uint32_t(c - '0');
        }
        if (n < 2 || n > max_pieces) return false;
        origin.assembly = assembly_t::joined;
        origin.pieces = n;
    } else {
        return false;
    }
    return true;
}

}  // namespace

int64_t card_time_to_utc(const card_time_t& time) {
    if (time.clock_seconds <= 0) return 0;
    if (time.has_offset) return time.clock_seconds - int64_t(time.offset_minutes) * 60;
    return local_clock_to_utc(time.clock_seconds);
}

bool parse_card_time(std::string_view text, card_time_t& time) {
    time = {};
    if (text.size() != 19 && text.size() != 25) return false;
    int year, month, day, hour, minute, second;
    if (!read_number(text, 0, 4, year) || text[4] != '-' || !read_number(text, 5, 2, month) || text[7] != '-' ||
        !read_number(text, 8, 2, day) || text[10] != ' ' || !read_number(text, 11, 2, hour) || text[13] != ':' ||
        !read_number(text, 14, 2, minute) || text[16] != ':' || !read_number(text, 17, 2, second))
        return false;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    if (text.size() == 25) {
        int offset_hours, offset_minutes;
        if ((text[19] != '+' && text[19] != '-') || !read_number(text, 20, 2, offset_hours) || text[22] != ':' ||
            !read_number(text, 23, 2, offset_minutes) || offset_hours > 14 || offset_minutes > 59)
            return false;
        time.has_offset = true;
        time.offset_minutes = (offset_hours * 60 + offset_minutes) * (text[19] == '-' ? -1 : 1);
    }
    time.clock_seconds = civil_seconds(year, month, day, hour, minute, second);
    return true;
}

bool parse_find_index_line(std::string_view line, std::string& name, find_origin_t& origin) {
    origin = {};
    name.clear();
    if (line.empty() || line[0] == '#' || line.size() >= max_index_line_bytes) return false;
    std::string_view fields[index_fields];
    size_t count = 0, start = 0;
    while (count < index_fields) {
        size_t tab = line.find('\t', start);
        fields[count++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (count < index_fields) return false;
    std::string_view file = fields[0], path = fields[1], state = fields[2];
    if (file.empty() || file.find_first_of("\\/") != std::string_view::npos || path.size() > max_original_path_bytes)
        return false;
    if (state == "live") origin.state = entry_state_t::live;
    else if (state == "deleted") origin.state = entry_state_t::deleted;
    else if (state != "-") return false;
    if (!parse_assembly(fields[3], origin)) return false;
    // A time the card gave but the index could not hold is dropped, not the line.
    if (!fields[4].empty()) parse_card_time(fields[4], origin.modified);
    if (!fields[5].empty()) parse_card_time(fields[5], origin.created);
    std::string_view end = fields[6];
    // Fields past the seventh belong to later writers.
    if (end.size() > 0 && end.back() == '\r') end.remove_suffix(1);
    if (end == "whole") origin.completeness = completeness_t::whole;
    else if (end == "cut") origin.completeness = completeness_t::cut;
    else if (end == "unreadable") origin.completeness = completeness_t::unreadable;
    else return false;
    name.assign(file);
    origin.path.assign(path);
    origin.is_known = true;
    return true;
}
