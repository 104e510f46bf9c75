// Wall-clock times as cameras and cards store them (no time zone) and their conversion to UTC
// with the system's time zone rules.
#pragma once

#include <cstdint>

// Seconds since 1970-01-01 of a calendar date and time, read as if it were UTC.
int64_t civil_seconds(int year, int month, int day, int hour, int minute, int second);

// Exif's "YYYY:MM:DD HH:MM:SS" as wall-clock seconds (civil_seconds); 0 when malformed, all
// zeros (the cameras' "unset") or before 1970.
int64_t parse_exif_clock(const char* text);

// The UTC moment at which the local clock showed `clock_seconds` (civil_seconds of the local
// date and time), daylight saving time as the system's rules give it; 0 when the platform
// cannot convert it or for 0.
int64_t local_clock_to_utc(int64_t clock_seconds);
