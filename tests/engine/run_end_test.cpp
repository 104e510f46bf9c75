// The engine's summary file as the front end reads it, and the paths it accepts from the engine.
#include "engine/run_end.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/work_path.h"

TEST(run_end, a_summary_is_read_only_when_complete_bounded_and_consistent) {
    run_summary_t summary;
    ASSERT_TRUE(parse_run_summary("total_sectors=3244032\r\nscanned_sectors=3244032\nunreadable_sectors=2048\n"
                                  "files=12\nexit=8\nfuture_key=anything\n",
                                  summary));
    EXPECT_EQ(summary.total_sectors, 3244032u);
    EXPECT_EQ(summary.unreadable_sectors, 2048u);
    EXPECT_EQ(summary.files, 12u);
    EXPECT_EQ(summary.exit_code, 8);

    const std::string good = "total_sectors=10\nscanned_sectors=4\nunreadable_sectors=1\nfiles=0\nexit=9\n";
    ASSERT_TRUE(parse_run_summary(good, summary));
    for (const std::string& bad : {
             std::string("total_sectors=10\nscanned_sectors=4\nfiles=0\nexit=9\n"),  // a count missing
             good + "files=-1\n", good + "files=1e3\n", good + "files=\n", good + "files= 1\n",
             good + "files=18446744073709551616\n",                                 // past 64 bits
             good + "exit=256\n",
             std::string("total_sectors=10\nscanned_sectors=11\nunreadable_sectors=1\nfiles=0\nexit=0\n"),
             std::string("total_sectors=10\nscanned_sectors=4\nunreadable_sectors=11\nfiles=0\nexit=8\n"),
             good + std::string(max_run_summary_bytes, '\n'),
         })
        EXPECT_FALSE(parse_run_summary(bad, summary)) << bad.substr(0, 120);
    EXPECT_EQ(summary.exit_code, 9) << "a rejected summary changes nothing";
}

TEST(run_end, exit_codes_decide_the_end) {
    EXPECT_EQ(run_end_of_exit_code(0), run_end_t::finished);
    EXPECT_EQ(run_end_of_exit_code(3), run_end_t::card_unreadable);
    EXPECT_EQ(run_end_of_exit_code(5), run_end_t::not_started);
    EXPECT_EQ(run_end_of_exit_code(7), run_end_t::cache_full);
    EXPECT_EQ(run_end_of_exit_code(8), run_end_t::read_errors);
    EXPECT_EQ(run_end_of_exit_code(9), run_end_t::card_lost);
    EXPECT_EQ(run_end_of_exit_code(1), run_end_t::ended_early);
    EXPECT_EQ(run_end_of_exit_code(0xC0000005u), run_end_t::ended_early);
    EXPECT_EQ(run_end_message_key(run_end_t::finished), nullptr);
    EXPECT_EQ(run_end_message_key(run_end_t::stopped), nullptr);
}

TEST(work_path, only_plain_names_below_the_work_folder_are_accepted) {
    const std::string work = "C:\\Cache\\tmp";
    for (const char* path : {"C:\\Cache\\tmp\\f0001234.jpg", "c:/cache/TMP/f0001234.jpg", "C:\\Cache\\tmp\\sub\\f0001234.mov"})
        EXPECT_TRUE(is_path_inside_folder(path, work)) << path;
    EXPECT_TRUE(is_path_inside_folder("C:\\Cache\\tmp\\f0001234.jpg", work + "\\"));
    for (const char* path : {"C:\\Cache\\tmp\\..\\f0001234.jpg", "C:\\Cache\\tmp\\sub\\..\\..\\x.jpg",
                             "C:\\Cache\\tmp2\\f0001234.jpg", "C:\\Cache\\tmp.old\\f0001234.jpg",
                             "D:\\Cache\\tmp\\f0001234.jpg", "C:\\Cache\\tmp", "C:\\Cache\\tmp\\",
                             "C:\\Cache\\tmp\\\\f0001234.jpg", "C:\\Cache\\tmp\\.\\f0001234.jpg",
                             "C:\\Cache\\tmp\\...\\f0001234.jpg", "C:\\Cache\\tmp\\f0001234.jpg:stream",
                             "C:\\Cache\\tmp\\D:\\f0001234.jpg", "C:\\Cache\\tmp\\f*.jpg", "\\\\server\\tmp\\f0001234.jpg"})
        EXPECT_FALSE(is_path_inside_folder(path, work)) << path;
    EXPECT_FALSE(is_path_inside_folder("C:\\f0001234.jpg", ""));
}
