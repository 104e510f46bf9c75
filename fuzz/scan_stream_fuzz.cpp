// Fuzz target for the whole scan: the input is a card image, scanned with every format enabled
// into an output that keeps nothing but checks what it is given. Run twice: straight from
// memory, and through the read-ahead path in small chunks as a device is read. Built as
// fuzz_fs_scan (EMBER_FUZZ_GUIDED), each scan is guided by the image's file system, which
// fuzzes the guide's rules and the reassembly of fragments as well; every find's index line must
// then be one line of seven fields within what readers take (4096 bytes).
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/format_registry.h"
#include "core/scan.h"
#ifdef EMBER_FUZZ_GUIDED
#include "fs/fs_guide.h"
#endif

namespace {

constexpr size_t max_input = 4 * 1024 * 1024;

#ifdef EMBER_FUZZ_GUIDED
constexpr bool is_guided = true;
#else
constexpr bool is_guided = false;
#endif

class checking_output_c final : public ember::scan_output_i {
public:
    explicit checking_output_c(uint64_t size) : size_(size) {}
    void total(uint64_t total_sectors) override {
        if (total_sectors != (size_ + 511) / 512) std::abort();
    }
    bool begin_file(uint64_t start_sector, const char* extension) override {
        if (is_open_ || !extension || start_sector * 512 >= size_) std::abort();
        is_open_ = true;
        start_ = start_sector * 512;
        written_ = 0;
        return true;
    }
    bool write_file(const uint8_t*, size_t size) override {
        written_ += size;
        // A guided find may gather its clusters from anywhere, but never more than the card.
        if (!is_open_ || (is_guided ? written_ > size_ : start_ + written_ > size_)) std::abort();
        return true;
    }
    void describe_file(const ember::find_record_t& record) override {
        std::string line = ember::index_line("f0000000.jpg", record);
        if (line.size() > 4096 || std::count(line.begin(), line.end(), '\t') != 6 ||
            std::count(line.begin(), line.end(), '\n') != 1 || line.back() != '\n')
            std::abort();
    }
    bool end_file(bool) override {
        if (!is_open_ || written_ == 0) std::abort();
        is_open_ = false;
        return true;
    }
    void progress(uint64_t) override {}

private:
    uint64_t size_;
    bool is_open_ = false;
    uint64_t start_ = 0;
    uint64_t written_ = 0;
};

// A non-contiguous view of the input, as a device source is.
class device_like_source_c final : public ember::byte_source_i {
public:
    explicit device_like_source_c(ember::memory_source_c& inner) : inner_(inner) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override { return inner_.read_at(offset, buf, len); }
    uint64_t size() const override { return inner_.size(); }

private:
    ember::memory_source_c& inner_;
};

ember::scan_summary_t scan(ember::byte_source_i& source, ember::scan_output_i& output, ember::scan_config_t config) {
    static const std::vector<const ember::format_t*> formats = ember::all_formats();
#ifdef EMBER_FUZZ_GUIDED
    ember::fs::fs_guide_c guide(source);
    config.guide = &guide;
#endif
    return ember::scan_source(source, formats, output, config);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > max_input) return 0;
    ember::memory_source_c memory({data, size});
    checking_output_c direct(size);
    ember::scan_summary_t a = scan(memory, direct, {});
    device_like_source_c device(memory);
    checking_output_c chunked(size);
    ember::scan_config_t config;
    config.chunk_size = 64 * 1024;
    config.read_ahead_depth = 2;
    ember::scan_summary_t b = scan(device, chunked, config);
    // The same card gives the same finds however it is read.
    if (a.files != b.files || a.bytes_found != b.bytes_found) std::abort();
    return 0;
}
