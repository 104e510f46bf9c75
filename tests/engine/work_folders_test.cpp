// Deleting, listing, walking and re-loading work files in real folders of the test prefix.
#include "engine/work_folders_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/app_messages.h"
#include "base/settings.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "support/temp_folder_win.h"

namespace {

std::u16string u16(const std::wstring& text) { return from_wide(text.c_str()); }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> queued_paths() {
    queue_lock_c lock;
    std::vector<std::string> paths;
    for (size_t i = 0; i < found_queue().size(); ++i) paths.push_back(found_queue().at(i).path);
    return paths;
}

std::string ansi(const std::wstring& path) { return to_ansi(u16(path)); }

int32_t load_from(const std::u16string& cache_dir) {
    earlier_scan_load_t load;
    load.cache_dir = cache_dir;
    return load_earlier_scan(load);
}

class work_folders : public ::testing::Test {
protected:
    static void SetUpTestSuite() { set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr)); }
    void SetUp() override {
        reset_found_queue();
        cache_ = folder_ / L"cache";
        CreateDirectoryW(cache_.c_str(), nullptr);
        settings.cache_path = u16(cache_);
    }
    void make_folder(const std::wstring& relative) { CreateDirectoryW((cache_ + L"\\" + relative).c_str(), nullptr); }
    void make_file(const std::wstring& relative) { ASSERT_TRUE(write_file(cache_ + L"\\" + relative, "data")); }

    temp_folder_c folder_{L"work"};
    std::wstring cache_;
};

}  // namespace

TEST_F(work_folders, set_aside_folders_lose_only_the_engines_files_and_only_when_marked) {
    make_folder(L"~tmp.1");
    for (const wchar_t* name : {L".tessera_work", L"f0001234.jpg", L"thumb_f0001234.png", L".f0001240.mov", L".ember_summary"})
        make_file(std::wstring(L"~tmp.1\\") + name);
    make_folder(L"~tmp.2");
    make_file(L"~tmp.2\\.tessera_work");
    make_file(L"~tmp.2\\f0000064.mov");
    make_file(L"~tmp.2\\notes.txt");  // the user's, in a folder of ours
    make_folder(L"~tmp.2\\sub");
    make_file(L"~tmp.2\\sub\\f0000128.jpg");
    make_folder(L"~tmp.3");  // named like ours, but not marked
    make_file(L"~tmp.3\\f0000256.jpg");
    make_folder(L"tmp");  // the running scan's
    make_file(L"tmp\\.tessera_work");
    make_file(L"tmp\\f0000512.jpg");
    delete_set_aside_folders(u16(cache_));
    EXPECT_FALSE(exists(cache_ + L"\\~tmp.1")) << "an emptied work folder goes too";
    EXPECT_FALSE(exists(cache_ + L"\\~tmp.2\\f0000064.mov"));
    for (const wchar_t* kept : {L"~tmp.2\\notes.txt", L"~tmp.2\\.tessera_work", L"~tmp.2\\sub\\f0000128.jpg",
                                L"~tmp.3\\f0000256.jpg", L"tmp\\f0000512.jpg"})
        EXPECT_TRUE(exists(cache_ + L"\\" + kept)) << kept;
}

// The background deletion leaves an emptied folder with its marker; it goes as the program
// ends, and a folder still holding anything stays.
TEST_F(work_folders, emptied_set_aside_folders_wait_for_the_end_of_the_run) {
    make_folder(L"~tmp.1");
    make_file(L"~tmp.1\\.tessera_work");
    make_file(L"~tmp.1\\f0001234.jpg");
    make_folder(L"~tmp.2");
    make_file(L"~tmp.2\\.tessera_work");
    make_file(L"~tmp.2\\notes.txt");
    delete_set_aside_folders(u16(cache_), false);
    EXPECT_FALSE(exists(cache_ + L"\\~tmp.1\\f0001234.jpg"));
    EXPECT_TRUE(exists(cache_ + L"\\~tmp.1\\.tessera_work")) << "emptied, still marked";
    remove_emptied_set_aside_folders(u16(cache_));
    EXPECT_FALSE(exists(cache_ + L"\\~tmp.1"));
    EXPECT_TRUE(exists(cache_ + L"\\~tmp.2\\notes.txt"));
    EXPECT_TRUE(exists(cache_ + L"\\~tmp.2\\.tessera_work"));
}

