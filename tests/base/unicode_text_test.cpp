#include "base/unicode_text.h"

#include <gtest/gtest.h>

TEST(unicode_text, utf8_round_trips_through_utf16_including_astral_characters) {
    std::string text = "Fran\xC3\xA7" "ais \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xB7";
    std::u16string wide = utf8_to_utf16(text);
    EXPECT_EQ(wide, u"Français 日本 \U0001F4F7");
    EXPECT_EQ(utf16_to_utf8(wide), text);
}

TEST(unicode_text, malformed_utf8_becomes_replacement_characters_without_losing_the_rest) {
    EXPECT_EQ(utf8_to_utf16("a\xFFz"), u"a\uFFFDz");
    EXPECT_EQ(utf8_to_utf16("a\xC3"), u"a\uFFFD");             // cut inside a sequence
    EXPECT_EQ(utf8_to_utf16("\xE6\x97z"), u"\uFFFDz");         // cut, then a new character
    EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD");     // overlong slash
    EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD");       // encoded surrogate
    EXPECT_EQ(utf16_to_utf8(u"\xD800x"), "\xEF\xBF\xBDx");      // unpaired surrogate
}

TEST(unicode_text, case_blind_comparison_covers_the_language_names) {
    EXPECT_TRUE(equals_ignoring_case(u"FRANÇAIS", u"français"));
    EXPECT_TRUE(equals_ignoring_case(u"ESPAÑOL", u"Español"));
    EXPECT_TRUE(equals_ignoring_case(u"PORTUGUÊS", u"português"));
    EXPECT_TRUE(equals_ignoring_case(u"日本語", u"日本語"));
    EXPECT_FALSE(equals_ignoring_case(u"English", u"English "));
    EXPECT_FALSE(equals_ignoring_case(u"×", u"÷"));             // not a letter pair
    EXPECT_TRUE(equals_ignoring_case(u"ŁÓDŹ Ÿ", u"łódź ÿ"));
}
