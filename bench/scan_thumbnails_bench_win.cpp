// The thumbnails of a scan's finds as the program makes them: the real found queue, its thumbnail
// workers (one a processor, at most four) and the real builder (media facts, then the thumbnail).
// Every file of FOLDER is queued at once, as a fast card's finds arrive in a burst, which is the
// worst case for the time from the last find to the last thumbnail. Run by bench/thumbnails.sh.
//   scan_thumbnails_bench FOLDER
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/found_file.h"
#include "engine/found_queue_win.h"
#include "media/thumbnail_win.h"

namespace {

double now() {
    LARGE_INTEGER frequency{}, counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

double process_cpu_seconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scan_thumbnails_bench FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    std::vector<std::string> paths;
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 1;
    do {
        std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (name.rfind("thumb_", 0) == 0) DeleteFileA((folder + "\\" + name).c_str());
        else paths.push_back(folder + "\\" + name);
    } while (FindNextFileA(find, &found));
    FindClose(find);

    set_queue_lock(CreateMutexW(nullptr, FALSE, nullptr));
    set_thumbnail_builder(thumbnail_builder);
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    if (!start_thumbnail_worker()) return 1;
    double start = now(), cpu_start = process_cpu_seconds();
    for (const std::string& path : paths) queue_found_file(path.c_str(), path.size() + 1);
    double last_find = now();
    uint32_t done = 0;
    while (done < paths.size()) {
        Sleep(10);
        queue_lock_c lock;
        done = found_queue().thumbs_done;
    }
    double last_thumbnail = now(), cpu = process_cpu_seconds() - cpu_start;
    size_t made = 0;
    for (const std::string& path : paths) {
        found_file_t record = make_found_file(path.c_str(), path.size());
        make_thumb_path(record.path, record.thumb_path);
        if (GetFileAttributesA(record.thumb_path) != INVALID_FILE_ATTRIBUTES) ++made;
    }
    close_found_queue();
    std::printf("%zu finds, %zu thumbnails, %d workers: %.1f s from the last find to the last thumbnail "
                "(%.1f s in all), %.1f thumbnails/s, CPU %.1f ms a find\n",
                paths.size(), made, thumbnail_worker_count(system.dwNumberOfProcessors), last_thumbnail - last_find,
                last_thumbnail - start, paths.size() / (last_thumbnail - start), 1000 * cpu / paths.size());
    return 0;
}
