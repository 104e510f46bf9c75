#include "base/found_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

found_file_t record_for(const std::string& path) { return make_found_file(path.c_str(), path.size()); }

std::string thumb_for(const char* path) {
    char thumb[found_path_capacity];
    std::memset(thumb, 'z', sizeof thumb);
    make_thumb_path(path, thumb);
    return thumb;
}

}  // namespace

TEST(found_file, the_extension_is_the_text_after_the_last_dot) {
    EXPECT_STREQ(record_for("C:\\cache\\tmp\\f0001.jpg").ext, "jpg");
    EXPECT_STREQ(record_for("C:\\cache\\tmp\\f0001.tar.gz").ext, "gz");
    EXPECT_STREQ(record_for("C:\\cache\\tmp\\noext").ext, "");
    // A dot only in a folder name: everything after it, separators included, at most 7 chars.
    EXPECT_STREQ(record_for("C:\\tmp.1\\sub\\file").ext, "1\\sub\\f");
    EXPECT_STREQ(record_for("C:\\a\\b.verylongext").ext, "verylon");
    EXPECT_STREQ(record_for("C:\\a\\b.").ext, "");
}

TEST(found_file, a_new_record_is_zeroed_except_path_and_extension) {
    found_file_t record = record_for("D:\\x.png");
    EXPECT_STREQ(record.path, "D:\\x.png");
    EXPECT_EQ(record.width, 0);
    EXPECT_EQ(record.taken_time, 0);
    EXPECT_STREQ(record.thumb_path, "");
    EXPECT_STREQ(record.camera_model, "");
    EXPECT_EQ(record.selected, 0);
    EXPECT_FALSE(record.thumb_image);
}

TEST(found_file, a_path_is_cut_to_259_characters_and_unterminated_input_is_bounded) {
    std::string long_path(400, 'a');
    long_path += ".jpg";
    found_file_t record = record_for(long_path);
    EXPECT_EQ(std::strlen(record.path), 259u);
    EXPECT_STREQ(record.ext, "");  // the dot was beyond the cut

    char packet_path[packet_path_bytes];
    std::memset(packet_path, 'b', sizeof packet_path);  // no terminator anywhere
    packet_path[10] = '.';
    found_file_t bounded = make_found_file(packet_path, sizeof packet_path);
    EXPECT_EQ(std::strlen(bounded.path), 259u);
    EXPECT_STREQ(bounded.ext, "bbbbbbb");
}

TEST(found_file, the_thumbnail_sits_beside_the_file_with_its_stem) {
    EXPECT_EQ(thumb_for("C:\\cache\\tmp\\f0001234.jpg"), "C:\\cache\\tmp\\thumb_f0001234.png");
    EXPECT_EQ(thumb_for("C:\\cache\\tmp\\a.b.cr2"), "C:\\cache\\tmp\\thumb_a.b.png");
    // A forward slash, where present, is the separator that counts.
    EXPECT_EQ(thumb_for("C:/cache\\tmp/x.jpg"), "C:/cache\\tmp/thumb_x.png");
}

TEST(found_file, no_thumbnail_path_where_the_rule_has_no_answer) {
    EXPECT_EQ(thumb_for("nofolder.jpg"), "");
    EXPECT_EQ(thumb_for("C:\\tmp.d\\noext"), "");
    std::string deep = "C:\\" + std::string(240, 'd') + "\\" + std::string(12, 'n') + ".jpg";
    EXPECT_EQ(thumb_for(deep.c_str()), "");  // would not fit 259 characters
}

TEST(found_queue, reset_reserves_room_for_100000_records_and_counts_the_emptying) {
    found_queue_c queue;
    uint64_t before = queue.generation();
    queue.append(record_for("a.jpg"));
    queue.thumbs_done = 1;
    queue.reset();
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(queue.thumbs_done, 0u);
    EXPECT_GE(queue.capacity(), found_queue_reserve);
    EXPECT_EQ(queue.generation(), before + 1);
}

TEST(found_queue, growing_past_the_reserve_keeps_every_record_and_adds_half_the_capacity) {
    found_queue_c queue;
    queue.reset();
    size_t reserved = queue.capacity();
    for (size_t i = 0; i <= reserved; ++i) {
        found_file_t record;
        std::snprintf(record.path, sizeof record.path, "f%zu.jpg", i);
        record.selected = static_cast<int32_t>(i % 3);
        queue.append(record);
    }
    EXPECT_EQ(queue.capacity(), reserved + reserved / 2);
    for (size_t i = 0; i <= reserved; i += 997) {
        EXPECT_EQ(std::string(queue.at(i).path), "f" + std::to_string(i) + ".jpg");
        EXPECT_EQ(queue.at(i).selected, static_cast<int32_t>(i % 3));
    }
    EXPECT_EQ(std::string(queue.at(reserved).path), "f" + std::to_string(reserved) + ".jpg");
}

TEST(found_queue, an_unreset_queue_grows_one_record_at_a_time_from_empty) {
    found_queue_c queue;
    queue.append(record_for("a"));
    EXPECT_EQ(queue.capacity(), 1u);
    queue.append(record_for("b"));
    EXPECT_EQ(queue.capacity(), 2u);
    queue.append(record_for("c"));
    EXPECT_EQ(queue.capacity(), 3u);
}
