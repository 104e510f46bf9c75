// The info panel's text forms of a found file's size and time; "Unknown" is fixed English.
#pragma once

#include <cstdint>
#include <string>

inline constexpr char16_t unknown_text[] = u"Unknown";

// "%dx%d", width first; Unknown when either is 0 (or negative, which no decoder gives).
std::u16string picture_size_text(int32_t width, int32_t height);

// Local time as "%Y/%m/%d %H:%M"; Unknown for 0, a negative time, one past the year 3000 or one
// the platform cannot convert.
std::u16string taken_time_text(int64_t taken_time);
// Local time as "%Y-%m-%d %H:%M:%S" for lists that machines read too; empty where
// taken_time_text says Unknown.
std::string taken_time_iso(int64_t taken_time);
