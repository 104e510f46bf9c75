// A new user's walk through the real Tessera.exe with the real mouse, the real engine and the
// sample card behind the removable drive X: (support/on_sample_card.sh): new search, choose X:,
// tick photo, video and audio, next, the scan finishes, a photo's details, tick everything,
// recover; the recovered files are the card's files byte for byte. Started again, resume shows
// the earlier finds without an engine.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/input_win.h"
#include "support/process_win.h"
#include "support/sample_card_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "support/window_capture_win.h"

namespace {

constexpr DWORD start_timeout_ms = 30000;
constexpr DWORD scan_timeout_ms = 120000;
// Control ids of the pages.
constexpr int id_home_start = 1, id_home_resume = 2;
constexpr int id_next = 3, id_card_list = 8, id_photo = 11, id_video = 12, id_audio = 13;
constexpr int id_close = 4, id_recover = 5, id_select_all = 6, id_toggle = 7, id_stop = 8, id_tree = 10;

std::string read_all(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::wstring text_of(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// A real click in the middle of a window, or at client (x, y) of it.
void click_window(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    click_at((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    Sleep(300);
}
void click_client(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    click_at(p.x, p.y);
    Sleep(300);
}

// A visible dialog box of the process, or null after the timeout.
HWND wait_for_box(DWORD process_id, DWORD timeout_ms) {
    HWND box = nullptr;
    wait_until([&] {
        box = nullptr;
        for (HWND w = FindWindowW(L"#32770", nullptr); w; w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == process_id && IsWindowVisible(w)) box = w;
        }
        return box != nullptr;
    }, timeout_ms);
    return box;
}

// The visible rows of a tree view in order, as the control lists them (no pointers cross the
// process boundary: items are handles).
std::vector<HTREEITEM> visible_rows(HWND tree) {
    std::vector<HTREEITEM> rows;
    for (auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0)); item;
         item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, reinterpret_cast<LPARAM>(item))))
        rows.push_back(item);
    return rows;
}

class walk : public ::testing::Test {
protected:
    void SetUp() override {
        delete_tessera_keys();
        app_ = folder_ / L"app";
        CreateDirectoryW(app_.c_str(), nullptr);
        CreateDirectoryW((app_ + L"\\Ember").c_str(), nullptr);
        for (const wchar_t* name : {L"Tessera.exe", L"language.ini", L"libraw.dll", L"libjpeg-62.dll",
                                   L"Ember\\embsrv.exe"})
            ASSERT_TRUE(copy_program_file(name, app_)) << name;
        recovered_ = folder_ / L"recovered";
        CreateDirectoryW(recovered_.c_str(), nullptr);
        std::wstring cache = folder_ / L"cache";
        auto store = [](const wchar_t* name, const std::wstring& text) {
            store_value(L"SOFTWARE\\Tessera", name, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
        };
        store(L"CachePath", cache);
        store(L"RecoveryPath", recovered_);
        store(L"Language", L"English");
    }
    void TearDown() override {
        end_process(tessera_);
        delete_tessera_keys();
    }

    void start_tessera() {
        tessera_ = start_process(app_ + L"\\Tessera.exe", L"", app_);
        ASSERT_NE(tessera_.process, nullptr);
        main_ = wait_for_window(tessera_.id, L"Tessera", start_timeout_ms, L"TesseraMainWindow");
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(wait_until([&] { return IsWindowVisible(main_) != FALSE; }, start_timeout_ms));
    }
    HWND page(const wchar_t* class_name) { return FindWindowExW(main_, nullptr, class_name, nullptr); }
    bool is_shown(const wchar_t* class_name) {
        return wait_until([&] { return IsWindowVisible(page(class_name)) != FALSE; }, start_timeout_ms);
    }

    // Drops the card list down and clicks the row of drive X:.
    void choose_card_x(HWND options) {
        HWND cards = GetDlgItem(options, id_card_list);
        int row = -1;
        for (int i = 0; i < int(SendMessageW(cards, CB_GETCOUNT, 0, 0)); ++i) {
            wchar_t label[256] = {};
            if (SendMessageW(cards, CB_GETLBTEXTLEN, i, 0) < 255) SendMessageW(cards, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(label));
            if (std::wstring(label).find(L"X:") != std::wstring::npos) row = i;
        }
        ASSERT_GE(row, 0) << "X: is not in the card list";
        click_window(cards);
        HWND list = nullptr;
        ASSERT_TRUE(wait_until([&] {
            list = FindWindowW(L"ComboLBox", nullptr);
            return list && IsWindowVisible(list);
        }));
        int height = int(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
        int top = int(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
        click_client(list, 20, (row - top) * height + height / 2);
        EXPECT_EQ(SendMessageW(cards, CB_GETCURSEL, 0, 0), row);
    }

    // Shows a category of the tree by clicking its row, then ticks every file of it.
    void tick_everything_of(HWND scan, int root_position) {
        HWND tree = GetDlgItem(scan, id_tree);
        auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
        for (int i = 0; i < root_position && root; ++i)
            root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(root)));
        std::vector<HTREEITEM> rows = visible_rows(tree);
        auto row = std::find(rows.begin(), rows.end(), root);
        ASSERT_NE(row, rows.end());
        int height = int(SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0));
        click_client(tree, 50, int(row - rows.begin()) * height + height / 2);
        HWND all = GetDlgItem(scan, id_select_all);
        if (SendMessageW(all, BM_GETCHECK, 0, 0) == BST_CHECKED) click_client(all, 6, 10);
        click_client(all, 6, 10);
    }

