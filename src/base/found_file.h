// One found file as the whole program knows it, and the queue that holds the records by value.
// A record's index in the queue is its identity everywhere (tree, grid, recovered file name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "contract/pipe_packet.h"
#include "base/find_index.h"

struct picture_t;  // the grid's decoded thumbnail; defined with the thumbnail code

constexpr size_t found_path_capacity = max_found_path + 1;   // bytes, terminator included
constexpr size_t found_ext_capacity = 8;
constexpr size_t camera_model_capacity = 32;
// Room reserved whenever the queue is emptied, so that a scan does not move records as it fills.
constexpr size_t found_queue_reserve = 100000;

struct found_file_t {
    int32_t height = 0;
    int32_t width = 0;
    int64_t taken_time = 0;                       // seconds since 1970-01-01 UTC; 0 = unknown
    char camera_model[camera_model_capacity] = {};
    char thumb_path[found_path_capacity] = {};
    char path[found_path_capacity] = {};          // ANSI, at most max_found_path bytes
    char ext[found_ext_capacity] = {};            // after the last dot of path, at most 7 characters
    std::shared_ptr<picture_t> thumb_image;
    int32_t cell_x = 0;
    int32_t cell_y = 0;
    int32_t selected = 0;
    find_origin_t origin;  // what the card's directory said of the file; is_known false when nothing
};

// A zeroed record for `path`, which is read up to its terminator or `path_length` bytes.
found_file_t make_found_file(const char* path, size_t path_length);

// The thumbnail beside a found file: its folder, "thumb_", its name without the extension,
// ".png". Empty when the path has no folder separator, no dot after it, or the result would not
// fit a record's thumb_path.
void make_thumb_path(const char* path, char (&thumb_path)[found_path_capacity]);

// The array of records with the queue's growth rule; the caller holds the queue lock.
class found_queue_c {
public:
    void append(const found_file_t& record);
    // Frees every record's thumbnail, empties the queue, reserves found_queue_reserve records and
    // counts one more emptying (the generation) so that a worker's late result can be dropped.
    void reset();
    size_t size() const { return records_.size(); }
    size_t capacity() const { return records_.capacity(); }
    found_file_t& at(size_t index) { return records_[index]; }
    const found_file_t& at(size_t index) const { return records_[index]; }
    uint64_t generation() const { return generation_; }

    uint32_t thumbs_done = 0;  // index of the next record the thumbnail worker will handle

private:
    std::vector<found_file_t> records_;
    uint64_t generation_ = 0;
};
