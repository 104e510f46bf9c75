// Recovering ticked records from real files into a real recovery folder: names that never
// replace a file already there, copies that are whole or absent, and a report that counts only
// what was written whole, down to a disk that fills up (support/on_small_disk.sh).
#include "engine/recovery_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "base/app_messages.h"
#include "base/language.h"
#include "base/settings.h"
#include "base/text_format.h"
#include "base/wide_text_win.h"
#include "base/find_index.h"
#include "engine/found_queue_win.h"
#include "support/exif_preview.h"
#include "support/temp_folder_win.h"
#include "ui/message_box_win.h"

namespace {

struct shown_t {
    std::u16string text;
    message_mode_t mode;
};
std::vector<shown_t> shown_messages;

int record_message(HWND, const std::u16string& text, message_mode_t mode) {
    shown_messages.push_back({text, mode});
    return 1;
}

std::string read_all(const std::wstring& path) {
    std::ifstream in(to_ansi(from_wide(path.c_str())), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}


// The recovered files in a folder; the recovery's list is looked at by its own test.
std::vector<std::wstring> names_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && lstrcmpiW(entry.cFileName, L"recovered.csv") != 0)
            names.push_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

class recovery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
        language_table().load("[English]\nrecovery_finished=\"done {1}\"\nno_selection=\"tick\"\n"
                              "recovery_disk_full=\"{1} of {2}, full\"\n"
                              "recovery_folder_refused=\"{1} of {2}, refused\"\n"
                              "recovery_unreadable=\"{1} of {2}, unreadable\"\n",
                              u"English", true);
    }
    void SetUp() override {
        set_message_shower(record_message);
        shown_messages.clear();
        reset_found_queue();
        current_item = -1;
        recovery_stop_requested = false;
        found_ = folder_ / L"found";
        out_ = folder_ / L"out";
        CreateDirectoryW(found_.c_str(), nullptr);
        CreateDirectoryW(out_.c_str(), nullptr);
        settings.recovery_path = from_wide(out_.c_str());
    }
    void TearDown() override { set_message_shower(nullptr); }

    // Queues `count` found files f<i>.<ext> holding `body` and their own index; `missing` are
    // queued only.
    void queue_files(int count, const std::string& ext, std::vector<int> missing = {}, const std::string& body = {}) {
        for (int i = 0; i < count; ++i) {
            std::wstring path = found_ + L"\\f" + std::to_wstring(i) + L"." + std::wstring(ext.begin(), ext.end());
            if (std::find(missing.begin(), missing.end(), i) == missing.end())
                write_file(path, body + "content of " + std::to_string(i));
            queue_found_file(to_ansi(from_wide(path.c_str())).c_str());
        }
    }
    void tick(std::initializer_list<int> indices) {
        queue_lock_c lock;
        for (int i : indices) found_queue().at(i).selected = 1;
    }
    std::wstring out(const wchar_t* name) const { return out_ + L"\\" + name; }
    // Runs a recovery and shows its report as the grid does.
    recovery_report_t recover() {
        recover_selected(nullptr);
        recovery_report_t report = last_recovery_report();
        show_recovery_report(nullptr, report);
        return report;
    }

    temp_folder_c folder_{L"recovery"};
    std::wstring found_, out_;
};

}  // namespace

TEST_F(recovery, ticked_records_are_copied_under_their_queue_numbers_and_reported) {
    queue_files(10, "jpg");
    tick({3, 7});
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    EXPECT_EQ(recover_selected(owner), 2);
    MSG msg{};
    EXPECT_TRUE(PeekMessageW(&msg, owner, UM_RECOVERY_DONE, UM_RECOVERY_DONE, PM_REMOVE));
    DestroyWindow(owner);
    EXPECT_EQ(read_all(out(L"FILE00003.jpg")), "content of 3");
    EXPECT_EQ(read_all(out(L"FILE00007.jpg")), "content of 7");
    EXPECT_EQ(names_in(out_), (std::vector<std::wstring>{L"FILE00003.jpg", L"FILE00007.jpg"}));
    EXPECT_TRUE(show_recovery_report(nullptr, last_recovery_report()));
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0].text, u"done 2");
    EXPECT_EQ(shown_messages[0].mode, mode_done);
}

