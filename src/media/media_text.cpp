#include "media/media_text.h"

#include <cstdio>
#include <ctime>

namespace {

// 3000-12-31 23:59:59 UTC: the end of the range Windows' 64-bit time conversion accepts.
constexpr int64_t latest_convertible_time = 32535215999;

std::u16string widen_ascii(const char* text) {
    std::u16string out;
    for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

bool to_local_time(std::time_t time, std::tm& out) {
#ifdef _WIN32
    return localtime_s(&out, &time) == 0;
#else
    return localtime_r(&time, &out) != nullptr;
#endif
}

}  // namespace

std::u16string picture_size_text(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return unknown_text;
    char text[32];
    std::snprintf(text, sizeof text, "%dx%d", static_cast<int>(width), static_cast<int>(height));
    return widen_ascii(text);
}

std::u16string taken_time_text(int64_t taken_time) {
    if (taken_time <= 0 || taken_time > latest_convertible_time) return unknown_text;
    std::tm local{};
    if (!to_local_time(static_cast<std::time_t>(taken_time), local)) return unknown_text;
    char text[32];
    if (std::strftime(text, sizeof text, "%Y/%m/%d %H:%M", &local) == 0) return unknown_text;
    return widen_ascii(text);
}

std::string taken_time_iso(int64_t taken_time) {
    if (taken_time <= 0 || taken_time > latest_convertible_time) return {};
    std::tm local{};
    if (!to_local_time(static_cast<std::time_t>(taken_time), local)) return {};
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return {};
    return text;
}
