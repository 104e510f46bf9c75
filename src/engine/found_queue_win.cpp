#include "engine/found_queue_win.h"

#include <process.h>

#include <atomic>
#include <cstring>
#include <utility>

namespace {

HANDLE queue_mutex = nullptr;  // start-up's, kept for the life of the process
// Made once and never destroyed: threads the program does not join may read it to the very end,
// after the static objects have been destroyed.
found_queue_c& queue = *new found_queue_c;
std::atomic<bool> is_closed{false};
HANDLE worker_thread = nullptr;  // the worker start_thumbnail_worker started; joined on close
// Set by the UI thread, read by the worker on every record.
std::atomic<thumbnail_builder_fn> thumbnail_builder{nullptr};

constexpr DWORD worker_idle_ms = 20;

// Takes the next record to handle, or returns false when the worker is level with the queue.
bool take_next_record(found_file_t& copy, uint64_t& generation) {
    queue_lock_c lock;
    if (queue.thumbs_done >= queue.size()) return false;
    copy = queue.at(queue.thumbs_done);
    generation = queue.generation();
    return true;
}

// Writes back only the fields the worker produced, so a tick set meanwhile survives; a result
// for a queue that was emptied in the meantime is dropped.
void write_back(const found_file_t& copy, uint64_t generation) {
    queue_lock_c lock;
    if (is_closed || queue.generation() != generation || queue.thumbs_done >= queue.size()) return;
    found_file_t& record = queue.at(queue.thumbs_done);
    std::memcpy(record.thumb_path, copy.thumb_path, sizeof record.thumb_path);
    record.width = copy.width;
    record.height = copy.height;
    record.taken_time = copy.taken_time;
    std::memcpy(record.camera_model, copy.camera_model, sizeof record.camera_model);
    ++queue.thumbs_done;
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

bool start_thumbnail_worker() {
    if (worker_thread) return true;
    worker_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, thumbnail_worker, nullptr, 0, nullptr));
    return worker_thread != nullptr;
}

void close_found_queue() {
    is_closed = true;
    if (!worker_thread) return;
    WaitForSingleObject(worker_thread, INFINITE);
    CloseHandle(worker_thread);
    worker_thread = nullptr;
}

unsigned __stdcall thumbnail_worker(void*) {
    while (!is_closed) {
        found_file_t copy;
        uint64_t generation = 0;
        if (!take_next_record(copy, generation)) {
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
        write_back(copy, generation);
    }
    return 0;
}
