#include "engine/recovery_names.h"

#include <cstdio>

namespace {

bool is_name_character(char c) {
    if (static_cast<unsigned char>(c) < 32) return false;
    for (char bad : std::string_view("\\/:*?\"<>|"))
        if (c == bad) return false;
    return true;
}

}  // namespace

std::string recovered_file_name(int32_t index, std::string_view ext, uint32_t attempt) {
    char number[32];
    if (attempt <= 1)
        std::snprintf(number, sizeof number, "FILE%05d.", static_cast<int>(index));
    else
        std::snprintf(number, sizeof number, "FILE%05d-%u.", static_cast<int>(index), static_cast<unsigned>(attempt));
    std::string name(number);
    for (char c : ext) name.push_back(is_name_character(c) ? c : '_');
    return name;
}

std::string temporary_file_name(std::string_view final_name, uint32_t attempt) {
    std::string name = "~";
    name += final_name;
    if (attempt > 1) name += "." + std::to_string(attempt);
    name += ".tmp";
    return name;
}
