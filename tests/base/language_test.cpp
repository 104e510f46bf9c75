#include "base/language.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "base/language_line.h"

namespace {

language_table_c loaded(std::string_view file, std::u16string_view primary) {
    language_table_c table;
    EXPECT_EQ(table.load(file, primary, true), 0);
    if (primary != u"English") {
        EXPECT_EQ(table.load(file, u"English", false), 0);
    }
    return table;
}

}  // namespace

TEST(language, a_key_missing_from_the_primary_section_shows_the_english_text) {
    auto table = loaded("[English]\nbtn_ok=\"OK\"\nbtn_no=\"No\"\n[Deutsch]\nbtn_no=\"Nein\"\n", u"Deutsch");
    EXPECT_EQ(table.lookup("btn_ok"), u"OK");
    EXPECT_EQ(table.lookup("btn_no"), u"Nein");
    EXPECT_EQ(table.lookup("btn_yes"), u"");
}

TEST(language, an_empty_text_does_not_count_and_the_english_one_is_used) {
    auto table = loaded("[English]\nbtn_ok=\"OK\"\n[Deutsch]\nbtn_ok=\"\"\n", u"Deutsch");
    EXPECT_EQ(table.lookup("btn_ok"), u"OK");
}

TEST(language, section_names_match_without_regard_to_case) {
    auto table = loaded("[English]\nk=\"e\"\n[deutsch]\nk=\"d\"\n[FRANÇAIS]\nk=\"f\"\n", u"Deutsch");
    EXPECT_EQ(table.lookup("k"), u"d");
    EXPECT_STREQ(table.current_code(), "de");
    auto french = loaded("[English]\nk=\"e\"\n[FRANÇAIS]\nk=\"f\"\n", u"Français");
    EXPECT_EQ(french.lookup("k"), u"f");
}

TEST(language, spaces_before_the_equals_sign_make_a_different_key) {
    auto table = loaded("[English]\na=\"english a\"\n[Deutsch]\na = \"deutsch a\"\n", u"Deutsch");
    EXPECT_EQ(table.lookup("a"), u"english a");
    EXPECT_EQ(table.lookup("a "), u"deutsch a");
    auto leading = loaded("[English]\n   b=\"x\"\n", u"English");
    EXPECT_EQ(leading.lookup("b"), u"x");
}

TEST(language, escapes_become_tab_and_line_feed_and_nothing_else_is_an_escape) {
    auto table = loaded("[English]\nk=\"a\\tb\\nc\\\\d\\q\"\n", u"English");
    EXPECT_EQ(table.lookup("k"), u"a\tb\nc\\\\d\\q");
    // The tab escape runs first: "\\t" keeps its first backslash and yields a tab after it.
    EXPECT_EQ(expand_text_escapes("\\\\t"), "\\\t");
    EXPECT_EQ(expand_text_escapes("\\"), "\\");
}

TEST(language, a_text_runs_to_the_last_quote_of_the_line) {
    auto table = loaded("[English]\nk=\"say \"hi\" now\"  \nj=\"x\" trailing\n", u"English");
    EXPECT_EQ(table.lookup("k"), u"say \"hi\" now");
    EXPECT_EQ(table.lookup("j"), u"");  // text after the closing quote: not an entry
}

TEST(language, comment_lines_are_ignored_even_when_they_look_like_entries) {
    auto table = loaded("[English]\n;k=\"commented\"\nk=\"real\"\n", u"English");
    EXPECT_EQ(table.lookup("k"), u"real");
    EXPECT_EQ(table.lookup(";k"), u"");
}

TEST(language, a_header_keeps_the_spaces_inside_its_brackets) {
    auto table = loaded("[ English ]\nk=\"spaced\"\n[English]\nk=\"plain\"\n", u"English");
    ASSERT_EQ(table.names().size(), 2u);
    EXPECT_EQ(table.names()[0], u" English ");
    EXPECT_EQ(table.lookup("k"), u"plain");
    EXPECT_EQ(table.current_index(), 1u);
    // The name runs from the first '[' to the last ']'.
    auto nested = loaded("  [a]b]  \n", u"x");
    ASSERT_EQ(nested.names().size(), 1u);
    EXPECT_EQ(nested.names()[0], u"a]b");
}

