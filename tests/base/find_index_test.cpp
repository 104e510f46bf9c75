// The index of finds Ember writes beside them: its lines, read whole or as the file grows.
#include "base/find_index.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "base/clock_time.h"

namespace {

struct parsed_t {
    std::string name;
    find_origin_t origin;
};

std::vector<parsed_t> parse_lines(index_line_splitter_c& splitter, const std::string& bytes) {
    std::vector<parsed_t> out;
    splitter.feed(bytes.data(), bytes.size(), [&](std::string_view line) {
        parsed_t p;
        if (parse_find_index_line(line, p.name, p.origin)) out.push_back(p);
    });
    return out;
}

}  // namespace

TEST(find_index, a_line_gives_the_name_path_state_assembly_times_and_end) {
    std::string name;
    find_origin_t o;
    ASSERT_TRUE(parse_find_index_line("f0001234.jpg\tDCIM\\100CANON\\IMG_0001.JPG\tdeleted\tjoined:3\t"
                                      "2024-06-14 18:30:12+02:00\t2024-06-14 18:30:10\tcut\textra\tfields",
                                      name, o));
    EXPECT_EQ(name, "f0001234.jpg");
    EXPECT_EQ(o.path, "DCIM\\100CANON\\IMG_0001.JPG");
    EXPECT_EQ(o.state, entry_state_t::deleted);
    EXPECT_EQ(o.assembly, assembly_t::joined);
    EXPECT_EQ(o.pieces, 3u);
    EXPECT_EQ(o.completeness, completeness_t::cut);
    EXPECT_EQ(o.modified.clock_seconds, civil_seconds(2024, 6, 14, 18, 30, 12));
    EXPECT_TRUE(o.modified.has_offset);
    EXPECT_EQ(card_time_to_utc(o.modified), civil_seconds(2024, 6, 14, 16, 30, 12)) << "the offset is applied";
    EXPECT_FALSE(o.created.has_offset);
    EXPECT_EQ(o.created.clock_seconds, civil_seconds(2024, 6, 14, 18, 30, 10));

    ASSERT_TRUE(parse_find_index_line("f0000100.mp4\t\t-\tcarved\t\t\twhole", name, o));
    EXPECT_TRUE(o.path.empty());
    EXPECT_EQ(o.state, entry_state_t::none);
    EXPECT_EQ(o.assembly, assembly_t::carved);
    EXPECT_EQ(o.modified.clock_seconds, 0);
    EXPECT_EQ(card_time_to_utc(o.modified), 0);

    ASSERT_TRUE(parse_find_index_line("f1.jpg\tA.JPG\tlive\tchain\t2024-02-30 10:00:00\t\twhole", name, o));
    EXPECT_EQ(o.modified.clock_seconds, 0) << "a date no calendar has is dropped, the line kept";
}

TEST(find_index, lines_no_writer_gives_are_skipped) {
    std::string name;
    find_origin_t o;
    for (std::string_view line : {"# ember index 1", "", "f1.jpg\tA.JPG\tlive\tchain\t\t\t",  // no end
                                  "f1.jpg\tA.JPG\tlive\tchain\t\twhole",                       // six fields
                                  "f1.jpg\tA.JPG\talive\tchain\t\t\twhole", "f1.jpg\tA.JPG\tlive\tjoined:1\t\t\twhole",
                                  "f1.jpg\tA.JPG\tlive\tjoined:x\t\t\twhole", "\tA.JPG\tlive\tchain\t\t\twhole",
                                  "..\\f1.jpg\tA.JPG\tlive\tchain\t\t\twhole"})
        EXPECT_FALSE(parse_find_index_line(line, name, o)) << line;
    std::string long_path(1025, 'a');
    EXPECT_FALSE(parse_find_index_line("f1.jpg\t" + long_path + "\tlive\tchain\t\t\twhole", name, o));
}

TEST(find_index, a_growing_file_gives_each_line_once_it_is_complete_and_drops_overlong_ones) {
    index_line_splitter_c splitter;
    EXPECT_TRUE(parse_lines(splitter, "# ember index 1\nf0000001.jpg\tA\\B.JPG\tlive\tchain\t\t\twh").empty())
        << "a last line without its newline is not yet written";
    std::vector<parsed_t> got = parse_lines(splitter, "ole\n" + std::string(5000, 'x') + "\nf0000002.png\t\t-\tcar");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, "f0000001.jpg");
    EXPECT_EQ(got[0].origin.path, "A\\B.JPG");
    got = parse_lines(splitter, "ved\t\t\twhole\n");
    ASSERT_EQ(got.size(), 1u) << "the line over 4096 bytes is dropped whole, the next one read";
    EXPECT_EQ(got[0].name, "f0000002.png");
}

TEST(clock_time, exif_clocks_and_local_time_convert_both_ways) {
    EXPECT_EQ(parse_exif_clock("2024:06:14 18:30:12"), civil_seconds(2024, 6, 14, 18, 30, 12));
    EXPECT_EQ(civil_seconds(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(civil_seconds(2000, 3, 1, 0, 0, 0), 951868800);
    for (const char* bad : {"0000:00:00 00:00:00", "2024:13:01 00:00:00", "2024-06-14 18:30:12", "2024:06:1", ""})
        EXPECT_EQ(parse_exif_clock(bad), 0) << bad;
    // Whatever the zone, converting the local clock to UTC and back gives the clock again.
    int64_t clock = civil_seconds(2024, 6, 14, 18, 30, 12);
    std::time_t utc = static_cast<std::time_t>(local_clock_to_utc(clock));
    std::tm local{};
#ifdef _WIN32
    ASSERT_EQ(localtime_s(&local, &utc), 0);
#else
    ASSERT_NE(localtime_r(&utc, &local), nullptr);
#endif
    EXPECT_EQ(civil_seconds(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                            local.tm_sec),
              clock);
}
