#include "base/clock_time.h"

#include <ctime>

namespace {

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : days[month - 1];
}

bool read_digits(const char* text, int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// 3000-12-31 23:59:59: the end of the range the platform's 64-bit time conversion accepts.
constexpr int64_t latest_convertible_time = 32535215999;

}  // namespace

int64_t civil_seconds(int year, int month, int day, int hour, int minute, int second) {
    // Days from 1970-01-01 of a proleptic Gregorian date, counted in 400-year eras from March.
    int64_t y = int64_t(year) - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t year_of_era = y - era * 400;
    int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    int64_t days = era * 146097 + day_of_era - 719468;
    return days * 86400 + int64_t(hour) * 3600 + int64_t(minute) * 60 + second;
}

int64_t parse_exif_clock(const char* text) {
    if (!text) return 0;
    int year, month, day, hour, minute, second;
    if (!read_digits(text, 4, year) || text[4] != ':' || !read_digits(text + 5, 2, month) || text[7] != ':' ||
        !read_digits(text + 8, 2, day) || text[10] != ' ' || !read_digits(text + 11, 2, hour) ||
        text[13] != ':' || !read_digits(text + 14, 2, minute) || text[16] != ':' ||
        !read_digits(text + 17, 2, second))
        return 0;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 ||
        minute > 59 || second > 60)
        return 0;
    return civil_seconds(year, month, day, hour, minute, second);
}

int64_t local_clock_to_utc(int64_t clock_seconds) {
    if (clock_seconds <= 0 || clock_seconds > latest_convertible_time) return 0;
    std::time_t as_utc = static_cast<std::time_t>(clock_seconds);
    std::tm fields{};
#ifdef _WIN32
    if (gmtime_s(&fields, &as_utc) != 0) return 0;
#else
    if (!gmtime_r(&as_utc, &fields)) return 0;
#endif
    fields.tm_isdst = -1;  // the rules decide whether daylight saving time held then
    std::time_t utc = std::mktime(&fields);
    return utc == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(utc);
}