TEST(language, a_setting_that_names_no_section_gives_english_and_the_first_section_as_current) {
    auto table = loaded("[Deutsch]\nk=\"d\"\n[English]\nk=\"e\"\n", u"Klingon");
    EXPECT_EQ(table.lookup("k"), u"e");
    EXPECT_EQ(table.current_index(), 0u);
    EXPECT_EQ(table.current_name(), u"Deutsch");
    EXPECT_STREQ(table.current_code(), "de");
}

TEST(language, a_file_without_sections_loads_nothing_and_speaks_english_codes) {
    auto table = loaded("k=\"v\"\n; nothing else\n", u"Deutsch");
    EXPECT_TRUE(table.names().empty());
    EXPECT_EQ(table.lookup("k"), u"");
    EXPECT_EQ(table.current_name(), u"");
    EXPECT_STREQ(table.current_code(), "en");
    EXPECT_EQ(std::u16string(table.product_page_address()), u"https://www.tessera.example/");
}

TEST(language, the_first_entry_of_a_key_wins_and_later_loads_never_replace_it) {
    language_table_c table;
    table.load("[English]\nk=\"first\"\nk=\"second\"\n", u"English", true);
    EXPECT_EQ(table.lookup("k"), u"first");
    table.load("[English]\nk=\"third\"\n", u"English", false);
    EXPECT_EQ(table.lookup("k"), u"first");
}

TEST(language, the_fallback_load_does_not_move_the_current_language) {
    language_table_c table;
    std::string file = "[English]\nk=\"e\"\n[Italiano]\nk=\"i\"\n";
    table.load(file, u"Italiano", true);
    table.load(file, u"English", false);
    EXPECT_EQ(table.current_index(), 1u);
    EXPECT_STREQ(table.current_code(), "it");
}

TEST(language, only_the_wanted_section_supplies_texts) {
    auto table = loaded("a=\"before\"\n[English]\nb=\"in\"\n[Deutsch]\nc=\"other\"\n", u"English");
    EXPECT_EQ(table.lookup("a"), u"");
    EXPECT_EQ(table.lookup("b"), u"in");
    EXPECT_EQ(table.lookup("c"), u"");
    EXPECT_EQ(table.names().size(), 2u);
}

TEST(language, keys_are_compared_byte_by_byte) {
    auto table = loaded("[English]\nBtn_Ok=\"upper\"\n", u"English");
    EXPECT_EQ(table.lookup("btn_ok"), u"");
    EXPECT_EQ(table.lookup("Btn_Ok"), u"upper");
}

TEST(language, texts_are_utf8_and_crlf_lines_read_like_lf_lines) {
    auto table = loaded("[日本語]\r\nbtn_ok=\"はい\"\r\n[English]\r\nbtn_ok=\"OK\"\r\n", u"日本語");
    EXPECT_EQ(table.lookup("btn_ok"), u"はい");
    EXPECT_STREQ(table.current_code(), "jp");
}

TEST(language, every_language_name_has_its_code_and_page) {
    struct case_t {
        const char* file_name;
        const char* code;
        const char16_t* page;
    } cases[] = {
        {"Deutsch", "de", u"https://www.tessera.example/de/"},
        {"Français", "fr", u"https://www.tessera.example/fr/"},
        {"Español", "es", u"https://www.tessera.example/es/"},
        {"简体中文", "cn", u"https://www.tessera.example/zh-cn/"},
        {"繁體中文", "hk", u"https://www.tessera.example/zh-tw/"},
        {"Italiano", "it", u"https://www.tessera.example/it/"},
        {"日本語", "jp", u"https://www.tessera.example/ja/"},
        {"Português", "pt", u"https://www.tessera.example/"},
        {"Nederlands", "nl", u"https://www.tessera.example/"},
        {"العربية", "ar", u"https://www.tessera.example/"},
        {"English", "en", u"https://www.tessera.example/"},
    };
    for (const case_t& c : cases) {
        language_table_c table;
        std::string file = std::string("[") + c.file_name + "]\n";
        table.load(file, std::u16string(), true);
        table.set_current_index(0);
        EXPECT_STREQ(table.current_code(), c.code) << c.file_name;
        EXPECT_EQ(std::u16string(table.product_page_address()), c.page) << c.file_name;
    }
}

