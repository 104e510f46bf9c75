// A scan output that keeps every complete find in memory by its start sector, and notes whether
// progress ever went back.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/scan_output.h"

namespace ember_test {

class memory_output_c final : public ember::scan_output_i {
public:
    std::map<uint64_t, std::vector<uint8_t>> files;  // by start sector
    std::map<uint64_t, std::string> extensions;
    std::map<uint64_t, ember::find_record_t> records;  // of the complete finds
    bool is_progress_monotonic = true;
    uint64_t last_progress = 0;

    void total(uint64_t) override {}
    bool begin_file(uint64_t sector, const char* extension) override {
        current_ = sector;
        bytes_.clear();
        extensions[sector] = extension;
        return true;
    }
    bool write_file(const uint8_t* data, size_t size) override {
        bytes_.insert(bytes_.end(), data, data + size);
        return true;
    }
    void describe_file(const ember::find_record_t& record) override { record_ = record; }
    bool end_file(bool is_complete) override {
        if (is_complete) files[current_] = bytes_;
        if (is_complete) records[current_] = record_;
        record_ = {};
        return true;
    }
    void progress(uint64_t sector) override {
        is_progress_monotonic = is_progress_monotonic && sector >= last_progress;
        last_progress = sector;
    }

private:
    uint64_t current_ = 0;
    std::vector<uint8_t> bytes_;
    ember::find_record_t record_;
};

}  // namespace ember_test
