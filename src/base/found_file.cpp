#include "base/found_file.h"

#include <cstring>
#include <string>

namespace {

size_t bounded_length(const char* text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != '\0') ++n;
    return n;
}

}  // namespace

found_file_t make_found_file(const char* path, size_t path_length) {
    found_file_t record;
    if (!path) return record;
    size_t length = bounded_length(path, path_length < found_path_capacity - 1 ? path_length
                                                                               : found_path_capacity - 1);
    std::memcpy(record.path, path, length);
    const char* dot = nullptr;
    for (size_t i = length; i-- > 0;) {
        if (record.path[i] == '.') {
            dot = record.path + i;
            break;
        }
    }
    if (dot) {
        size_t ext_length = static_cast<size_t>(record.path + length - dot - 1);
        if (ext_length > found_ext_capacity - 1) ext_length = found_ext_capacity - 1;
        std::memcpy(record.ext, dot + 1, ext_length);
    }
    return record;
}

void make_thumb_path(const char* path, char (&thumb_path)[found_path_capacity]) {
    thumb_path[0] = '\0';
    size_t length = bounded_length(path, found_path_capacity - 1);
    size_t separator = std::string::npos, dot = std::string::npos;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == '/') separator = i;
        if (path[i] == '.') dot = i;
    }
    if (separator == std::string::npos) {
        for (size_t i = 0; i < length; ++i) {
            if (path[i] == '\\') separator = i;
        }
    }
    if (separator == std::string::npos || dot == std::string::npos || dot < separator) return;
    static const char prefix[] = "thumb_";
    static const char suffix[] = ".png";
    size_t stem_length = dot - separator - 1;
    size_t total = separator + 1 + (sizeof prefix - 1) + stem_length + (sizeof suffix - 1);
    if (total > found_path_capacity - 1) return;
    char* out = thumb_path;
    std::memcpy(out, path, separator + 1);
    out += separator + 1;
    std::memcpy(out, prefix, sizeof prefix - 1);
    out += sizeof prefix - 1;
    std::memcpy(out, path + separator + 1, stem_length);
    out += stem_length;
    std::memcpy(out, suffix, sizeof suffix);
}

void found_queue_c::append(const found_file_t& record) {
    // Grow by half the capacity (at least one record) rather than the library's doubling.
    if (records_.size() == records_.capacity()) {
        size_t step = records_.capacity() / 2;
        records_.reserve(records_.capacity() + (step ? step : 1));
    }
    records_.push_back(record);
}

void found_queue_c::reset() {
    thumbs_done = 0;
    for (found_file_t& record : records_) record.thumb_image.reset();
    records_.clear();
    if (records_.capacity() < found_queue_reserve) records_.reserve(found_queue_reserve);
    ++generation_;
}
