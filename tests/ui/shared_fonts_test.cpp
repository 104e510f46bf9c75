#include "ui/shared_fonts_win.h"

#include <gtest/gtest.h>

TEST(shared_fonts, are_sized_at_96_dots_per_inch_with_the_asked_face_and_weight) {
    create_shared_fonts();
    struct case_t {
        font_face face;
        int points;
        bool is_bold;
        int pixels;
        const wchar_t* name;
    } cases[] = {
        {font_face::arial, 8, false, 11, L"Arial"},    {font_face::arial, 25, true, 33, L"Arial"},
        {font_face::verdana, 9, true, 12, L"Verdana"}, {font_face::verdana, 14, false, 19, L"Verdana"},
        {font_face::verdana, 22, false, 29, L"Verdana"},
    };
    for (const case_t& c : cases) {
        HFONT font = shared_font(c.face, c.points, c.is_bold);
        ASSERT_NE(font, nullptr) << c.points;
        LOGFONTW info{};
        ASSERT_EQ(GetObjectW(font, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.lfHeight, -c.pixels) << c.points;
        EXPECT_EQ(info.lfWeight, c.is_bold ? FW_BOLD : FW_NORMAL);
        EXPECT_STREQ(info.lfFaceName, c.name);
        EXPECT_EQ(info.lfQuality, ANTIALIASED_QUALITY);
    }
    EXPECT_EQ(shared_font(font_face::arial, 13, false), nullptr);  // not in the set
    EXPECT_EQ(shared_font(font_face::verdana, 25, true), nullptr);
}
