// The updater's decisions: what counts as a version file, how versions compare and which message
// the user gets, in the language file's words or the built-in English ones.
#include <gtest/gtest.h>

#include <string>

#include "base/language.h"
#include "update/version_check.h"

namespace {

program_version_t version(uint16_t a, uint16_t b, uint16_t c, uint16_t d = 0) {
    program_version_t v;
    v.parts[0] = a, v.parts[1] = b, v.parts[2] = c, v.parts[3] = d;
    return v;
}

}  // namespace

TEST(version_file, takes_two_to_four_numbers_with_blanks_around_and_nothing_else) {
    struct case_t {
        std::string bytes;
        bool is_version;
        program_version_t expected;
    };
    const case_t cases[] = {
        {"1.2.3", true, version(1, 2, 3)},
        {" \t1.2.3\r\n", true, version(1, 2, 3)},
        {"2.0", true, version(2, 0, 0)},
        {"65535.0.0.65535", true, version(65535, 0, 0, 65535)},
        {"00007.1", true, version(7, 1, 0)},
        {"", false, {}},
        {" \n", false, {}},
        {"1", false, {}},
        {"1.2.3.4.5", false, {}},
        {"1..2", false, {}},
        {"1.2.", false, {}},
        {".1.2", false, {}},
        {"1.2.3 beta", false, {}},
        {"1.2\n3.4", false, {}},
        {"65536.0", false, {}},
        {"000001.0", false, {}},
        {"-1.0", false, {}},
        {"<html>1.2.3</html>", false, {}},
        {std::string("1.2\0.3", 6), false, {}},
        {"1.2.3" + std::string(max_version_file_bytes, ' '), false, {}},
    };
    for (const case_t& c : cases) {
        program_version_t got = version(9, 9, 9, 9);
        EXPECT_EQ(parse_version_file(c.bytes, got), c.is_version) << '"' << c.bytes << '"';
        if (c.is_version) EXPECT_EQ(compare_versions(got, c.expected), 0) << c.bytes;
        else EXPECT_EQ(compare_versions(got, version(9, 9, 9, 9)), 0) << "left unchanged: " << c.bytes;
    }
}

TEST(version_check, newer_only_when_the_offered_version_is_greater_in_any_place) {
    program_version_t own = version(1, 4, 2), offered;
    EXPECT_EQ(judge_version_file(true, "1.4.2\n", own, offered), check_outcome_t::up_to_date);
    EXPECT_EQ(judge_version_file(true, "1.3.9", own, offered), check_outcome_t::up_to_date)
        << "a site that lags behind offers nothing";
    EXPECT_EQ(judge_version_file(true, "1.4.2.1", own, offered), check_outcome_t::newer);
    EXPECT_EQ(judge_version_file(true, "1.10", own, offered), check_outcome_t::newer) << "numbers, not text";
    EXPECT_EQ(compare_versions(offered, version(1, 10, 0)), 0);
    EXPECT_EQ(judge_version_file(true, "v2", own, offered), check_outcome_t::failed);
    EXPECT_EQ(judge_version_file(false, "9.0", own, offered), check_outcome_t::failed)
        << "a body that did not arrive whole is not read";
    EXPECT_EQ(version_text(version(1, 10, 0)), u"1.10.0");
    EXPECT_EQ(version_text(version(1, 0, 0, 7)), u"1.0.0.7");
}

TEST(version_check, messages_come_from_the_language_file_or_english_built_in) {
    language_table().clear();
    const program_version_t own = version(1, 0, 0), offered = version(1, 2, 0);
    EXPECT_EQ(check_message(check_outcome_t::newer, own, offered),
              u"Tessera 1.2.0 is available. Open the download page?");
    EXPECT_EQ(check_message(check_outcome_t::up_to_date, own, own),
              u"You have the latest version of Tessera (1.0.0).");
    EXPECT_FALSE(check_message(check_outcome_t::failed, own, own).empty());

    language_table().load("[Deutsch]\nupdate_newer=\"Neu: {1}\"\n", u"Deutsch", true);
    EXPECT_EQ(check_message(check_outcome_t::newer, own, offered), u"Neu: 1.2.0");
    EXPECT_EQ(check_message(check_outcome_t::up_to_date, own, own),
              u"You have the latest version of Tessera (1.0.0).") << "a missing key falls back";
    language_table().clear();
}
