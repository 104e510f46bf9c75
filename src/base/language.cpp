#include "base/language.h"

#include <cstring>

#include "base/language_line.h"
#include "base/unicode_text.h"
#include "version.h"

namespace {

struct language_code_t {
    const char16_t* name;
    const char* code;
};

const language_code_t language_codes[] = {
    {u"Deutsch", "de"},   {u"Français", "fr"},   {u"Español", "es"},  {u"简体中文", "cn"},
    {u"繁體中文", "hk"},  {u"Italiano", "it"},   {u"日本語", "jp"},   {u"Português", "pt"},
    {u"Nederlands", "nl"}, {u"العربية", "ar"},
};

struct page_address_t {
    const char16_t* name;
    const char16_t* address;
};

// The site's pages in the languages it has, below the address set at build time.
const page_address_t product_pages[] = {
    {u"Deutsch", u"" TESSERA_WEB_ADDRESS "de/"},
    {u"Français", u"" TESSERA_WEB_ADDRESS "fr/"},
    {u"Español", u"" TESSERA_WEB_ADDRESS "es/"},
    {u"简体中文", u"" TESSERA_WEB_ADDRESS "zh-cn/"},
    {u"繁體中文", u"" TESSERA_WEB_ADDRESS "zh-tw/"},
    {u"Italiano", u"" TESSERA_WEB_ADDRESS "it/"},
    {u"日本語", u"" TESSERA_WEB_ADDRESS "ja/"},
};
const char16_t* const default_product_page = u"" TESSERA_WEB_ADDRESS;

std::string replace_all(std::string text, std::string_view from, char to) {
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), 1, to);
        at += 1;
    }
    return text;
}

}  // namespace

language_table_c::language_table_c() = default;

std::vector<std::string_view> split_language_lines(std::string_view file_bytes,
                                                   std::string& storage) {
    storage.clear();
    storage.reserve(file_bytes.size());
    for (size_t i = 0; i < file_bytes.size(); ++i) {
        if (file_bytes[i] == '\r' && i + 1 < file_bytes.size() && file_bytes[i + 1] == '\n')
            continue;
        storage.push_back(file_bytes[i]);
    }
    std::vector<std::string_view> lines;
    std::string_view rest(storage);
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        if (length > max_language_line_bytes) length = max_language_line_bytes;
        lines.push_back(rest.substr(0, length));
        rest.remove_prefix(length);
    }
    return lines;
}

std::string expand_text_escapes(std::string_view text) {
    return replace_all(replace_all(std::string(text), "\\t", '\t'), "\\n", '\n');
}

int language_table_c::load(std::string_view file_bytes, std::u16string_view wanted,
                           bool is_primary) {
    std::string storage;
    std::vector<std::string_view> lines;
    try {
        lines = split_language_lines(file_bytes, storage);
    } catch (const std::exception&) {
        return -1;
    }
    names_.clear();
    bool is_in_section = false;
    for (std::string_view line : lines) {
        language_line_t match = match_language_line(line, is_in_section);
        if (match.kind == language_line_kind_t::section) {
            names_.push_back(utf8_to_utf16(match.name));
            if (is_in_section) {
                is_in_section = false;
            } else if (equals_ignoring_case(names_.back(), wanted)) {
                is_in_section = true;
                if (is_primary) current_index_ = names_.size() - 1;
            }
        } else if (match.kind == language_line_kind_t::entry) {
            std::string key(match.key);
            if (texts_.find(key) == texts_.end())
                texts_.emplace(std::move(key), utf8_to_utf16(expand_text_escapes(match.text)));
        }
    }
    return 0;
}

std::u16string language_table_c::lookup(std::string_view key) const {
    auto found = texts_.find(std::string(key));
    return found == texts_.end() ? std::u16string() : found->second;
}

std::u16string language_table_c::current_name() const {
    return current_index_ < names_.size() ? names_[current_index_] : std::u16string();
}

const char* language_table_c::current_code() const {
    std::u16string name = current_name();
    for (const language_code_t& entry : language_codes) {
        if (equals_ignoring_case(name, entry.name)) return entry.code;
    }
    return "en";
}

const char16_t* language_table_c::product_page_address() const {
    std::u16string name = current_name();
    for (const page_address_t& entry : product_pages) {
        if (equals_ignoring_case(name, entry.name)) return entry.address;
    }
    return default_product_page;
}

void language_table_c::clear() {
    texts_.clear();
    names_.clear();
    current_index_ = 0;
}

language_table_c& language_table() {
    static language_table_c table;
    return table;
}

std::u16string lookup_text(std::string_view key) { return language_table().lookup(key); }
std::u16string current_language_name() { return language_table().current_name(); }
const char* current_language_code() { return language_table().current_code(); }

bool is_current_language(const char* code) {
    const char* current = current_language_code();
    return current && code && std::strcmp(current, code) == 0;
}
const char16_t* product_page_address() { return language_table().product_page_address(); }
