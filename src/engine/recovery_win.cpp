#include "engine/recovery_win.h"

#include <cstdio>
#include <cstring>

#include "app/app_messages.h"
#include "app/language.h"
#include "app/path_text.h"
#include "app/settings.h"
#include "app/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/trailing_zeros.h"
#include "ui/handles_win.h"
#include "ui/message_box_win.h"

std::atomic<int32_t> current_item{-1};

namespace {

constexpr DWORD copy_block_bytes = 8192;

struct source_record_t {
    char path[found_path_capacity] = {};
    char ext[found_ext_capacity] = {};
};

bool copy_record(int32_t index, source_record_t& out) {
    queue_lock_c lock;
    if (index < 0 || static_cast<size_t>(index) >= found_queue().size()) return false;
    const found_file_t& record = found_queue().at(static_cast<size_t>(index));
    std::memcpy(out.path, record.path, sizeof out.path);
    std::memcpy(out.ext, record.ext, sizeof out.ext);
    out.path[sizeof out.path - 1] = '\0';
    out.ext[sizeof out.ext - 1] = '\0';
    return true;
}

bool is_selected(size_t index, bool& is_in_queue) {
    queue_lock_c lock;
    is_in_queue = index < found_queue().size();
    return is_in_queue && found_queue().at(index).selected != 0;
}

std::u16string destination_for(int32_t index, const char* ext) {
    char name[32];
    std::snprintf(name, sizeof name, "FILE%05d.", static_cast<int>(index));
    return append_path_component(settings.recovery_path, from_ansi(name) + from_ansi(ext));
}

// Cuts the copy back to its last non-zero byte.
void trim_to(const std::u16string& destination, uint64_t length) {
    file_handle_c file(CreateFileW(wide(destination), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.is_valid()) return;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    if (SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) SetEndOfFile(file.get());
}

}  // namespace

int32_t recover_one(int32_t index) {
    source_record_t record;
    if (!copy_record(index, record)) return recovery_source_unreadable;
    bool must_trim_zeros = std::strncmp(record.ext, "x3f", 3) == 0;

    file_handle_c source(CreateFileW(wide(from_ansi(record.path)), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.is_valid()) return recovery_source_unreadable;
    std::u16string destination_path = destination_for(index, record.ext);
    file_handle_c destination(CreateFileW(wide(destination_path), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!destination.is_valid()) return recovery_destination_uncreatable;

    uint8_t block[copy_block_bytes];
    trailing_zero_counter_c zeros;
    uint64_t copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source.get(), block, copy_block_bytes, &got, nullptr) || got == 0) break;
        DWORD written = 0;
        if (!WriteFile(destination.get(), block, got, &written, nullptr) || written != got)
            return recovery_short_write;
        if (must_trim_zeros) zeros.feed(block, got);
        copied += got;
    }
    destination.reset();
    // The length comes from the bytes copied, all 64 bits of it, so files past 4 GiB trim right.
    if (zeros.count() > 0 && copied > 0) trim_to(destination_path, copied - zeros.count());
    return recovery_copied;
}

void report_recovery_failure(HWND owner, int32_t code) {
    if (code == recovery_source_unreadable)
        show_message(owner, lookup_text("recovery_failed_code1"), mode_error);
    else if (code == recovery_destination_uncreatable)
        show_message(owner, lookup_text("recovery_failed_code2"), mode_error);
}

// Only files actually copied are counted: the user is told how many files are in the recovery
// folder, and a failure after the first reported one must not add to that.
int32_t recover_selected(void* owner_param) {
    HWND owner = static_cast<HWND>(owner_param);
    int32_t count = 0;
    bool is_reported = false;
    auto note_failure = [&](int32_t code) {
        if (is_reported) return;
        report_recovery_failure(owner, code);
        is_reported = true;
    };
    for (size_t index = 0;; ++index) {
        bool is_in_queue = false;
        bool is_ticked = is_selected(index, is_in_queue);
        if (!is_in_queue) break;
        if (!is_ticked) continue;
        int32_t code = recover_one(static_cast<int32_t>(index));
        if (code == recovery_copied)
            ++count;
        else
            note_failure(code);
    }
    int32_t fallback = current_item.load();
    if (count == 0 && fallback != -1) {
        int32_t code = recover_one(fallback);
        if (code == recovery_copied)
            count = 1;
        else
            note_failure(code);
    }
    if (owner) PostMessageW(owner, UM_RECOVERY_DONE, 0, 0);
    return count;
}