TEST_F(recovery, a_file_already_in_the_folder_is_never_replaced) {
    queue_files(10, "jpg");
    tick({3, 7});
    write_file(out(L"FILE00003.jpg"), "the user's own photo");
    write_file(out(L"FILE00003-2.jpg"), "an earlier scan's photo");
    write_file(out(L"FILE00007.jpg"), "content of 7");  // this very file, recovered before
    recovery_report_t report = recover();
    EXPECT_EQ(report.recovered, 2);
    EXPECT_EQ(read_all(out(L"FILE00003.jpg")), "the user's own photo");
    EXPECT_EQ(read_all(out(L"FILE00003-2.jpg")), "an earlier scan's photo");
    EXPECT_EQ(read_all(out(L"FILE00003-3.jpg")), "content of 3");
    std::vector<std::wstring> first = names_in(out_);
    EXPECT_EQ(first, (std::vector<std::wstring>{L"FILE00003-2.jpg", L"FILE00003-3.jpg", L"FILE00003.jpg",
                                                L"FILE00007.jpg"}));
    // The same scan recovered again finds its files already there, under the same names.
    EXPECT_EQ(recover().recovered, 2);
    EXPECT_EQ(names_in(out_), first);
}

TEST_F(recovery, with_nothing_ticked_the_current_record_is_recovered_alone) {
    queue_files(8, "png");
    current_item = 5;
    EXPECT_EQ(recover_selected(nullptr), 1);
    EXPECT_EQ(read_all(out(L"FILE00005.png")), "content of 5");
    current_item = -1;
    DeleteFileW(out(L"FILE00005.png").c_str());
    recovery_report_t report = recover();
    EXPECT_EQ(report.chosen, 0);
    EXPECT_TRUE(names_in(out_).empty());
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0].text, u"tick");
}

TEST_F(recovery, unreadable_files_are_told_once_at_the_end_and_not_counted) {
    queue_files(4, "jpg", {0, 2});
    tick({0, 1, 2});
    current_item = 3;  // a ticked file that fails does not bring the current one in
    recovery_report_t report = recover();
    EXPECT_EQ(report.recovered, 1);
    EXPECT_EQ(report.shortfall, recovery_shortfall_t::unreadable);
    EXPECT_EQ(names_in(out_), std::vector<std::wstring>{L"FILE00001.jpg"});
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0].text, u"1 of 3, unreadable");
    EXPECT_EQ(shown_messages[0].mode, mode_warning);
    EXPECT_EQ(recover_one(99), recovery_source_unreadable);  // no such record
}

TEST_F(recovery, a_folder_that_takes_no_file_ends_the_run_and_is_told_with_the_count) {
    queue_files(2, "jpg");
    settings.recovery_path = from_wide((folder_ / L"no\\such\\folder").c_str());
    tick({0, 1});
    EXPECT_EQ(recover_one(0), recovery_destination_uncreatable);
    recovery_report_t report = recover();
    EXPECT_EQ(report.recovered, 0);
    EXPECT_EQ(report.shortfall, recovery_shortfall_t::folder_refused);
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0].text, u"0 of 2, refused");
    EXPECT_EQ(shown_messages[0].mode, mode_error);
    settings.recovery_path.clear();  // never beside the program
    EXPECT_EQ(recover_one(0), recovery_destination_uncreatable);
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
    EXPECT_EQ(recover_selected(nullptr), 3);  // the trimmed copy is known again
    EXPECT_EQ(names_in(out_).size(), 3u);
}

