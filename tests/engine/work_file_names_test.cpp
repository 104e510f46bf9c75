#include "engine/work_file_names.h"

#include <gtest/gtest.h>

TEST(work_file_names, only_the_engines_finds_and_their_thumbnails_count_as_ours) {
    for (std::u16string_view name : {u"f0001234.jpg", u"f0000000.m2ts", u"f12345678901.webm",
                                     u"f0001234.3gp", u"thumb_f0001234.png", u"f18446744073709551615.mov",
                                     u".f0001234.jpg", u".ember_summary", u".ember_summary.tmp", u".ember_index"})
        EXPECT_TRUE(is_work_file_name(name)) << std::string(name.begin(), name.end());
    for (std::u16string_view name : {u"tmp_invoice.pdf", u"holiday.jpg", u"f123456.jpg", u"f0001234",
                                     u"f0001234.", u"F0001234.jpg", u"f0001234.jpg.pdf", u"f00012a4.jpg",
                                     u"f0001234.toolongext", u"thumb_holiday.png", u"thumb_f0001234.jpg",
                                     u"thumb_.png", u"f184467440737095516150.mov", u".thumb_f0001234.png",
                                     u"..f0001234.jpg", u".holiday.jpg", u".ember_summary_notes.txt",
                                     u".ember_summary.", u".tessera_work", u".ember_index.txt", u"ember_index", u""})
        EXPECT_FALSE(is_work_file_name(name)) << std::string(name.begin(), name.end());
}

TEST(work_file_names, work_folders_are_tmp_and_tmp_dot_names_in_any_case) {
    for (std::u16string_view name : {u"tmp", u"TMP", u"tmp.old", u"Tmp.1"})
        EXPECT_TRUE(is_work_folder_name(name));
    for (std::u16string_view name : {u"tmp_projects", u"tmpfiles", u"tm", u"temp", u"old.tmp", u""})
        EXPECT_FALSE(is_work_folder_name(name));
}

TEST(work_file_names, set_aside_folders_are_numbered_and_never_loaded_as_tmp) {
    EXPECT_EQ(set_aside_name(0), u"~tmp.0");
    EXPECT_EQ(set_aside_name(18446744073709551615u), u"~tmp.18446744073709551615");
    EXPECT_TRUE(is_set_aside_name(set_aside_name(1234)));
    EXPECT_FALSE(is_work_folder_name(set_aside_name(1234)));
    for (std::u16string_view name : {u"~tmp.", u"~tmp.1a", u"~tmp", u"tmp.1", u"~tmp.123456789012345678901", u"~TMP.1"})
        EXPECT_FALSE(is_set_aside_name(name)) << std::string(name.begin(), name.end());
}
