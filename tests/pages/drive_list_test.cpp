#include "pages/drive_list.h"

#include <gtest/gtest.h>

#include "base/settings.h"

namespace {

drive_info_t drive(std::u16string root, uint32_t type, uint64_t total, uint64_t free_bytes,
                   std::u16string fs = u"FAT32", std::u16string label = u"") {
    drive_info_t d;
    d.volume_name = u"\\\\?\\Volume{0000}\\";
    d.root_path = root;
    if (!root.empty() && root[0] != u'\\') d.mount_paths.push_back(root);
    d.drive_type = type;
    d.total_bytes = total;
    d.free_bytes = free_bytes;
    d.file_system = fs;
    d.label = label;
    return d;
}

}  // namespace

TEST(drive_list, display_labels_show_root_file_system_free_share_and_label) {
    EXPECT_EQ(make_display_label(drive(u"E:\\", 2, 100, 85, u"FAT32", u"CANON_DC")),
              u"Drive E: FAT32 85% Free - CANON_DC");
    EXPECT_EQ(make_display_label(drive(u"F:\\", 2, 1000, 1000, u"exFAT")), u"Drive F: exFAT 100% Free");
    EXPECT_EQ(make_display_label(drive(u"E:\\", 2, 1000, 999)), u"Drive E: FAT32 99% Free");
    // An unformatted card: no file system, no sizes, two spaces.
    EXPECT_EQ(make_display_label(drive(u"G:\\", 2, 0, 0, u"")), u"Drive G:  0% Free");
    EXPECT_EQ(make_display_label(drive(u"\\Device\\HarddiskVolume1", 0, 0, 0, u"")),
              u"Drive \\Device\\HarddiskVolume1  0% Free");
    EXPECT_EQ(make_display_label(drive(u"", 2, 0, 0)), u"");
}

TEST(drive_list, a_display_label_is_limited_to_1024_characters) {
    auto d = drive(u"E:\\", 2, 10, 5, u"FAT32", std::u16string(2000, u'L'));
    EXPECT_EQ(make_display_label(d).size(), max_display_label_chars);
}

TEST(drive_list, optical_and_network_drives_are_never_listed_and_fixed_ones_only_for_admins) {
    EXPECT_FALSE(is_drive_listed(drive_type_cdrom, true));
    EXPECT_FALSE(is_drive_listed(drive_type_remote, true));
    EXPECT_TRUE(is_drive_listed(drive_type_fixed, true));
    EXPECT_FALSE(is_drive_listed(drive_type_fixed, false));
    for (uint32_t type : {0u, 1u, 2u, 6u}) EXPECT_TRUE(is_drive_listed(type, false)) << type;
}

TEST(drive_list, the_highest_mount_path_comes_first_and_volumes_without_one_last) {
    std::vector<drive_info_t> drives = {drive(u"E:\\", 2, 0, 0), drive(u"\\Device\\X", 0, 0, 0),
                                        drive(u"C:\\", 3, 0, 0), drive(u"G:\\", 2, 0, 0)};
    sort_drive_list(drives);
    EXPECT_EQ(drives[0].root_path, u"G:\\");
    EXPECT_EQ(drives[1].root_path, u"E:\\");
    EXPECT_EQ(drives[2].root_path, u"C:\\");
    EXPECT_EQ(drives[3].root_path, u"\\Device\\X");
}

TEST(drive_list, volume_paths_need_the_prefix_and_the_final_backslash) {
    EXPECT_TRUE(is_volume_path(u"\\\\?\\Volume{1234}\\"));
    EXPECT_EQ(volume_path_middle(u"\\\\?\\Volume{1234}\\"), u"Volume{1234}");
    EXPECT_FALSE(is_volume_path(u"\\\\?\\Volume{1234}"));
    EXPECT_FALSE(is_volume_path(u"\\\\.\\Volume{1234}\\"));
    EXPECT_FALSE(is_volume_path(u"\\\\?\\"));
    EXPECT_EQ(volume_path_middle(u"E:\\"), u"");
}

TEST(drive_list, sizes_are_short_1024_based_texts) {
    EXPECT_EQ(format_size(1024), u"1024B");
    EXPECT_EQ(format_size(1025), u"1.00K");
    EXPECT_EQ(format_size(1048576), u"1024.00K");
    EXPECT_EQ(format_size(1073741824), u"1024.00M");
    EXPECT_EQ(format_size(1073741825), u"1.00G");
    EXPECT_EQ(format_size(7948206080), u"7.40G");
    EXPECT_EQ(format_size(0), u"0B");
    EXPECT_EQ(format_size(-5), u"-5B");
    EXPECT_EQ(format_size(INT64_MAX), u"8589934592.00G");
}

TEST(drive_list, the_cache_drive_is_found_by_its_first_letter) {
    drive_list = {drive(u"G:\\", 2, 16000000000, 0), drive(u"D:\\", 3, 0, 16000000000),
                  drive(u"\\Device\\HarddiskVolume9", 0, 0, 5)};
    settings.cache_path = u"d:\\Temp\\TSR_Cache";
    EXPECT_EQ(find_cache_drive(), 1);
    EXPECT_TRUE(cache_has_room(0));  // exactly as much free space as the card holds
    drive_list[1].free_bytes -= 1;
    EXPECT_FALSE(cache_has_room(0));

    settings.cache_path = u"\\\\server\\share\\cache";  // a UNC path meets the device path
    EXPECT_EQ(find_cache_drive(), 2);
    EXPECT_FALSE(cache_has_room(0));

    settings.cache_path = u"Q:\\cache";  // no drive with that letter: nothing to check
    EXPECT_EQ(find_cache_drive(), -1);
    EXPECT_TRUE(cache_has_room(0));
    drive_list.clear();
}

TEST(drive_list, a_folder_is_below_a_mount_path_by_whole_components_and_without_case) {
    std::vector<std::u16string> mounts{u"X:\\", u"C:\\Mnt\\Card\\"};
    for (std::u16string_view folder : {u"X:\\", u"x:", u"x:/photos", u"c:\\mnt\\card", u"C:\\MNT\\CARD\\a\\b"})
        EXPECT_TRUE(is_below_mount_path(folder, mounts)) << std::string(folder.begin(), folder.end());
    for (std::u16string_view folder : {u"C:\\Mnt\\Cardboard", u"C:\\Mnt", u"Y:\\", u"", u"cache"})
        EXPECT_FALSE(is_below_mount_path(folder, mounts)) << std::string(folder.begin(), folder.end());
    EXPECT_FALSE(is_below_mount_path(u"X:\\", {}));
}
