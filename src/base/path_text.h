// Joining a folder and a name with exactly one backslash between them, whether or not the folder
// already ends in one (the rule of PathAppendW), for narrow and wide paths alike.
#pragma once

#include <string>
#include <string_view>

template <class char_type>
std::basic_string<char_type> append_path_component(std::basic_string_view<char_type> folder,
                                                   std::basic_string_view<char_type> name) {
    const char_type backslash = static_cast<char_type>('\\');
    while (!name.empty() && name.front() == backslash) name.remove_prefix(1);
    std::basic_string<char_type> out(folder);
    if (!out.empty() && out.back() != backslash) out.push_back(backslash);
    out += name;
    return out;
}

inline std::string append_path_component(std::string_view folder, std::string_view name) {
    return append_path_component<char>(folder, name);
}

inline std::u16string append_path_component(std::u16string_view folder, std::u16string_view name) {
    return append_path_component<char16_t>(folder, name);
}
