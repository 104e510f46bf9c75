// Fuzz target for the file-system reader: the input is a card image. The reader walks what it
// finds from the roots, then sees the image in two pieces as the scan would; every entry must
// keep its chain inside its volume, its path must be bounded and free of control characters
// however its names and folders were crafted, and nothing is ever read twice as a new folder.
#include <cstdlib>
#include <string>

#include "core/byte_source.h"
#include "fs/fs_reader.h"

namespace {

constexpr size_t max_input = 4 * 1024 * 1024;

void check(const ember::fs::fs_reader_c& reader) {
    for (const ember::fs::fs_entry_t& e : reader.entries()) {
        if (e.volume >= reader.volumes().size() || e.size == 0) std::abort();
        const ember::fs::fs_volume_t& v = reader.volumes()[e.volume];
        uint64_t clusters = 0;
        for (const ember::fs::cluster_run_t& r : reader.runs(e)) {
            if (r.count == 0 || !v.is_cluster(r.first) || !v.is_cluster(r.first + r.count - 1)) std::abort();
            clusters += r.count;
        }
        if (e.runs_count && clusters != (e.size + v.cluster_size - 1) / v.cluster_size) std::abort();
        if (e.folder != ember::fs::fs_folder_t::none && e.folder >= reader.folders().size()) std::abort();
        std::string path = reader.path_of(e);
        if (path.size() > ember::fs::fs_reader_c::max_path_bytes || path.empty() != (e.name_size == 0)) std::abort();
        for (char c : path)
            if (static_cast<unsigned char>(c) < 0x20) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > max_input) return 0;
    ember::memory_source_c source({data, size});
    ember::fs::fs_reader_c reader(source);
    check(reader);
    size_t half = size / 2 / 512 * 512;
    reader.observe(0, data, half);
    reader.observe(half, data + half, size - half);
    check(reader);
    if (reader.observe(0, data, size) != 0) std::abort();
    return 0;
}
