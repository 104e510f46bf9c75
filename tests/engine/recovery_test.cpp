// Recovering ticked records from real files into a real recovery folder.
#include "engine/recovery_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/app_messages.h"
#include "app/language.h"
#include "app/settings.h"
#include "app/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "support/temp_folder_win.h"
#include "ui/message_box_win.h"

namespace {

std::vector<std::u16string> shown_messages;

int record_message(HWND, const std::u16string& text, message_mode_t mode) {
    EXPECT_EQ(mode, mode_error);
    shown_messages.push_back(text);
    return 1;
}

std::string read_all(const std::wstring& path) {
    std::ifstream in(to_ansi(from_wide(path.c_str())), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class recovery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
        language_table().load("[English]\nrecovery_failed_code1=\"cannot read\"\n"
                              "recovery_failed_code2=\"cannot write\"\n",
                              u"English", true);
    }
    void SetUp() override {
        set_message_shower(record_message);
        shown_messages.clear();
        reset_found_queue();
        current_item = -1;
        found_ = folder_ / L"found";
        out_ = folder_ / L"out";
        CreateDirectoryW(found_.c_str(), nullptr);
        CreateDirectoryW(out_.c_str(), nullptr);
        settings.recovery_path = from_wide(out_.c_str());
    }
    void TearDown() override { set_message_shower(nullptr); }

    // Queues `count` found files f<i>.<ext> holding their own index; `missing` are queued only.
    void queue_files(int count, const std::string& ext, std::vector<int> missing = {}) {
        for (int i = 0; i < count; ++i) {
            std::wstring path = found_ + L"\\f" + std::to_wstring(i) + L"." + std::wstring(ext.begin(), ext.end());
            if (std::find(missing.begin(), missing.end(), i) == missing.end())
                write_file(path, "content of " + std::to_string(i));
            queue_found_file(to_ansi(from_wide(path.c_str())).c_str());
        }
    }
    void tick(std::initializer_list<int> indices) {
        queue_lock_c lock;
        for (int i : indices) found_queue().at(i).selected = 1;
    }
    std::wstring out(const wchar_t* name) const { return out_ + L"\\" + name; }

    temp_folder_c folder_{L"recovery"};
    std::wstring found_, out_;
};

}  // namespace

TEST_F(recovery, ticked_records_are_copied_under_their_queue_numbers) {
    queue_files(10, "jpg");
    tick({3, 7});
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    EXPECT_EQ(recover_selected(owner), 2);
    MSG msg{};
    EXPECT_TRUE(PeekMessageW(&msg, owner, UM_RECOVERY_DONE, UM_RECOVERY_DONE, PM_REMOVE));
    DestroyWindow(owner);
    EXPECT_EQ(read_all(out(L"FILE00003.jpg")), "content of 3");
    EXPECT_EQ(read_all(out(L"FILE00007.jpg")), "content of 7");
    EXPECT_FALSE(exists(out(L"FILE00000.jpg")));
    EXPECT_TRUE(shown_messages.empty());

    write_file(out(L"FILE00003.jpg"), "overwritten?");
    EXPECT_EQ(recover_selected(nullptr), 2);  // a second recovery rewrites the same names
    EXPECT_EQ(read_all(out(L"FILE00003.jpg")), "content of 3");
}

TEST_F(recovery, with_nothing_ticked_the_current_record_is_recovered_alone) {
    queue_files(8, "png");
    current_item = 5;
    EXPECT_EQ(recover_selected(nullptr), 1);
    EXPECT_EQ(read_all(out(L"FILE00005.png")), "content of 5");
    current_item = -1;
    DeleteFileW(out(L"FILE00005.png").c_str());
    EXPECT_EQ(recover_selected(nullptr), 0);
    EXPECT_FALSE(exists(out(L"FILE00005.png")));
}

TEST_F(recovery, only_the_first_failure_is_reported_and_only_copies_count) {
    queue_files(4, "jpg", {0, 2});
    tick({0, 1, 2});
    EXPECT_EQ(recover_selected(nullptr), 1);  // 0 and 2 are missing, 1 was copied
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0], u"cannot read");
    EXPECT_EQ(read_all(out(L"FILE00001.jpg")), "content of 1");
}

TEST_F(recovery, a_failed_tick_is_reported_and_then_the_current_record_is_copied) {
    queue_files(3, "jpg", {0});
    tick({0});
    current_item = 2;
    EXPECT_EQ(recover_selected(nullptr), 1);
    EXPECT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(read_all(out(L"FILE00002.jpg")), "content of 2");
}

TEST_F(recovery, a_destination_that_cannot_be_created_is_code_2) {
    queue_files(2, "jpg");
    settings.recovery_path = from_wide((folder_ / L"no\\such\\folder").c_str());
    tick({0, 1});
    EXPECT_EQ(recover_one(0), recovery_destination_uncreatable);
    EXPECT_EQ(recover_selected(nullptr), 0);
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0], u"cannot write");
    EXPECT_EQ(recover_one(99), recovery_source_unreadable);  // no such record
}

TEST_F(recovery, an_x3f_file_loses_its_trailing_zeros_and_nothing_else_does) {
    std::string body(20000, 'x');
    body[19999] = '\0';  // a zero inside the data, followed by data again
    body += "end";
    std::string padded = body + std::string(1000, '\0');
    ASSERT_TRUE(write_file(found_ + L"\\a.x3f", padded));
    ASSERT_TRUE(write_file(found_ + L"\\b.jpg", padded));
    ASSERT_TRUE(write_file(found_ + L"\\c.X3F", padded));
    for (const wchar_t* name : {L"\\a.x3f", L"\\b.jpg", L"\\c.X3F"})
        queue_found_file(to_ansi(from_wide((found_ + name).c_str())).c_str());
    tick({0, 1, 2});
    EXPECT_EQ(recover_selected(nullptr), 3);
    EXPECT_EQ(read_all(out(L"FILE00000.x3f")), body);
    EXPECT_EQ(read_all(out(L"FILE00001.jpg")), padded);
    EXPECT_EQ(read_all(out(L"FILE00002.X3F")), padded);
}
