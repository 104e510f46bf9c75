#include "engine/found_queue_win.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

namespace {

HANDLE queue_mutex = nullptr;  // start-up's, kept for the life of the process
// Made once and never destroyed: threads the program does not join may read it to the very end,
// after the static objects have been destroyed.
found_queue_c& queue = *new found_queue_c;
std::atomic<bool> is_closed{false};
// The workers start_thumbnail_worker started; joined on close.
HANDLE worker_threads[max_thumbnail_workers] = {};
int worker_count = 0;
// Set by the UI thread, read by the workers on every record.
std::atomic<thumbnail_builder_fn> thumbnail_builder{nullptr};

constexpr DWORD worker_idle_ms = 20;

// Which record the next free worker takes, and the results that finished before an earlier
// record's: thumbs_done advances in queue order only, so the grid sees thumbnails arrive in the
// order they were started. Guarded by the queue lock; made anew when the queue is emptied.
struct dispatch_t {
    uint64_t generation = 0;
    size_t next_to_start = 0;
    std::vector<std::pair<size_t, found_file_t>> finished;
};
dispatch_t& dispatch = *new dispatch_t;

// Brings the dispatch in line with the queue after an emptying or a skip of thumbs_done.
void follow_queue() {
    if (dispatch.generation != queue.generation()) {
        dispatch.generation = queue.generation();
        dispatch.next_to_start = 0;
        dispatch.finished.clear();
    }
    if (dispatch.next_to_start < queue.thumbs_done) dispatch.next_to_start = queue.thumbs_done;
}

// Takes the next record no worker has started, or returns false when there is none.
bool take_next_record(found_file_t& copy, uint64_t& generation, size_t& index) {
    queue_lock_c lock;
    follow_queue();
    if (dispatch.next_to_start >= queue.size()) return false;
    index = dispatch.next_to_start++;
    copy = queue.at(index);
    generation = queue.generation();
    return true;
}

// Writes back only the fields the worker produced, so a tick set meanwhile survives.
void apply_result(const found_file_t& copy, found_file_t& record) {
    std::memcpy(record.thumb_path, copy.thumb_path, sizeof record.thumb_path);
    record.width = copy.width;
    record.height = copy.height;
    record.taken_time = copy.taken_time;
    std::memcpy(record.camera_model, copy.camera_model, sizeof record.camera_model);
}

// Keeps the result of record `index` and publishes every result that is next in queue order. A
// result for a queue that was emptied in the meantime is dropped.
void write_back(const found_file_t& copy, uint64_t generation, size_t index) {
    queue_lock_c lock;
    if (is_closed || queue.generation() != generation) return;
    follow_queue();
    if (index < queue.thumbs_done || index >= queue.size()) return;
    try {
        dispatch.finished.emplace_back(index, copy);
    } catch (...) {
        return;  // no memory for a copy: the record stays unpublished, as after a close
    }
    // The queue only grows within a generation, so every kept index is still inside it.
    for (;;) {
        auto next = std::find_if(dispatch.finished.begin(), dispatch.finished.end(),
                                 [](const auto& result) { return result.first == queue.thumbs_done; });
        if (next == dispatch.finished.end()) break;
        apply_result(next->second, queue.at(queue.thumbs_done));
        ++queue.thumbs_done;
        dispatch.finished.erase(next);
    }
}

}  // namespace

void set_queue_lock(HANDLE mutex) { queue_mutex = mutex; }

queue_lock_c::queue_lock_c() : lock_(queue_mutex) {}

found_queue_c& found_queue() { return queue; }

bool queue_found_file(const char* path, size_t path_length, find_origin_t* origin) {
    if (is_closed) return false;
    found_file_t record = make_found_file(path, path_length);
    if (origin) record.origin = std::move(*origin);
    queue_lock_c lock;
    if (is_closed) return false;
    queue.append(record);
    return true;
}

void reset_found_queue() {
    queue_lock_c lock;
    queue.reset();
}

void set_thumbnail_builder(thumbnail_builder_fn builder) { thumbnail_builder.store(builder); }

int thumbnail_worker_count(uint32_t processors) {
    if (processors < 1) return 1;
    return processors < uint32_t(max_thumbnail_workers) ? int(processors) : max_thumbnail_workers;
}

bool start_thumbnail_worker() {
    if (worker_count > 0) return true;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    int wanted = thumbnail_worker_count(system.dwNumberOfProcessors);
    while (worker_count < wanted) {
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, thumbnail_worker, nullptr, 0, nullptr));
        if (!thread) break;
        worker_threads[worker_count++] = thread;
    }
    return worker_count > 0;
}

void close_found_queue() {
    is_closed = true;
    for (int i = 0; i < worker_count; ++i) {
        WaitForSingleObject(worker_threads[i], INFINITE);
        CloseHandle(worker_threads[i]);
        worker_threads[i] = nullptr;
    }
    worker_count = 0;
}

unsigned __stdcall thumbnail_worker(void*) {
    while (!is_closed) {
        found_file_t copy;
        uint64_t generation = 0;
        size_t index = 0;
        if (!take_next_record(copy, generation, index)) {
            Sleep(worker_idle_ms);
            continue;
        }
        copy.thumb_image.reset();
        make_thumb_path(copy.path, copy.thumb_path);
        thumbnail_builder_fn builder = thumbnail_builder.load();
        // A builder failure leaves the record without a thumbnail; the worker goes on in order.
        try {
            if (builder) builder(copy);
        } catch (...) {
        }
        write_back(copy, generation, index);
    }
    return 0;
}