TEST_F(recovery, a_full_disk_keeps_only_whole_files_and_says_how_many_of_how_many) {
    const char* disk = std::getenv("TESSERA_SMALL_DISK");
    if (!disk) GTEST_SKIP() << "no small disk: run through support/on_small_disk.sh as root";
    std::wstring folder(wide(from_ansi(disk)));
    settings.recovery_path = from_ansi(disk);
    const std::string hundred_kib(100 * 1024, 'p');
    queue_files(8, "jpg", {}, hundred_kib);
    tick({0, 1, 2, 3, 4, 5, 6, 7});
    recovery_report_t report = recover();
    EXPECT_EQ(report.chosen, 8);
    EXPECT_EQ(report.shortfall, recovery_shortfall_t::disk_full);
    std::vector<std::wstring> names = names_in(folder);
    ASSERT_EQ(names.size(), size_t(report.recovered)) << "no temporary or cut-short file stays";
    for (int i = 0; i < report.recovered; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"FILE%05d.jpg", i);
        EXPECT_EQ(read_all(folder + L"\\" + name), read_all(found_ + L"\\f" + std::to_wstring(i) + L".jpg")) << i;
    }
    EXPECT_GE(report.recovered, 1);
    EXPECT_LT(report.recovered, 8);
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0].text, decimal_text(int64_t(report.recovered)) + u" of 8, full");

    // Already full before the run: nothing, and the same reason.
    for (const std::wstring& name : names) DeleteFileW((folder + L"\\" + name).c_str());
    std::string filler(300 * 1024, 'f');
    write_file(folder + L"\\filler", filler);
    report = recover();
    EXPECT_EQ(report.recovered, 0);
    EXPECT_EQ(report.shortfall, recovery_shortfall_t::disk_full);
    EXPECT_EQ(names_in(folder), std::vector<std::wstring>{L"filler"});
    EXPECT_EQ(shown_messages.back().text, u"0 of 8, full");
    DeleteFileW((folder + L"\\filler").c_str());
}

TEST_F(recovery, a_find_without_extension_in_a_dotted_folder_stays_in_the_recovery_folder) {
    std::wstring work = found_ + L"\\tmp.1";
    CreateDirectoryW(work.c_str(), nullptr);
    write_file(work + L"\\f0000123", "no extension");
    queue_found_file(to_ansi(from_wide((work + L"\\f0000123").c_str())).c_str());
    tick({0});
    EXPECT_EQ(recover().recovered, 1);
    std::vector<std::wstring> names = names_in(out_);
    ASSERT_EQ(names.size(), 1u) << "not in a folder of its own";
    EXPECT_EQ(names[0].rfind(L"FILE00000.1_f", 0), 0u);  // the extension is what follows the last dot
    EXPECT_EQ(read_all(out_ + L"\\" + names[0]), "no extension");
}

namespace {

// The modified time of a file, as seconds since 1970 UTC.
int64_t modified_seconds(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    uint64_t ticks = uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    return int64_t(ticks / 10000000) - 11644473600;
}

// A JPEG that holds only an Exif block, taken at local clock time `taken` ("YYYY:MM:DD hh:mm:ss").
std::string jpeg_taken(const std::string& taken) {
    return exif_preview::with_app1("\xFF\xD8\xFF\xD9", exif_preview::camera_block(false, "Canon", "Canon EOS 5D", taken));
}

// An MP4 whose movie header says it was made `unix_seconds` after 1970 (UTC), the media data after it.
std::string mp4_made(uint32_t unix_seconds) {
    auto u32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    std::string mvhd = u32(0) + u32(unix_seconds + 2082844800u) + u32(unix_seconds + 2082844800u) + u32(1000) +
                       u32(2000) + std::string(80, '\0');
    std::string moov_body = u32(8 + uint32_t(mvhd.size())) + "mvhd" + mvhd;
    return u32(16) + "ftypisom" + u32(0) + u32(8 + uint32_t(moov_body.size())) + "moov" + moov_body + u32(16) +
           "mdat" + std::string(8, '\x55');
}

// Seconds since 1970 UTC of a local clock time on this machine, by the system's own conversion.
int64_t local_to_utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0}, utc{};
    FILETIME time{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &time)) return -1;
    uint64_t ticks = uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    return int64_t(ticks / 10000000) - 11644473600;
}

}  // namespace

