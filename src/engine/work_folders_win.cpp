#include "engine/work_folders_win.h"

#include <shlwapi.h>

#include "app/app_messages.h"
#include "app/path_text.h"
#include "app/settings.h"
#include "app/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/work_file_names.h"

namespace {

// Deeper than any folder tree the engine writes; a deeper tree is not followed further.
constexpr size_t max_walk_depth = 64;

bool is_absolute(const std::u16string& path) {
    bool has_drive = path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/');
    bool is_unc = path.size() >= 3 && path[0] == u'\\' && path[1] == u'\\';
    return has_drive || is_unc;
}

bool is_dot_name(const wchar_t* name) { return name[0] == L'.'; }

}  // namespace

void delete_work_files(const std::u16string& cache_dir) {
    if (!is_absolute(cache_dir)) return;
    std::vector<std::u16string> names;
    list_matching_names(append_path_component(cache_dir, u"tmp*"), names);
    for (const std::u16string& name : names) {
        std::u16string folder = append_path_component(cache_dir, name);
        DWORD attributes = GetFileAttributesW(wide(folder));
        // A linked folder may lead anywhere; only real folders are emptied.
        if (!is_work_folder_name(name) || attributes == INVALID_FILE_ATTRIBUTES ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        std::vector<std::u16string> entries;
        list_matching_names(folder, entries);
        size_t deleted = 0;
        for (const std::u16string& entry : entries) {
            if (is_work_file_name(entry) && DeleteFileW(wide(append_path_component(folder, entry)))) ++deleted;
        }
        // Fails, as wanted, while anything else is still in the folder.
        if (deleted > 0) RemoveDirectoryW(wide(folder));
    }
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

int32_t load_earlier_scan(void* owner) {
    const std::u16string cache = settings.cache_path;
    std::vector<std::u16string> names;
    list_matching_names(append_path_component(cache, u"tmp.*"), names);
    for (const std::u16string& name : names) {
        std::u16string folder = append_path_component(cache, name);
        if (!PathIsDirectoryW(wide(folder))) continue;
        // The walk passes over dot-names, among them the finds that a killed engine left
        // unfinished (it writes each under its name behind a dot until it is complete).
        folder_walker_c walker(folder);
        std::u16string path;
        while (walker.next(path)) {
            if (path.find(u"thumb_") != std::u16string::npos) continue;
            std::string ansi = to_ansi(path);
            if (!queue_found_file(ansi.c_str(), ansi.size())) return 0;  // the program is ending
        }
    }
    if (owner) PostMessageW(static_cast<HWND>(owner), UM_LOAD_FINISHED, 0, 0);
    return 0;
}
