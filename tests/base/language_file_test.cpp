// Checks the language file that ships: every language, every key, the right placeholders.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "base/language.h"
#include "base/unicode_text.h"

namespace {

const char* const shipped_languages[] = {
    "English",  "Deutsch",  "Español",    "Français",  "Italiano", "日本語",
    "简体中文", "繁體中文", "Nederlands", "Português", "العربية",
};

const char* const looked_up_keys[] = {
    "btn_ok", "btn_no", "btn_yes", "btn_open", "btn_cancel", "btn_refresh", "btn_browse",
    "btn_next", "btn_back", "btn_close", "btn_start", "btn_pause", "btn_resume", "btn_stop",
    "btn_home", "btn_recovery", "btn_filter", "btn_all", "top_step1", "top_step2", "top_step3",
    "menu_help", "menu_about", "menu_exit", "cancel_confirm", "config_language_change_notice",
    "home_btn_start", "home_btn_resume", "home_text", "option_title1", "option_title2",
    "option_title3", "option_title4", "option_title5", "option_text1", "option_text2",
    "option_text3", "option_text4", "option_text5", "option_text6", "option_photo",
    "option_video", "option_audio", "cache_folder", "option_no_dir", "no_card", "option_msg",
    "next_failed", "cache_msg", "recovery_text", "recovery_sector", "recovery_wait",
    "gen_preview", "recovery_photo", "recovery_video", "recovery_audio", "recovery_file_info",
    "recovery_selection", "recovery_created", "recovery_model", "recovery_size",
    "recovery_total", "recovery_selected", "photo", "video", "audio", "recovery_finished",
    "no_selection", "recovery_failed_code1", "recovery_failed_code2", "about_name",
    "about_info", "about_information", "about_copyright", "about_btn_bk", "about_btn_check",
    "update_current", "update_newer", "update_failed",
};

// The placeholders each formatted text must carry; every other text carries none.
std::set<std::u16string> expected_placeholders(const std::string& key) {
    if (key == "recovery_finished" || key == "cache_msg" || key == "update_current" || key == "update_newer")
        return {u"{1}"};
    if (key == "recovery_sector") return {u"{1}", u"{2}"};
    if (key == "about_info") return {u"{1}", u"{2}", u"{3}", u"{version}"};
    return {};
}

std::multiset<std::u16string> placeholders_in(const std::u16string& text) {
    std::multiset<std::u16string> found;
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == u'{' && text[i + 1] >= u'0' && text[i + 1] <= u'9' && text[i + 2] == u'}')
            found.insert(text.substr(i, 3));
        if (text.compare(i, 9, u"{version}") == 0) found.insert(u"{version}");
    }
    return found;
}

std::string shipped_file() {
    std::ifstream in(TESSERA_SOURCE_DIR "/res/language.ini", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

language_table_c section(const std::string& file, const char* name) {
    language_table_c table;
    table.load(file, utf8_to_utf16(name), true);
    return table;
}

}  // namespace

TEST(shipped_language_file, lists_the_eleven_languages_in_installer_order) {
    std::string file = shipped_file();
    ASSERT_FALSE(file.empty()) << "res/language.ini is missing";
    EXPECT_NE(file.substr(0, 3), "\xEF\xBB\xBF") << "no byte-order mark";
    language_table_c table;
    table.load(file, u"English", true);
    ASSERT_EQ(table.names().size(), std::size(shipped_languages));
    for (size_t i = 0; i < std::size(shipped_languages); ++i)
        EXPECT_EQ(table.names()[i], utf8_to_utf16(shipped_languages[i]));
}

TEST(shipped_language_file, every_language_has_every_key_with_its_placeholders) {
    std::string file = shipped_file();
    for (const char* language : shipped_languages) {
        language_table_c table = section(file, language);
        for (const char* key : looked_up_keys) {
            std::u16string text = table.lookup(key);
            EXPECT_FALSE(text.empty()) << language << " lacks " << key;
            std::multiset<std::u16string> found = placeholders_in(text);
            std::set<std::u16string> wanted = expected_placeholders(key);
            EXPECT_EQ(found, std::multiset<std::u16string>(wanted.begin(), wanted.end()))
                << language << " " << key << " has the wrong placeholders";
        }
    }
}

TEST(shipped_language_file, translations_are_not_english_copies) {
    std::string file = shipped_file();
    language_table_c english = section(file, "English");
    for (const char* language : shipped_languages) {
        if (std::string(language) == "English") continue;
        language_table_c table = section(file, language);
        size_t copies = 0;
        for (const char* key : looked_up_keys) {
            if (table.lookup(key) == english.lookup(key)) ++copies;
        }
        // Some texts rightly read the same: the product name, "OK", "Pause", "Audio", "Video",
        // and the labels and captions built from them (about nine of 79 in German and French).
        EXPECT_LE(copies, 12u) << language << " repeats " << copies << " English texts";
    }
}

TEST(shipped_language_file, every_line_is_a_header_an_entry_a_comment_or_blank) {
    std::istringstream lines(shipped_file());
    std::regex header(R"re(^\[[^\]\s][^\]]*\]$)re");
    std::regex entry(R"re(^[a-z0-9_]+="[^"].*"$)re");
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        EXPECT_EQ(line.find('\r'), std::string::npos) << "line " << number;
        EXPECT_LT(line.size(), max_language_line_bytes) << "line " << number;
        bool is_known = line.empty() || line[0] == ';' || std::regex_match(line, header) ||
                        std::regex_match(line, entry);
        EXPECT_TRUE(is_known) << "line " << number << ": " << line;
    }
}