TEST(language, lines_longer_than_2047_bytes_are_read_as_several_lines) {
    std::string storage;
    std::string long_line(3000, 'x');
    auto lines = split_language_lines(long_line + "\nshort\n", storage);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 2047u);
    EXPECT_EQ(lines[1].size(), 3000u - 2047u + 1u);
    EXPECT_EQ(lines[2], "short\n");

    // A line of exactly 2046 bytes plus its line feed is still one line; one more byte splits it,
    // and the piece after the split becomes an entry of its own.
    std::string prefix = "k=\"" + std::string(2046 - 4, 'a') + "\"";
    ASSERT_EQ(prefix.size(), 2046u);
    auto whole = loaded("[English]\n" + prefix + "\n", u"English");
    EXPECT_EQ(whole.lookup("k").size(), 2046u - 4u);
    std::string split = std::string(2047, ';') + "tail=\"after the split\"\n";
    auto pieces = loaded("[English]\n" + split, u"English");
    EXPECT_EQ(pieces.lookup("tail"), u"after the split");
}

TEST(language, a_line_of_the_longest_length_does_not_overwhelm_the_matcher) {
    std::string line = "key=\"" + std::string(2000, '"') + "\"";
    std::string header = "[" + std::string(2040, ' ') + "]";
    auto table = loaded("[English]\n" + line + "\n" + header + "\n", u"English");
    EXPECT_EQ(table.lookup("key").size(), 2000u);
    EXPECT_EQ(table.names().size(), 2u);
}

// The file's grammar is that of two ECMAScript expressions; the hand-written matcher must accept
// exactly the lines they accept and cut the same groups. std::regex is the reference here, on
// short lines built from the characters that matter, where its backtracking is cheap.
TEST(language, lines_match_exactly_as_the_two_expressions_match_them) {
    const std::regex section(R"re(^\s*\[(.*)\]\s*$)re"), entry(R"re(^\s*([^;].*)\s*=\s*"(.+)"\s*$)re");
    const char alphabet[] = {' ', '\t', '\r', '\n', '\v', ';', '=', '"', '[', ']', 'a', '\xC3'};
    std::mt19937 random(20261209);
    for (int i = 0; i < 100000; ++i) {
        std::string line;
        for (size_t n = random() % 12; n > 0; --n) line.push_back(alphabet[random() % sizeof alphabet]);
        std::cmatch groups;
        language_line_t got = match_language_line(line, true);
        SCOPED_TRACE(::testing::PrintToString(line));
        if (std::regex_match(line.c_str(), line.c_str() + line.size(), groups, section)) {
            ASSERT_EQ(got.kind, language_line_kind_t::section);
            ASSERT_EQ(got.name, groups[1].str());
        } else if (std::regex_match(line.c_str(), line.c_str() + line.size(), groups, entry)) {
            ASSERT_EQ(got.kind, language_line_kind_t::entry);
            ASSERT_EQ(got.key, groups[1].str());
            ASSERT_EQ(got.text, groups[2].str());
        } else {
            ASSERT_EQ(got.kind, language_line_kind_t::other);
        }
    }
}

// Long runs of spaces around the key, the '=' and the quotes made a backtracking matcher take
// cubic time (seconds a line). Every line of the longest length costs a few passes over it.
TEST(language, a_file_of_long_space_runs_is_read_in_linear_work) {
    const std::string spaces(400, ' ');
    const std::string lines[] = {
        spaces + "k" + spaces + "=" + spaces + "\"" + spaces,
        spaces + "k" + spaces + "=" + spaces + "\"" + spaces + "\"" + spaces,
        spaces + "[" + spaces + "]" + spaces + "x",
        std::string(2046, ' ') + "\"",
        std::string(2047, ' '),
    };
    std::string file = "[English]\n";
    for (int i = 0; i < 400; ++i) file += lines[i % 5] + "\n";
    file += "key=\"found after them\"\n";
    auto table = loaded(file, u"English");
    EXPECT_EQ(table.lookup("key"), u"found after them");
    EXPECT_EQ(table.lookup("k" + spaces), std::u16string(400, u' '));
    for (const std::string& line : lines) {
        language_line_t got = match_language_line(line, true);
        EXPECT_LE(got.steps, 8 * line.size());
    }
}
