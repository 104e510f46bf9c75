// The names recovered files are saved under: the card's names made safe, the numbered fallback
// and the never-overwrite numbering.
#include "engine/saved_name.h"

#include <gtest/gtest.h>

#include "base/unicode_text.h"
#include "engine/recovery_names.h"

namespace {

std::string safe(std::u16string_view card_path, std::string_view ext = "jpg", size_t room = 200) {
    bool is_changed = false;
    return utf16_to_utf8(safe_card_name(card_path, ext, room, is_changed));
}

}  // namespace

TEST(saved_name, a_cards_name_is_kept_where_it_is_safe) {
    bool is_changed = true;
    EXPECT_EQ(safe_card_name(u"DCIM\\100CANON\\IMG_20240614_183012.jpg", "jpg", 200, is_changed),
              u"IMG_20240614_183012.jpg");
    EXPECT_FALSE(is_changed);
    EXPECT_EQ(safe(u"DCIM\\IMG_0001.JPEG"), "IMG_0001.JPEG") << "an extension of the same format stays";
    EXPECT_EQ(safe(u"DCIM\\IMG_0001.JPG"), "IMG_0001.JPG");
    EXPECT_EQ(safe(u"Ä\\Straße 𝄞.jpg"), "Straße 𝄞.jpg");
    EXPECT_EQ(safe(u"DCIM\\MOVIE.DAT", "mp4"), "MOVIE.mp4") << "an extension of another kind gives way";
    EXPECT_EQ(safe(u"DCIM\\README", "png"), "README.png");
    EXPECT_EQ(safe(u"DCIM\\_MG_0001.JPG"), "_MG_0001.JPG") << "a deleted entry's lost first character";
}

TEST(saved_name, names_windows_would_misread_are_made_safe_and_say_so) {
    bool is_changed = false;
    EXPECT_EQ(safe_card_name(u"CON.jpg", "jpg", 200, is_changed), u"_CON.jpg");
    EXPECT_TRUE(is_changed);
    for (std::u16string_view device : {u"nul.jpg", u"COM1.jpg", u"lpt9.JPG", u"AUX", u"PRN .jpg", u"con.tar.jpg"})
        EXPECT_EQ(safe(device).front(), '_') << utf16_to_utf8(device);
    EXPECT_EQ(safe(u"COM0.jpg"), "COM0.jpg");
    EXPECT_EQ(safe(u"CONSOLE.jpg"), "CONSOLE.jpg");
    EXPECT_EQ(safe(u"a<b>c:d\"e|f?g*h.jpg"), "a_b_c_d_e_f_g_h.jpg");
    EXPECT_EQ(safe(std::u16string(u"tab\there\x01.jpg")), "tab_here_.jpg");
    EXPECT_EQ(safe(u"photo.jpg. . "), "photo.jpg");
    EXPECT_EQ(safe(u"photo .jpg"), "photo.jpg");
    EXPECT_EQ(safe(u"DCIM/../../x.jpg"), "x.jpg") << "only the last component is ever used";
    for (std::u16string_view nothing : {u"..", u".", u"DCIM\\", u"", u" . ", u"DCIM\\.."})
        EXPECT_EQ(safe(nothing), "") << utf16_to_utf8(nothing);
}

TEST(saved_name, a_name_too_long_for_the_folder_is_cut_before_its_extension_or_numbered) {
    std::u16string long_stem(300, u'a');
    EXPECT_EQ(safe(long_stem + u".jpg", "jpg", 255).size(), 255u);
    EXPECT_EQ(safe(long_stem + u".jpg", "jpg", 20), std::string(16, 'a') + ".jpg");
    EXPECT_EQ(safe(u"𝄞𝄞𝄞𝄞𝄞.jpg", "jpg", 13), "𝄞𝄞𝄞𝄞.jpg") << "never half a surrogate pair";
    EXPECT_EQ(safe(long_stem + u".jpg", "jpg", 6), "") << "no room for a useful name";
    std::string path = "DCIM\\" + std::string(300, 'b') + ".jpg";
    std::u16string name = saved_file_name(path, "jpg", 7, 200);
    EXPECT_LE(200 + 1 + name.size() + name_attempt_reserve, max_recovered_path_units);
    EXPECT_EQ(saved_file_name(path, "jpg", 7, 250), u"FILE00007.jpg");
    EXPECT_EQ(saved_file_name("", "png", 123456, 10), u"FILE123456.png");
    EXPECT_EQ(saved_file_name("DCIM\\CON", "png", 1, 10), u"_CON.png");
}

TEST(saved_name, a_taken_name_is_numbered_before_its_extension) {
    EXPECT_EQ(numbered_name(u"IMG_0001.JPG", 1), u"IMG_0001.JPG");
    EXPECT_EQ(numbered_name(u"IMG_0001.JPG", 2), u"IMG_0001-2.JPG");
    EXPECT_EQ(numbered_name(u"archive.tar.gz", 3), u"archive.tar-3.gz");
    EXPECT_EQ(numbered_name(u"README", 2), u"README-2");
    EXPECT_EQ(temporary_file_name(u"IMG_0001-2.JPG", 1), u"~IMG_0001-2.JPG.tmp");
    EXPECT_EQ(temporary_file_name(u"IMG_0001.JPG", 12), u"~IMG_0001.JPG.12.tmp");
}
