// Makes the thumbnail of every file in one folder, as the thumbnail workers do, and reports
// thumbnails per second and the process's peak memory. Run by bench/thumbnails.sh.
//   thumbnail_bench FOLDER              the thumbnail builder, on one thread
//   thumbnail_bench FOLDER --threads N  the builder on N threads, each taking the next file
//   thumbnail_bench FOLDER --before     the way thumbnails were made before the reduced decode:
//                                       a JPEG's camera preview unchecked, else GDI+ at full
//                                       size; RAW developed at full size
//   thumbnail_bench FOLDER --half       RAW developed by LibRaw at half size, as before binning
//   thumbnail_bench FOLDER --steps      per JPEG: reading, the walk, the reduced decode, saving;
//                                       per RAW: opening, unpacking, binning or developing
// raw_library_win.h first: libraw wants winsock2.h ahead of windows.h.
#include "raw/raw_library_win.h"
#include <windows.h>
#include <process.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/wide_text_win.h"
#include "base/found_file.h"
#include "picture/jpeg_decode_win.h"
#include "media/jpeg_header.h"
#include "media/jpeg_whole.h"
#include "picture/picture_io_win.h"
#include "base/unicode_text.h"
#include "media/thumbnail_group.h"
#include "media/thumbnail_win.h"
#include "raw/raw_decode_win.h"
#include "raw/raw_mosaic_win.h"
#include "raw/sensor_bin.h"

