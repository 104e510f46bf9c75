// The process-wide found-file queue, its lock and the thumbnail worker.
#pragma once

#include <windows.h>

#include "base/found_file.h"
#include "base/handles_win.h"

// Hands the queue the unnamed mutex that start-up created. A Win32 mutex is re-entrant and passes
// to the next waiter even when its owner was killed, which stop and reset rely on.
void set_queue_lock(HANDLE mutex);

// Holds queue_lock for its lifetime. Every wait is unbounded; an abandoned mutex counts as taken.
class queue_lock_c {
public:
    queue_lock_c();

private:
    mutex_lock_c lock_;
};

// The queue itself; touch it only while holding a queue_lock_c.
found_queue_c& found_queue();

// Appends a record for `path`, with what the card's directory said of it when known; false once
// the queue is closed (the program is ending), when a writer should stop.
bool queue_found_file(const char* path, size_t path_length = found_path_capacity, find_origin_t* origin = nullptr);
void reset_found_queue();

// Thumbnails are made on one worker a processor, at most this many.
constexpr int max_thumbnail_workers = 4;
int thumbnail_worker_count(uint32_t processors);

// Starts the thumbnail workers for the life of the queue; false when none can start. Each takes
// the next record no other has started; results reach the queue (thumbs_done) in queue order.
bool start_thumbnail_worker();
// Closes the queue as the program ends: appends are dropped from now on, and each worker stops
// after the record it is on, is waited for and is gone when this returns. The queue itself is
// never freed, so a thread that still reads it (a recovery, an engine reader) reads valid memory.
void close_found_queue();

// The thumbnail builder the workers call on their own copy of a record, outside the lock, on
// several threads at once. With no builder set the workers still fill thumb_path and advance
// through the queue in order.
using thumbnail_builder_fn = void (*)(found_file_t& record);
void set_thumbnail_builder(thumbnail_builder_fn builder);

// A worker's thread procedure: takes no argument and returns once the queue is closed.
unsigned __stdcall thumbnail_worker(void*);
