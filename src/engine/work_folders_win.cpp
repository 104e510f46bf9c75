#include "engine/work_folders_win.h"

#include <process.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "base/app_messages.h"
#include "base/path_text.h"
#include "base/settings.h"
#include "base/wide_text_win.h"
#include "engine/find_index_file_win.h"
#include "engine/found_queue_win.h"
#include "engine/work_file_names.h"
#include "media/media_kind.h"

namespace {

// Deeper than any folder tree the engine writes; a deeper tree is not followed further.
constexpr size_t max_walk_depth = 64;

bool is_absolute(const std::u16string& path) {
    bool has_drive = path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/');
    bool is_unc = path.size() >= 3 && path[0] == u'\\' && path[1] == u'\\';
    return has_drive || is_unc;
}

bool is_dot_name(const wchar_t* name) { return name[0] == L'.'; }

// A folder, and not a link to one, which may lead anywhere.
bool is_real_folder(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Set-aside names are numbered from the clock; a clash only moves on to the next number.
constexpr int max_set_aside_attempts = 100;
// "tmp.1" to "tmp.99" when the user has a folder "tmp" of their own.
constexpr int max_work_folder_numbers = 100;

}  // namespace

bool is_marked_work_folder(const std::u16string& folder) {
    DWORD attributes = GetFileAttributesW(wide(append_path_component(folder, work_marker_name)));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string prepare_work_folder(const std::u16string& cache_dir) {
    if (!is_absolute(cache_dir)) return {};
    if (!PathIsDirectoryW(wide(cache_dir))) SHCreateDirectoryExW(nullptr, wide(cache_dir), nullptr);
    std::vector<std::u16string> names;
    list_matching_names(append_path_component(cache_dir, u"tmp*"), names);
    uint64_t number = GetTickCount64();
    for (const std::u16string& name : names) {
        std::u16string folder = append_path_component(cache_dir, name);
        if (!is_work_folder_name(name) || !is_real_folder(folder) || !is_marked_work_folder(folder)) continue;
        // A rename in the same folder is one step however much the folder holds. It fails while
        // a file inside is open; the new scan then goes into another work folder.
        for (int attempt = 0; attempt < max_set_aside_attempts; ++attempt, ++number) {
            if (MoveFileW(wide(folder), wide(append_path_component(cache_dir, set_aside_name(number))))) break;
            if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) break;
        }
    }
    std::u16string work = append_path_component(cache_dir, u"tmp");
    for (int n = 1; n <= max_work_folder_numbers; ++n) {
        if (CreateDirectoryW(wide(work), nullptr)) break;
        work = append_path_component(cache_dir, u"tmp." + from_ansi(std::to_string(n)));
    }
    file_handle_c marker(CreateFileW(wide(append_path_component(work, work_marker_name)), GENERIC_WRITE, 0,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!marker.is_valid()) return {};
    return work;
}

namespace {

// Whether a set-aside folder of ours may be removed: only its marker is left.
bool holds_only_marker(const std::u16string& folder) {
    WIN32_FIND_DATAW entry{};
    find_handle_c find(FindFirstFileW(wide(append_path_component(folder, u"*")), &entry));
    if (!find.is_valid()) return false;
    do {
        std::u16string name = from_wide(entry.cFileName);
        if (name != u"." && name != u".." && name != work_marker_name) return false;
    } while (FindNextFileW(find.get(), &entry));
    return true;
}

std::mutex started_caches_lock;
std::vector<std::u16string> started_caches;  // the cache folders whose deletion ran in this run

}  // namespace

void remove_emptied_set_aside_folders(const std::u16string& cache_dir) {
    if (!is_absolute(cache_dir)) return;
    std::vector<std::u16string> names;
    list_matching_names(append_path_component(cache_dir, u"~tmp.*"), names);
    for (const std::u16string& name : names) {
        std::u16string folder = append_path_component(cache_dir, name);
        if (!is_set_aside_name(name) || !is_real_folder(folder) || !is_marked_work_folder(folder)) continue;
        if (!holds_only_marker(folder)) continue;
        DeleteFileW(wide(append_path_component(folder, work_marker_name)));
        RemoveDirectoryW(wide(folder));
    }
}

void remove_emptied_set_aside_folders() {
    std::vector<std::u16string> caches;
    {
        std::lock_guard<std::mutex> lock(started_caches_lock);
        caches.swap(started_caches);
    }
    for (const std::u16string& cache : caches) remove_emptied_set_aside_folders(cache);
}

namespace {

// Deleting a file takes the Wine server (and a file system's journal) several steps, and a
// deletion that never pauses keeps the window's thread waiting for its own turn there: the
// background deletion works for a while and then rests as long.
constexpr uint64_t deletion_burst_ms = 20;

class deletion_pace_c {
public:
    explicit deletion_pace_c(bool is_paced) : is_paced_(is_paced), burst_start_(GetTickCount64()) {}
    void after_each() {
        if (!is_paced_) return;
        uint64_t now = GetTickCount64();
        if (now - burst_start_ < deletion_burst_ms) return;
        Sleep(static_cast<DWORD>(deletion_burst_ms));
        burst_start_ = GetTickCount64();
    }

private:
    bool is_paced_;
    uint64_t burst_start_;
};

}  // namespace

void delete_set_aside_folders(const std::u16string& cache_dir, bool is_emptied_folder_removed, bool is_paced) {
    if (!is_absolute(cache_dir)) return;
    deletion_pace_c pace(is_paced);
    std::vector<std::u16string> names;
    list_matching_names(append_path_component(cache_dir, u"~tmp.*"), names);
    for (const std::u16string& name : names) {
        std::u16string folder = append_path_component(cache_dir, name);
        if (!is_set_aside_name(name) || !is_real_folder(folder) || !is_marked_work_folder(folder)) continue;
        // Listed and deleted name by name, so that a folder of any size costs no more memory
        // than one name.
        WIN32_FIND_DATAW entry{};
        find_handle_c find(FindFirstFileW(wide(append_path_component(folder, u"*")), &entry));
        bool is_anything_else_left = false;
        if (find.is_valid()) {
            do {
                std::u16string entry_name = from_wide(entry.cFileName);
                if (entry_name == u"." || entry_name == u".." || entry_name == work_marker_name) continue;
                bool is_ours = !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && is_work_file_name(entry_name);
                if (!is_ours || !DeleteFileW(wide(append_path_component(folder, entry_name))))
                    is_anything_else_left = true;
                pace.after_each();
            } while (FindNextFileW(find.get(), &entry));
        }
        find.reset();
        if (is_anything_else_left || !is_emptied_folder_removed) continue;
        DeleteFileW(wide(append_path_component(folder, work_marker_name)));
        RemoveDirectoryW(wide(folder));
    }
}

void start_deleting_set_aside_folders(const std::u16string& cache_dir) {
    {
        std::lock_guard<std::mutex> lock(started_caches_lock);
        if (std::find(started_caches.begin(), started_caches.end(), cache_dir) == started_caches.end())
            started_caches.push_back(cache_dir);
    }
    auto* folder = new std::u16string(cache_dir);
    auto procedure = [](void* param) -> unsigned {
        std::unique_ptr<std::u16string> cache(static_cast<std::u16string*>(param));
        delete_set_aside_folders(*cache, false, true);
        return 0;
    };
    uintptr_t thread = _beginthreadex(nullptr, 0, procedure, folder, 0, nullptr);
    if (thread) CloseHandle(reinterpret_cast<HANDLE>(thread));
    else delete folder;
}

int list_matching_names(const std::u16string& pattern, std::vector<std::u16string>& names) {
    names.clear();
    std::u16string search = pattern;
    if (PathIsDirectoryW(wide(search))) search = append_path_component(search, u"*.*");
    WIN32_FIND_DATAW entry{};
    find_handle_c find(FindFirstFileW(wide(search), &entry));
    if (!find.is_valid()) return -1;
    do {
        if (lstrcmpW(entry.cFileName, L".") != 0 && lstrcmpW(entry.cFileName, L"..") != 0)
            names.push_back(from_wide(entry.cFileName));
    } while (FindNextFileW(find.get(), &entry));
    return static_cast<int>(names.size());
}

folder_walker_c::folder_walker_c(std::u16string root) {
    for (char16_t& c : root) {
        if (c == u'/') c = u'\\';
    }
    stack_.push_back(listing_t{std::move(root)});
}

bool folder_walker_c::next(std::u16string& path) {
    while (!stack_.empty()) {
        listing_t& top = stack_.back();
        WIN32_FIND_DATAW entry{};
        bool has_entry;
        if (!top.is_started) {
            top.is_started = true;
            top.find.reset(FindFirstFileW(wide(append_path_component(top.folder, u"*")), &entry));
            has_entry = top.find.is_valid();
        } else {
            has_entry = FindNextFileW(top.find.get(), &entry) != FALSE;
        }
        if (!has_entry) {
            stack_.pop_back();
            continue;
        }
        if (is_dot_name(entry.cFileName)) continue;
        std::u16string full = append_path_component(top.folder, from_wide(entry.cFileName));
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && stack_.size() < max_walk_depth)
                stack_.push_back(listing_t{std::move(full)});
            continue;
        }
        path = std::move(full);
        return true;
    }
    return false;
}

