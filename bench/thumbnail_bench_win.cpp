// Makes the thumbnail of every file in one folder, as the thumbnail worker does, and reports
// thumbnails per second and the process's peak memory. Run by bench/thumbnails.sh.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/found_file.h"
#include "media/thumbnail_win.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: thumbnail_bench FOLDER\n");
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
        if (name.rfind("thumb_", 0) == 0) {
            DeleteFileA((folder + "\\" + name).c_str());
            continue;
        }
        paths.push_back(folder + "\\" + name);
    } while (FindNextFileA(find, &found));
    FindClose(find);

    LARGE_INTEGER frequency{}, start{}, end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int made = 0;
    for (const std::string& path : paths) {
        found_file_t record = make_found_file(path.c_str(), path.size());
        make_thumb_path(record.path, record.thumb_path);
        if (build_thumbnail(record) == 0) ++made;
    }
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("files %zu, thumbnails %d, %.2f s, %.2f thumbnails/s, peak working set %.1f MiB, "
                "peak private %.1f MiB\n",
                paths.size(), made, seconds, seconds > 0 ? made / seconds : 0.0,
                memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
    return 0;
}
