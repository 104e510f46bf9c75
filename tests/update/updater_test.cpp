// update.exe as a real process against a loopback HTTP server of the test's own: every kind of
// answer ends in its message box and exit code, in the user's language, and nothing hangs.
#include "support/loopback_server_win.h"

#include <gtest/gtest.h>

#include <string>

#include "support/input_win.h"
#include "support/process_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "update/version_check.h"
#include "version.h"

namespace {

using answer_t = loopback_server_c::answer_t;

// Longer than the updater's own deadline, so a box that never comes is a hang and not slowness.
constexpr DWORD box_timeout_ms = 30000;

class updater : public ::testing::Test {
protected:
    void SetUp() override {
        delete_tessera_keys();
        app_ = folder_ / L"app";
        CreateDirectoryW(app_.c_str(), nullptr);
        CreateDirectoryW((app_ + L"\\update").c_str(), nullptr);
        ASSERT_TRUE(copy_program_file(L"language.ini", app_));
        ASSERT_TRUE(copy_program_file(L"update\\update.exe", app_));
    }
    void TearDown() override { delete_tessera_keys(); }

    struct run_t {
        std::wstring first_button, second_button;
        bool shows_second = false;
        DWORD exit_code = STILL_ACTIVE;
    };

    // Starts the updater from another folder with `address`, waits for its box, reads the button
    // captions, answers with `key` and returns how the program ended.
    run_t run(const std::string& address, WPARAM key) {
        run_t result;
        child_process_t child = start_process(app_ + L"\\update\\update.exe",
                                              std::wstring(address.begin(), address.end()), folder_.path());
        HWND box = wait_for_window(child.id, L"Tessera", box_timeout_ms, L"#32770");
        EXPECT_NE(box, nullptr) << "no message for " << address;
        if (box) {
            wait_until([&] { return IsWindowVisible(box) != FALSE; });
            result.first_button = text_of(GetDlgItem(box, 1));
            result.second_button = text_of(GetDlgItem(box, 2));
            RECT frame{}, second{};
            GetWindowRect(box, &frame);
            GetWindowRect(GetDlgItem(box, 2), &second);
            result.shows_second = second.right <= frame.right && second.bottom <= frame.bottom;
            SetForegroundWindow(box);
            press_key(box, key);
        }
        result.exit_code = wait_for_exit(child, 10000);
        end_process(child);
        return result;
    }

    static std::wstring text_of(HWND window) {
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        return text;
    }

    temp_folder_c folder_{L"updater"};
    std::wstring app_;
    loopback_server_c server_;
};

}  // namespace

TEST_F(updater, the_same_version_is_up_to_date_and_a_newer_one_asks_in_the_users_language) {
    server_.set_answer(answer_t::body, TESSERA_VERSION_TEXT "\r\n");
    run_t same = run(server_.address("/files/version.txt?from=test"), VK_RETURN);
    EXPECT_EQ(server_.last_request_line(), "GET /files/version.txt?from=test HTTP/1.1");
    EXPECT_EQ(same.first_button, L"OK");
    EXPECT_FALSE(same.shows_second);
    EXPECT_EQ(same.exit_code, DWORD(update_exit_up_to_date));

    store_text(L"Language", L"Deutsch");
    server_.set_answer(answer_t::body, "99.0.0");
    run_t newer = run(server_.address("/version.txt"), VK_ESCAPE);
    EXPECT_EQ(newer.first_button, L"Ja");
    EXPECT_EQ(newer.second_button, L"Nein");
    EXPECT_TRUE(newer.shows_second);
    EXPECT_EQ(newer.exit_code, DWORD(update_exit_newer_declined)) << "Nein opens nothing";
}

TEST_F(updater, every_bad_answer_and_no_answer_at_all_says_it_could_not_check) {
    struct case_t {
        const char* name;
        answer_t answer;
        std::string body;
    };
    const case_t cases[] = {
        {"malformed", answer_t::body, "<html><body>1.2.3</body></html>"},
        {"empty", answer_t::body, ""},
        {"not found", answer_t::status_404, ""},
        {"oversized", answer_t::endless_body, ""},
        {"silent server", answer_t::silence, ""},
    };
    for (const case_t& c : cases) {
        server_.set_answer(c.answer, c.body);
        run_t got = run(server_.address("/version.txt"), VK_RETURN);
        EXPECT_EQ(got.first_button, L"OK") << c.name;
        EXPECT_FALSE(got.shows_second) << c.name;
        EXPECT_EQ(got.exit_code, DWORD(update_exit_failed)) << c.name;
    }
    std::string nobody = "http://127.0.0.1:" + std::to_string(loopback_server_c::closed_port()) + "/version.txt";
    EXPECT_EQ(run(nobody, VK_RETURN).exit_code, DWORD(update_exit_failed)) << "no server";
    EXPECT_EQ(run("ftp://127.0.0.1/version.txt", VK_RETURN).exit_code, DWORD(update_exit_failed))
        << "only http and https";
}

// Without an argument the updater reads the address Tessera was built with; the placeholder
// site (a reserved .example name) never answers, and the user is told it could not check.
TEST_F(updater, the_built_in_address_that_cannot_be_reached_says_it_could_not_check) {
    const std::string built_in = TESSERA_WEB_ADDRESS;
    if (built_in.find(".example/") == std::string::npos)
        GTEST_SKIP() << "built for " << built_in << ", which may answer";
    run_t got = run("", VK_RETURN);
    EXPECT_EQ(got.first_button, L"OK");
    EXPECT_FALSE(got.shows_second);
    EXPECT_EQ(got.exit_code, DWORD(update_exit_failed));
}
