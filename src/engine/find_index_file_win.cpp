#include "engine/find_index_file_win.h"

#include <utility>

#include "base/path_text.h"
#include "base/wide_text_win.h"

namespace {

constexpr DWORD read_block_bytes = 64 * 1024;
// An engine that writes no index (an older one) would cost a failed open per find; after a
// failure the open is tried again only every so many finds.
constexpr uint32_t open_retry_interval = 256;

}  // namespace

void find_index_file_c::read_new() {
    if (!file_.is_valid()) {
        if (missed_opens_++ % open_retry_interval != 0) return;
        // Ember keeps appending while this reads: the sharing lets both go on.
        file_.reset(CreateFileW(wide(append_path_component(folder_, std::u16string(find_index_name))), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file_.is_valid()) return;
        missed_opens_ = 0;
    }
    block_.resize(read_block_bytes);
    std::string name;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file_.get(), block_.data(), read_block_bytes, &got, nullptr) || got == 0) break;
        splitter_.feed(block_.data(), got, [&](std::string_view line) {
            find_origin_t origin;
            if (parse_find_index_line(line, name, origin)) pending_[name] = std::move(origin);
        });
        if (got < read_block_bytes) break;
    }
}

bool find_index_file_c::take(const std::string& name, find_origin_t& origin) try {
    auto found = pending_.find(name);
    if (found == pending_.end()) {
        read_new();
        found = pending_.find(name);
        if (found == pending_.end()) return false;
    }
    origin = std::move(found->second);
    pending_.erase(found);
    return true;
} catch (...) {
    return false;  // out of memory: the find goes on without what the card said of it
}
