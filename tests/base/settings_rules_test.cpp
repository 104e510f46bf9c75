#include "base/settings.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> utf16_bytes(std::u16string_view text, bool with_terminator) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (with_terminator) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

}  // namespace

TEST(settings_rules, a_string_value_is_taken_only_when_well_formed) {
    std::u16string field = u"default";
    auto good = utf16_bytes(u"D:\\Cache", true);
    EXPECT_TRUE(take_string_value(value_type_string, good.data(), good.size(), field));
    EXPECT_EQ(field, u"D:\\Cache");

    field = u"default";
    EXPECT_TRUE(take_string_value(value_type_expandable_string, good.data(), good.size(), field));
    EXPECT_EQ(field, u"D:\\Cache");

    struct refused_t {
        const char* why;
        uint32_t type;
        std::vector<uint8_t> bytes;
    } refused[] = {
        {"a number", 4, {1, 0, 0, 0}},
        {"binary data", 3, utf16_bytes(u"x", true)},
        {"no terminator", value_type_string, utf16_bytes(u"abc", false)},
        {"odd byte count", value_type_string, {'a', 0, 0}},
        {"half a terminator", value_type_string, {'a', 0, 'b', 0, 0, 1}},
    };
    for (const refused_t& r : refused) {
        field = u"default";
        EXPECT_FALSE(take_string_value(r.type, r.bytes.data(), r.bytes.size(), field)) << r.why;
        EXPECT_EQ(field, u"default") << r.why;
    }
}

TEST(settings_rules, zero_bytes_give_empty_text_and_an_inner_terminator_ends_the_text) {
    std::u16string field = u"default";
    EXPECT_TRUE(take_string_value(value_type_string, nullptr, 0, field));
    EXPECT_EQ(field, u"");
    auto inner = utf16_bytes(std::u16string(u"ab\0cd", 5), true);
    EXPECT_TRUE(take_string_value(value_type_string, inner.data(), inner.size(), field));
    EXPECT_EQ(field, u"ab");
}

TEST(settings_rules, installer_indices_name_the_eleven_languages) {
    EXPECT_EQ(installer_language_name(1), u"English");
    EXPECT_EQ(installer_language_name(4), u"Français");
    EXPECT_EQ(installer_language_name(6), u"日本語");
    EXPECT_EQ(installer_language_name(11), u"العربية");
    EXPECT_EQ(installer_language_name(0), u"");
    EXPECT_EQ(installer_language_name(12), u"");
    EXPECT_EQ(installer_language_name(0xFFFFFFFFu), u"");
}

TEST(settings_rules, texts_are_cut_to_their_capacity_terminator_included) {
    EXPECT_EQ(cut_to_capacity(std::u16string(40, u'x'), language_capacity).size(), 31u);
    EXPECT_EQ(cut_to_capacity(u"short", language_capacity), u"short");
}
