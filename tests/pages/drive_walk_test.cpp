// The volume walk against Wine's mount manager: the prepared prefix has a removable drive X:
// backed by a FAT card image, besides C: and Z:.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "base/wide_text_win.h"
#include "pages/drive_list.h"
#include "pages/drive_list_win.h"

namespace {

const drive_info_t* find_root(const std::u16string& root) {
    for (const drive_info_t& drive : drive_list) {
        if (drive.root_path == root) return &drive;
    }
    return nullptr;
}

}  // namespace

TEST(drive_walk, lists_the_card_with_its_mount_path_type_and_label) {
    refresh_drive_list();
    const drive_info_t* card = find_root(u"X:\\");
    ASSERT_NE(card, nullptr) << "the prepared prefix should have a removable X:";
    EXPECT_EQ(card->drive_type, drive_type_removable);
    EXPECT_TRUE(is_volume_path(card->volume_name));
    ASSERT_FALSE(card->mount_paths.empty());
    EXPECT_EQ(card->mount_paths.front(), u"X:\\");
    EXPECT_FALSE(card->device_name.empty());
    EXPECT_GT(card->total_bytes, 0u);
    EXPECT_LE(card->free_bytes, card->total_bytes);
    EXPECT_EQ(card->display_label, make_display_label(*card));
    EXPECT_EQ(card->display_label.rfind(u"Drive X: " + card->file_system + u" ", 0), 0u);
}

TEST(drive_walk, the_list_runs_from_the_highest_drive_letter_down) {
    refresh_drive_list();
    ASSERT_GE(drive_list.size(), 2u);
    for (size_t i = 1; i < drive_list.size(); ++i) {
        std::u16string before = drive_list[i - 1].mount_paths.empty() ? u"" : drive_list[i - 1].mount_paths[0];
        std::u16string after = drive_list[i].mount_paths.empty() ? u"" : drive_list[i].mount_paths[0];
        EXPECT_GE(before, after);
    }
}

TEST(drive_walk, fixed_disks_appear_exactly_when_the_user_is_an_administrator) {
    refresh_drive_list();
    bool has_fixed = false;
    for (const drive_info_t& drive : drive_list) {
        EXPECT_NE(drive.drive_type, drive_type_cdrom);
        EXPECT_NE(drive.drive_type, drive_type_remote);
        EXPECT_FALSE(drive.root_path.empty());
        if (drive.drive_type == drive_type_fixed) has_fixed = true;
    }
    EXPECT_EQ(has_fixed, IsUserAnAdmin() != FALSE);
}

TEST(drive_walk, a_refresh_replaces_the_whole_list) {
    refresh_drive_list();
    size_t count = drive_list.size();
    drive_list.push_back(drive_info_t{});
    refresh_drive_list();
    EXPECT_EQ(drive_list.size(), count);
}

TEST(drive_walk, a_folder_is_on_the_card_by_its_volume_and_otherwise_by_the_mount_paths) {
    refresh_drive_list();
    const drive_info_t* card = find_root(u"X:\\");
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(is_folder_on_drive(u"X:\\", *card));
    EXPECT_TRUE(is_folder_on_drive(u"x:\\no\\such\\folder", *card)) << "the folder need not exist";
    EXPECT_FALSE(is_folder_on_drive(u"C:\\windows", *card));

    // A drive the system cannot name a volume for is judged by its mount paths.
    drive_info_t gone = *card;
    gone.volume_name = u"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\";
    gone.mount_paths = {u"Q:\\"};
    EXPECT_TRUE(is_folder_on_drive(u"q:/photos", gone));
    EXPECT_FALSE(is_folder_on_drive(u"X:\\photos", gone)) << "X: has a volume, and it is not this one";
}