namespace {

// User and kernel time of the whole process so far, in seconds: unlike the wall clock it does not
// grow when other programs share the processors.
double process_cpu_seconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// The calling thread's user and kernel time, in seconds, for timing steps on a busy machine.
double thread_cpu_seconds() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

double now() {
    LARGE_INTEGER frequency{}, counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// The earlier builder: the preview whenever it shows the whole photo, unchecked; else GDI+.
int build_before(found_file_t& record) {
    std::u16string path = from_ansi(record.path), thumb_path = from_ansi(record.thumb_path);
    picture_t picture;
    if (find_thumbnail_group(lower_extension(path)) == thumbnail_group_t::raw) {
        if (decode_raw_photo(raw_library(), record, path, picture, raw_size_t::full) != 0) return -1;
        save_thumbnail(picture, thumb_path, {});
        return 0;
    }
    std::vector<uint8_t> bytes;
    if (read_whole_file(path, bytes) != 0) return -1;
    jpeg_header_t header;
    picture_t preview;
    pixel_area_t area;
    if (read_jpeg_header(bytes.data(), bytes.size(), header) == jpeg_header_result_t::ok && header.thumbnail_size &&
        decode_picture(bytes.data() + header.thumbnail_offset, header.thumbnail_size, preview) == 0 &&
        find_preview_area(picture_rows(preview), header.width, header.height, thumbnail_width, thumbnail_height,
                          area)) {
        save_thumbnail(preview, thumb_path, {}, &area);
        return 0;
    }
    if (decode_picture(bytes, picture) != 0) return -1;
    save_thumbnail(picture, thumb_path, {});
    return 0;
}

// The time of each step of a JPEG thumbnail, summed over the files.
void time_jpeg_steps(const std::vector<std::string>& paths) {
    double read = 0, walk = 0, decode = 0, save = 0;
    for (const std::string& path : paths) {
        double t0 = thread_cpu_seconds();
        std::vector<uint8_t> bytes;
        if (read_whole_file(from_ansi(path), bytes) != 0) continue;
        double t1 = thread_cpu_seconds();
        check_jpeg_whole(bytes.data(), bytes.size());
        double t2 = thread_cpu_seconds();
        picture_t picture;
        jpeg_decode_t info;
        decode_jpeg_reduced(bytes.data(), bytes.size(), thumbnail_width, thumbnail_height, picture, info);
        double t3 = thread_cpu_seconds();
        save_thumbnail(picture, from_ansi(path + ".thumb_step.png"), {});
        double t4 = thread_cpu_seconds();
        DeleteFileA((path + ".thumb_step.png").c_str());
        read += t1 - t0, walk += t2 - t1, decode += t3 - t2, save += t4 - t3;
    }
    double n = paths.empty() ? 1 : double(paths.size());
    std::printf("CPU per file: read %.1f ms, walk %.1f ms, reduced decode %.1f ms, save %.1f ms\n", 1000 * read / n,
                1000 * walk / n, 1000 * decode / n, 1000 * save / n);
}

// The time of each step of a RAW thumbnail, summed over the files: opening, unpacking the sensor
// data, binning it to thumbnail size; and, for comparison, LibRaw's development at half size.
void time_raw_steps(const std::vector<std::string>& paths) {
    const raw_api_t& raw = raw_library().api();
    if (!raw_library().is_loaded()) return;
    double open = 0, unpack = 0, bin = 0, process = 0, image = 0, decode = 0, save = 0;
    int binned = 0;
    for (const std::string& path : paths) {
        std::vector<uint8_t> bytes;
        if (read_whole_file(from_ansi(path), bytes) != 0) continue;
        libraw_data_t* handle = raw.init(0);
        handle->params.half_size = 1;
        double t0 = thread_cpu_seconds();
        bool ok = raw.open_buffer(handle, bytes.data(), bytes.size()) == 0;
        double t1 = thread_cpu_seconds();
        ok = ok && raw.unpack(handle) == 0;
        double t2 = thread_cpu_seconds();
        sensor_mosaic_t mosaic;
        binned_picture_t picture;
        if (ok && describe_mosaic(*handle, mosaic) &&
            bin_sensor(mosaic, thumbnail_width, thumbnail_height, picture) == 0)
            ++binned;
        double t3 = thread_cpu_seconds();
        ok = ok && raw.dcraw_process(handle) == 0;
        double t4 = thread_cpu_seconds();
        if (libraw_processed_image_t* made = ok ? raw.dcraw_make_mem_image(handle, nullptr) : nullptr)
            raw.dcraw_clear_mem(made);
        double t5 = thread_cpu_seconds();
        raw.close(handle);
        // The whole decode as the thumbnail workers call it, with reading and the log line, and saving.
        found_file_t record = make_found_file(path.c_str(), path.size());
        picture_t thumbnail;
        double t6 = thread_cpu_seconds();
        decode_raw_photo(raw_library(), record, from_ansi(path), thumbnail);
        double t7 = thread_cpu_seconds();
        save_thumbnail(thumbnail, from_ansi(path + ".thumb_step.png"), {});
        double t8 = thread_cpu_seconds();
        DeleteFileA((path + ".thumb_step.png").c_str());
        open += t1 - t0, unpack += t2 - t1, bin += t3 - t2, process += t4 - t3, image += t5 - t4;
        decode += t7 - t6, save += t8 - t7;
    }
    double n = paths.empty() ? 1 : double(paths.size());
    std::printf("CPU per RAW file: open %.1f ms, unpack %.1f ms, bin %.1f ms (%d of %zu binned); "
                "instead developed at half size %.1f ms, image %.1f ms; whole decode %.1f ms, save %.1f ms\n",
                1000 * open / n, 1000 * unpack / n, 1000 * bin / n, binned, paths.size(), 1000 * process / n,
                1000 * image / n, 1000 * decode / n, 1000 * save / n);
}

// RAW developed by LibRaw at half size, the way RAW thumbnails were made before binning.
int build_half(found_file_t& record) {
    std::u16string path = from_ansi(record.path);
    if (find_thumbnail_group(lower_extension(path)) != thumbnail_group_t::raw) return build_thumbnail(record);
    picture_t picture;
    if (decode_raw_photo(raw_library(), record, path, picture, raw_size_t::half) != 0) return -1;
    save_thumbnail(picture, from_ansi(record.thumb_path), {});
    return 0;
}

struct run_t {
    const std::vector<std::string>* paths = nullptr;
    bool is_before = false, is_half = false;
    std::atomic<size_t> next{0};
    std::atomic<int> made{0};
};

unsigned __stdcall build_files(void* argument) {
    run_t& run = *static_cast<run_t*>(argument);
    for (size_t i; (i = run.next++) < run.paths->size();) {
        const std::string& path = (*run.paths)[i];
        found_file_t record = make_found_file(path.c_str(), path.size());
        make_thumb_path(record.path, record.thumb_path);
        int result = run.is_before ? build_before(record) : run.is_half ? build_half(record) : build_thumbnail(record);
        if (result == 0) ++run.made;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode;
    int threads = 1;
    bool is_usage_wrong = argc < 2;
    for (int i = 2; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--threads" && i + 1 < argc) threads = std::atoi(argv[++i]);
        else if ((option == "--steps" || option == "--before" || option == "--half") && mode.empty()) mode = option;
        else is_usage_wrong = true;
    }
    if (is_usage_wrong || threads < 1 || threads > 16) {
        std::fprintf(stderr, "usage: thumbnail_bench FOLDER [--steps | --before | --half] [--threads N]\n");
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

    if (mode == "--steps") {
        bool is_raw = !paths.empty() && find_thumbnail_group(lower_extension(from_ansi(paths[0]))) ==
                                            thumbnail_group_t::raw;
        if (is_raw) time_raw_steps(paths);
        else time_jpeg_steps(paths);
        return 0;
    }
    run_t run;
    run.paths = &paths;
    run.is_before = mode == "--before";
    run.is_half = mode == "--half";
    double start = now(), cpu_start = process_cpu_seconds();
    std::vector<HANDLE> workers;
    for (int i = 1; i < threads; ++i)
        workers.push_back(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, build_files, &run, 0, nullptr)));
    build_files(&run);
    for (HANDLE worker : workers) {
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    }
    double seconds = now() - start, cpu = process_cpu_seconds() - cpu_start;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("files %zu, thumbnails %d, %.2f s, %.2f thumbnails/s, CPU %.1f ms a thumbnail, peak working set "
                "%.1f MiB\n",
                paths.size(), run.made.load(), seconds, seconds > 0 ? run.made / seconds : 0.0,
                run.made ? 1000 * cpu / run.made : 0.0, memory.PeakWorkingSetSize / 1048576.0);
    return 0;
}
