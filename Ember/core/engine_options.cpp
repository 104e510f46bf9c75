#include "engine_options.h"

#include <algorithm>
#include <cstdio>

namespace ember {
namespace {

constexpr std::string_view options_head = "fileopt,everything,disable,";
constexpr std::string_view options_tail = "search";
constexpr size_t max_name_length = 16;

bool is_space(char c) { return c == ' ' || c == '\t'; }

// A cursor over the line that fails for good once a step does not match.
class line_cursor_c {
public:
    explicit line_cursor_c(std::string_view line) : line_(line) {}

    bool ok() const { return ok_; }
    bool at_end() {
        skip_spaces();
        return pos_ == line_.size();
    }

    // At least one space (or tab) unless at the end.
    void spaces() {
        if (!ok_ || pos_ >= line_.size() || !is_space(line_[pos_])) ok_ = false;
        skip_spaces();
    }
    // A word up to the next space, or a "quoted" text (quotes removed, none inside).
    std::string word() {
        if (!ok_ || pos_ >= line_.size()) return fail();
        was_quoted_ = line_[pos_] == '"';
        if (was_quoted_) {
            size_t close = line_.find('"', pos_ + 1);
            if (close == std::string_view::npos) return fail();
            std::string text(line_.substr(pos_ + 1, close - pos_ - 1));
            pos_ = close + 1;
            if (pos_ < line_.size() && !is_space(line_[pos_])) return fail();
            return text;
        }
        size_t end = pos_;
        while (end < line_.size() && !is_space(line_[end])) ++end;
        std::string text(line_.substr(pos_, end - pos_));
        pos_ = end;
        if (text.find('"') != std::string::npos) return fail();
        return text;
    }
    bool was_quoted() const { return was_quoted_; }
    void expect(std::string_view literal) {
        if (word() != literal) ok_ = false;
    }

private:
    void skip_spaces() {
        while (pos_ < line_.size() && is_space(line_[pos_])) ++pos_;
    }
    std::string fail() {
        ok_ = false;
        return {};
    }

    std::string_view line_;
    size_t pos_ = 0;
    bool ok_ = true;
    bool was_quoted_ = false;
};

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// "fileopt,everything,disable," then "name,enable," pairs, then "search".
bool parse_search_options(std::string_view text, std::vector<std::string>& names) {
    if (!text.starts_with(options_head) || !text.ends_with(options_tail)) return false;
    if (text.size() < options_head.size() + options_tail.size()) return false;
    std::string_view pairs =
        text.substr(options_head.size(), text.size() - options_head.size() - options_tail.size());
    while (!pairs.empty()) {
        size_t comma = pairs.find(',');
        if (comma == std::string_view::npos || comma == 0 || comma > max_name_length) return false;
        std::string_view name = pairs.substr(0, comma);
        if (!std::all_of(name.begin(), name.end(), is_name_char)) return false;
        pairs.remove_prefix(comma + 1);
        if (!pairs.starts_with("enable,")) return false;
        pairs.remove_prefix(7);
        if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
    }
    return true;
}

}  // namespace

bool parse_engine_command_line(std::string_view line, engine_options_t& options) {
    options = {};
    line_cursor_c cursor(line);
    cursor.word();  // the program, whatever it is called
    cursor.spaces();
    cursor.expect("/d");
    cursor.spaces();
    options.work_dir = cursor.word();
    bool is_work_dir_quoted = cursor.was_quoted();
    cursor.spaces();
    cursor.expect("/cmd");
    cursor.spaces();
    options.source = cursor.word();
    cursor.spaces();
    std::string search = cursor.word();
    if (!cursor.ok() || !cursor.at_end() || !is_work_dir_quoted) return false;
    if (options.work_dir.empty() || options.source.empty()) return false;
    if (options.work_dir.find('\0') != std::string::npos || options.source.find('\0') != std::string::npos)
        return false;
    return parse_search_options(search, options.names);
}

std::string found_file_name(uint64_t start_sector, std::string_view extension) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "f%07llu.", static_cast<unsigned long long>(start_sector));
    return std::string(digits) + std::string(extension);
}

std::string unfinished_file_name(uint64_t start_sector, std::string_view extension) {
    return "." + found_file_name(start_sector, extension);
}

}  // namespace ember