TEST_F(work_folders, listing_names_leaves_out_the_dot_entries) {
    make_folder(L"tmp");
    make_folder(L"tmp.old");
    make_file(L"tmp.txt");
    make_file(L"photo.jpg");
    std::vector<std::u16string> names{u"stale"};
    EXPECT_EQ(list_matching_names(u16(cache_ + L"\\tmp.*"), names), 3);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"tmp", u"tmp.old", u"tmp.txt"}));
    EXPECT_EQ(list_matching_names(u16(cache_), names), 4);  // a folder lists its contents
    EXPECT_EQ(list_matching_names(u16(cache_ + L"\\nothing*"), names), -1);
    EXPECT_TRUE(names.empty());
}

TEST_F(work_folders, the_walk_goes_depth_first_and_passes_over_dot_names) {
    make_folder(L"tmp");
    make_file(L"tmp\\a.jpg");
    make_folder(L"tmp\\sub");
    make_file(L"tmp\\sub\\b.mov");
    make_file(L"tmp\\sub\\c.mov");
    make_file(L"tmp\\z.jpg");
    make_file(L"tmp\\.hidden.jpg");
    make_folder(L"tmp\\.cache");
    make_file(L"tmp\\.cache\\d.jpg");
    std::wstring root = cache_ + L"\\tmp";
    std::replace(root.begin(), root.end(), L'\\', L'/');  // forward slashes are accepted
    folder_walker_c walker(u16(root));
    std::vector<std::u16string> found;
    std::u16string path;
    while (walker.next(path)) found.push_back(path);
    std::u16string base = u16(cache_ + L"\\tmp\\");
    std::vector<std::u16string> sorted = found;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::u16string>{base + u"a.jpg", base + u"sub\\b.mov",
                                                    base + u"sub\\c.mov", base + u"z.jpg"}));
    auto b = std::find(found.begin(), found.end(), base + u"sub\\b.mov");
    auto c = std::find(found.begin(), found.end(), base + u"sub\\c.mov");
    EXPECT_EQ(std::abs(static_cast<int>(b - c)), 1);  // the subfolder's files stand together
}

TEST_F(work_folders, an_earlier_scan_is_loaded_without_thumbnails_unfinished_finds_or_files_of_no_kind) {
    make_folder(L"tmp");
    make_file(L"tmp\\a.jpg");
    make_file(L"tmp\\thumb_a.png");
    make_file(L"tmp\\.f0001234.jpg");  // a find the engine was still writing when it was killed
    make_file(L"tmp\\notes.txt");       // no category takes these: left out without a box
    make_file(L"tmp\\f0002000.xyz");
    make_folder(L"tmp\\sub");
    make_file(L"tmp\\sub\\b.mov");
    make_folder(L"tmp.old");
    make_file(L"tmp.old\\c.jpg");
    make_file(L"tmp.txt");
    make_folder(L"elsewhere");
    make_file(L"elsewhere\\e.jpg");

    EXPECT_EQ(load_from(settings.cache_path), 3);

    std::vector<std::string> paths = queued_paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{ansi(cache_ + L"\\tmp.old\\c.jpg"), ansi(cache_ + L"\\tmp\\a.jpg"),
                                               ansi(cache_ + L"\\tmp\\sub\\b.mov")}));
    queue_lock_c lock;
    EXPECT_STREQ(found_queue().at(0).thumb_path, "");
}

TEST_F(work_folders, a_cache_folder_whose_path_holds_thumb_loads_nothing) {
    std::wstring odd = folder_ / L"thumb_cache";
    CreateDirectoryW(odd.c_str(), nullptr);
    CreateDirectoryW((odd + L"\\tmp").c_str(), nullptr);
    ASSERT_TRUE(write_file(odd + L"\\tmp\\a.jpg", "data"));
    settings.cache_path = u16(odd);
    EXPECT_EQ(load_from(settings.cache_path), 0);
    EXPECT_TRUE(queued_paths().empty());
}

TEST_F(work_folders, an_empty_a_relative_or_a_stopped_load_queues_nothing) {
    EXPECT_EQ(load_from(settings.cache_path), 0);
    make_folder(L"tmp");
    make_file(L"tmp\\a.jpg");
    EXPECT_EQ(load_from(u"cache"), 0) << "a relative cache folder would name the current folder's";
    earlier_scan_load_t stopped;
    stopped.cache_dir = settings.cache_path;
    stopped.must_end.store(true);
    EXPECT_EQ(load_earlier_scan(stopped), 0);
    EXPECT_TRUE(queued_paths().empty());
}