TEST_F(recovery, names_and_times_from_the_card_are_kept_made_safe_and_listed) {
    struct card_file_t {
        const char* line;  // the engine's index line, after the find's name
        std::string body;
        const char* ext = "jpg";
    };
    const card_file_t files[] = {
        {"DCIM\\100CANON\\IMG_0001.JPG\tdeleted\tcontiguous\t2024-06-14 18:30:12+02:00\t\twhole", "first"},
        {"DCIM\\101CANON\\img_0001.jpg\tlive\tchain\t2024-06-15 09:00:00+00:00\t\twhole", "second"},
        {"DCIM\\CON.jpg\tdeleted\tjoined:2\t\t\tcut", "device"},
        {"\t-\tcarved\t\t\twhole", "no entry"},
        // The moment a photo or video was taken wins over the card's time of the file.
        {"DCIM\\100CANON\\IMG_0002.JPG\tdeleted\tcontiguous\t2024-06-14 18:30:12+02:00\t\twhole",
         jpeg_taken("2019:03:04 05:06:07")},
        {"DCIM\\100CANON\\MVI_0003.MP4\tdeleted\tcontiguous\t2024-06-14 18:30:12+02:00\t\twhole",
         mp4_made(1500000000), "mp4"},
    };
    for (size_t i = 0; i < std::size(files); ++i) {
        std::string found_name = "f000000" + std::to_string(i) + "." + files[i].ext;
        std::wstring path = found_ + L"\\" + std::wstring(found_name.begin(), found_name.end());
        write_file(path, files[i].body);
        std::string name, line = found_name + "\t" + files[i].line;
        find_origin_t origin;
        ASSERT_TRUE(parse_find_index_line(line, name, origin)) << line;
        queue_found_file(to_ansi(from_wide(path.c_str())).c_str(), found_path_capacity, &origin);
    }
    tick({0, 1, 2, 3, 4, 5});
    // A list of the user's own under the list's name is left alone.
    write_file(out(L"recovered.csv"), "my own notes");
    EXPECT_EQ(recover().recovered, 6);
    EXPECT_EQ(names_in(out_), (std::vector<std::wstring>{L"FILE00003.jpg", L"IMG_0001.JPG", L"IMG_0002.JPG",
                                                         L"MVI_0003.MP4", L"_CON.jpg", L"img_0001-2.jpg",
                                                         L"recovered-2.csv"}))
        << "the second IMG_0001 differs only in case: it is numbered, not written over the first";
    EXPECT_EQ(read_all(out(L"IMG_0001.JPG")), "first");
    EXPECT_EQ(read_all(out(L"img_0001-2.jpg")), "second");
    EXPECT_EQ(modified_seconds(out(L"IMG_0001.JPG")), 1718382612) << "the entry's time, its offset applied";
    EXPECT_EQ(modified_seconds(out(L"img_0001-2.jpg")), 1718442000);
    EXPECT_EQ(modified_seconds(out(L"IMG_0002.JPG")), local_to_utc(2019, 3, 4, 5, 6, 7)) << "the Exif clock, local";
    EXPECT_EQ(modified_seconds(out(L"MVI_0003.MP4")), 1500000000) << "the movie header's time, UTC";
    EXPECT_EQ(read_all(out(L"recovered.csv")), "my own notes");
    std::string list = read_all(out(L"recovered-2.csv"));
    const std::string expected =
        "\xEF\xBB\xBFSaved name,Original path,Kind,Size,State,Date taken,Camera,SHA-256\r\n"
        "IMG_0001.JPG,DCIM\\100CANON\\IMG_0001.JPG,photo,5,whole,,,"
        "a7937b64b8caa58f03721bb6bacf5c78cb235febe0e70b1b84cd99541461a08e\r\n"
        "img_0001-2.jpg,DCIM\\101CANON\\img_0001.jpg,photo,6,whole,,,"
        "16367aacb67a4a017c8da8ab95682ccb390863780f7114dda0a0e0c55644c7c4\r\n"
        "_CON.jpg,DCIM\\CON.jpg,photo,6,damaged,,,"
        "263a4dbe41488fb87214b0032339dbb9f0c8da14c16dfcf13084bf3c2552eca5\r\n";
    EXPECT_EQ(list.substr(0, expected.size()), expected);
    EXPECT_NE(list.find("\r\nFILE00003.jpg,,photo,8,carved,,,"), std::string::npos) << list;

    // A second recovery appends to the list it made, never rewrites it.
    size_t before = list.size();
    tick({0});
    {
        queue_lock_c lock;
        for (int i : {1, 2, 3, 4, 5}) found_queue().at(i).selected = 0;
    }
    EXPECT_EQ(recover().recovered, 1);
    std::string again = read_all(out(L"recovered-2.csv"));
    EXPECT_EQ(again.substr(0, before), list);
    EXPECT_EQ(again.substr(before, 13), "IMG_0001.JPG,") << "the same bytes already there count as recovered";
}
