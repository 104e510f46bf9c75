#include "base/language_line.h"

#include <vector>

namespace {

// \s of the expressions in the "C" locale, and the characters that '.' does not match.
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_line_break(char c) { return c == '\n' || c == '\r'; }

// The header: optional spaces, '[', a name without line breaks, the last ']', optional spaces.
bool match_section(std::string_view line, language_line_t& out) {
    size_t n = line.size();
    size_t open = 0;
    while (open < n && is_space(line[open])) ++open;
    out.steps += open + 1;
    if (open == n || line[open] != '[') return false;
    size_t close = line.rfind(']');
    if (close == std::string_view::npos || close <= open) return false;
    out.steps += n - open;
    for (size_t i = close + 1; i < n; ++i)
        if (!is_space(line[i])) return false;
    for (size_t i = open + 1; i < close; ++i)
        if (is_line_break(line[i])) return false;
    out.name = line.substr(open + 1, close - open - 1);
    return true;
}

// The entry, with the backtracking matcher's choices made directly. The leading spaces give way
// one at a time (longest first) until the key's first character is not ';'; for each such start
// the key is the longest run of non-break characters after which the rest reads: spaces, '=',
// spaces, '"', a text without breaks, the line's last '"', spaces. What follows the key is fixed
// once the key's end is, so one pass from each end of the line answers every start at once.
bool match_entry(std::string_view line, language_line_t& out) {
    const size_t n = line.size();
    size_t last_quote = line.rfind('"');
    if (last_quote == std::string_view::npos) return false;
    for (size_t i = last_quote + 1; i < n; ++i)
        if (!is_space(line[i])) return false;
    // The text may not hold a break: its opening quote lies after the last break before the end.
    size_t after_break = 0;
    for (size_t i = 0; i < last_quote; ++i)
        if (is_line_break(line[i])) after_break = i + 1;
    out.steps += n;
    // next_solid[i]: the first non-space at or after i; next_break[i]: the first break.
    std::vector<size_t> next_solid(n + 1, n), next_break(n + 1, n);
    for (size_t i = n; i-- > 0;) {
        next_solid[i] = is_space(line[i]) ? next_solid[i + 1] : i;
        next_break[i] = is_line_break(line[i]) ? i : next_break[i + 1];
    }
    // best_end[e]: the largest key end at most e whose rest of the line reads as the entry's tail.
    std::vector<size_t> best_end(n + 1, 0);
    for (size_t e = 1; e <= n; ++e) {
        best_end[e] = best_end[e - 1];
        size_t equals = next_solid[e];
        if (equals >= n || line[equals] != '=') continue;
        size_t quote = next_solid[equals + 1];
        if (quote < n && line[quote] == '"' && quote >= after_break && quote + 2 <= last_quote)
            best_end[e] = e;
    }
    out.steps += 3 * n;
    size_t start = next_solid[0] < n ? next_solid[0] : n - 1;
    for (size_t w = start + 1; w-- > 0;) {
        ++out.steps;
        if (line[w] == ';') continue;
        size_t end = best_end[next_break[w + 1]];
        if (end < w + 1) continue;
        size_t quote = next_solid[next_solid[end] + 1];
        out.key = line.substr(w, end - w);
        out.text = line.substr(quote + 1, last_quote - quote - 1);
        return true;
    }
    return false;
}

}  // namespace

language_line_t match_language_line(std::string_view line, bool want_entry) {
    language_line_t out;
    if (match_section(line, out)) {
        out.kind = language_line_kind_t::section;
    } else if (want_entry && !line.empty() && match_entry(line, out)) {
        out.kind = language_line_kind_t::entry;
    }
    return out;
}