int32_t load_earlier_scan(earlier_scan_load_t& load) {
    if (!is_absolute(load.cache_dir)) return 0;
    int32_t queued = 0;
    std::vector<std::u16string> names;
    list_matching_names(append_path_component(load.cache_dir, u"tmp.*"), names);
    for (const std::u16string& name : names) {
        std::u16string folder = append_path_component(load.cache_dir, name);
        if (!PathIsDirectoryW(wide(folder))) continue;
        // The walk passes over dot-names, among them the finds that a killed engine left
        // unfinished (it writes each under its name behind a dot until it is complete).
        folder_walker_c walker(folder);
        find_index_file_c index(folder);
        std::u16string path;
        while (walker.next(path)) {
            if (load.must_end.load()) return queued;
            if (path.find(u"thumb_") != std::u16string::npos) continue;
            std::string ansi = to_ansi(path);
            // A file no category takes (a note the user keeps there) is no find: it is left out
            // without a word. Only what the engine reports during a search asks the user.
            if (find_media_kind(make_found_file(ansi.c_str(), ansi.size()).ext) == media_none) continue;
            size_t separator = ansi.find_last_of("\\/");
            find_origin_t origin;
            bool is_known = index.take(ansi.substr(separator == std::string::npos ? 0 : separator + 1), origin);
            if (!queue_found_file(ansi.c_str(), ansi.size(), is_known ? &origin : nullptr)) return queued;  // the program is ending
            ++queued;
        }
    }
    return queued;
}

int32_t load_earlier_scan_task(void* load) { return load_earlier_scan(*static_cast<earlier_scan_load_t*>(load)); }
