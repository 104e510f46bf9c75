// What one line of the language file is: a section header, an entry, or neither. The grammar is
// that of two whole-line ECMAScript expressions, a header "^\s*\[(.*)\]\s*$" and an entry
// "^\s*([^;].*)\s*=\s*"(.+)"\s*$", matched here by hand in time linear in the line's length
// (a backtracking matcher takes cubic time on long runs of spaces).
#pragma once

#include <cstddef>
#include <string_view>

enum class language_line_kind_t { other, section, entry };

struct language_line_t {
    language_line_kind_t kind = language_line_kind_t::other;
    std::string_view name;  // a header's name: from the first '[' to the last ']'
    std::string_view key;   // an entry's key and text, as the expression's two groups give them
    std::string_view text;
    size_t steps = 0;       // bytes visited, summed over the matcher's passes
};

// Matches `line` as a header first and, when `want_entry` is set, as an entry second.
language_line_t match_language_line(std::string_view line, bool want_entry);
