#include "engine/work_path.h"

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

char folded(char c) {
    if (c == '/') return '\\';
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_plain_name(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            return false;
    }
    return true;
}

}  // namespace

bool is_path_inside_folder(std::string_view path, std::string_view folder) {
    while (!folder.empty() && is_separator(folder.back())) folder.remove_suffix(1);
    if (folder.empty() || path.size() <= folder.size() + 1) return false;
    for (size_t i = 0; i < folder.size(); ++i)
        if (folded(path[i]) != folded(folder[i])) return false;
    if (!is_separator(path[folder.size()])) return false;
    std::string_view rest = path.substr(folder.size() + 1);
    for (;;) {
        size_t end = 0;
        while (end < rest.size() && !is_separator(rest[end])) ++end;
        if (!is_plain_name(rest.substr(0, end))) return false;
        if (end == rest.size()) return true;
        rest.remove_prefix(end + 1);
    }
}
