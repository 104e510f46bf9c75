// The user-visible texts: a table from ASCII key to UTF-16 text, filled from the sections of the
// language file, and the language names that the Language menu lists.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Longest line the reader takes at once; longer lines are read as several lines of this length.
constexpr size_t max_language_line_bytes = 2047;

class language_table_c {
public:
    language_table_c();

    // Reads the sections of a whole language file. Texts of `wanted` (a section name compared
    // without case) are added unless their key is present already; the list of names is rebuilt.
    // With `is_primary` the position of the wanted section becomes the current language.
    // Returns 0, or -1 when the text could not be parsed at all (nothing is changed then).
    int load(std::string_view file_bytes, std::u16string_view wanted, bool is_primary);

    std::u16string lookup(std::string_view key) const;
    const std::vector<std::u16string>& names() const { return names_; }
    size_t current_index() const { return current_index_; }
    void set_current_index(size_t index) { current_index_ = index; }
    std::u16string current_name() const;
    const char* current_code() const;
    const char16_t* product_page_address() const;
    void clear();

private:
    std::map<std::string, std::u16string> texts_;
    std::vector<std::u16string> names_;
    size_t current_index_ = 0;
};

// The process-wide table, filled at start-up and only read afterwards.
language_table_c& language_table();

std::u16string lookup_text(std::string_view key);
std::u16string current_language_name();
const char* current_language_code();
// Whether the current language's two-letter code is `code` (pages place some texts by language).
bool is_current_language(const char* code);
const char16_t* product_page_address();

// Splits a file's bytes into the lines the reader sees: CR LF read as LF (text mode), each line
// at most max_language_line_bytes bytes including its line feed.
std::vector<std::string_view> split_language_lines(std::string_view file_bytes, std::string& storage);

// Replaces the two-character escapes \t and \n, in that order, left to right.
std::string expand_text_escapes(std::string_view text);