    // Tessera started afresh: resume loads what the cache folder holds and shows it on the scan
    // page with no engine behind it.
    void expect_resume_shows_the_earlier_finds() {
        start_tessera();
        ASSERT_TRUE(is_shown(L"TesseraHomePage"));
        click_window(GetDlgItem(page(L"TesseraHomePage"), id_home_resume));
        ASSERT_TRUE(is_shown(L"TesseraScanPage"));
        HWND scan = page(L"TesseraScanPage");
        EXPECT_TRUE(wait_until([&] { return SendMessageW(GetDlgItem(scan, id_tree), TVM_GETCOUNT, 0, 0) > 3; }))
            << "extensions under the roots";
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(scan, id_toggle))) << "results only";
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(scan, id_stop)));
    }

    temp_folder_c folder_{L"walk"};
    std::wstring app_, recovered_;
    child_process_t tessera_;
    HWND main_ = nullptr;
};

}  // namespace

TEST_F(walk, a_new_user_gets_the_card_s_deleted_files_back_whole_and_finds_them_again_after_a_restart) {
    std::wstring originals = sample_card_path(L"TESSERA_CARD_ORIGINALS");
    ASSERT_FALSE(originals.empty()) << "run through support/on_sample_card.sh";
    start_tessera();
    ASSERT_TRUE(is_shown(L"TesseraHomePage"));
    click_window(GetDlgItem(page(L"TesseraHomePage"), id_home_start));
    ASSERT_TRUE(is_shown(L"TesseraOptionsPage")) << "new search leads to the options";

    HWND options = page(L"TesseraOptionsPage");
    choose_card_x(options);
    for (int id : {id_photo, id_video, id_audio}) {
        click_client(GetDlgItem(options, id), 6, 12);
        EXPECT_EQ(SendMessageW(GetDlgItem(options, id), BM_GETCHECK, 0, 0), BST_CHECKED) << id;
    }
    click_window(GetDlgItem(options, id_next));
    // Wine sizes X: by the folder behind it, so the card looks larger than the cache's free space
    // and the cache warning asks first; its OK goes on, as a user would.
    if (HWND warning = wait_for_box(tessera_.id, 3000)) click_window(GetDlgItem(warning, IDOK));
    ASSERT_TRUE(is_shown(L"TesseraScanPage")) << "next starts the search";

    HWND scan = page(L"TesseraScanPage");
    HWND toggle = GetDlgItem(scan, id_toggle);
    ASSERT_TRUE(wait_until([&] { return text_of(toggle) == L"Start"; }, scan_timeout_ms)) << "the scan ends";
    // The toggle's text changes a moment before the stop button hides.
    EXPECT_TRUE(wait_until([&] { return !IsWindowVisible(GetDlgItem(scan, id_stop)); }));
    EXPECT_GT(SendMessageW(GetDlgItem(scan, id_tree), TVM_GETCOUNT, 0, 0), 3) << "extensions under the roots";

    // A photo's details appear in the information column.
    RECT client{};
    GetClientRect(scan, &client);
    const RECT facts{client.right - 120, 112, client.right - 15, 168};
    window_capture_c before(scan, window_capture_c::source_t::screen);
    HWND grid = FindWindowExW(scan, nullptr, L"TesseraPreviewGrid", nullptr);
    click_client(grid, 60, 50);
    window_capture_c after(scan, window_capture_c::source_t::screen);
    bool has_changed = false;
    for (int y = facts.top; y < facts.bottom; ++y)
        for (int x = facts.left; x < facts.right; ++x) has_changed = has_changed || before.at(x, y) != after.at(x, y);
    EXPECT_TRUE(has_changed) << "a photo's details";
    for (int root = 0; root < 3; ++root) tick_everything_of(scan, root);
    click_window(GetDlgItem(scan, id_recover));
    HWND box = wait_for_box(tessera_.id, scan_timeout_ms);
    ASSERT_NE(box, nullptr) << "the recovery reports its end";
    click_window(GetDlgItem(box, 2));  // OK, which does not open the folder

    // Each original comes back whole, under the name the card remembers, or the queue index's name
    // when no entry names it.
    std::map<std::string, std::wstring> recovered;  // bytes to name
    for (const std::wstring& name : files_in(recovered_))
        if (name != L"recovered.csv") recovered.emplace(read_all(recovered_ + L"\\" + name), name);
    std::vector<std::wstring> expected = files_in(originals);
    ASSERT_GE(expected.size(), 8u);
    size_t named = 0;
    for (const std::wstring& name : expected) {
        auto found = recovered.find(read_all(originals + L"\\" + name));
        if (found == recovered.end()) {
            ADD_FAILURE() << "not recovered whole: " << std::string(name.begin(), name.end());
            continue;
        }
        const std::wstring& saved = found->second;
        EXPECT_TRUE(saved.rfind(L"FILE", 0) == 0 || _wcsicmp(saved.c_str(), name.c_str()) == 0 ||
                    (saved[0] == L'_' && _wcsicmp(saved.c_str() + 1, name.c_str() + 1) == 0))
            << std::string(saved.begin(), saved.end()) << " is not the name of " << std::string(name.begin(), name.end());
        named += saved.rfind(L"FILE", 0) != 0;
    }
    EXPECT_GE(named * 2, expected.size()) << "the card's entries name most of its files";

    // Closed and started again: resume shows the finds left in the cache, with no engine.
    click_window(GetDlgItem(scan, id_close));
    ASSERT_NE(wait_for_exit(tessera_, start_timeout_ms), DWORD(STILL_ACTIVE));
    end_process(tessera_);
    expect_resume_shows_the_earlier_finds();
}

TEST_F(walk, resume_after_a_restart_shows_the_finds_left_in_the_cache) {
    std::wstring originals = sample_card_path(L"TESSERA_CARD_ORIGINALS");
    ASSERT_FALSE(originals.empty()) << "run through support/on_sample_card.sh";
    std::wstring work = folder_ / L"cache\\tmp";
    CreateDirectoryW((folder_ / L"cache").c_str(), nullptr);
    CreateDirectoryW(work.c_str(), nullptr);
    int n = 0;
    for (const std::wstring& name : files_in(originals))
        ASSERT_TRUE(CopyFileW((originals + L"\\" + name).c_str(),
                              (work + L"\\f" + std::to_wstring(1000 + n++) + name.substr(name.rfind(L'.'))).c_str(), FALSE));
    expect_resume_shows_the_earlier_finds();
}
