#include "engine/recovered_copy_win.h"

#include <windows.h>

#include <cstring>

#include "base/path_text.h"
#include "base/wide_text_win.h"
#include "engine/recovery_names.h"
#include "engine/sha256.h"
#include "base/handles_win.h"

namespace {

constexpr DWORD copy_block_bytes = 8192;

bool is_disk_full_error(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }
bool is_name_taken_error(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

bool file_size(HANDLE file, uint64_t& size) {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file, &value) || value.QuadPart < 0) return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool read_at(HANDLE file, uint64_t offset, uint8_t* buffer, DWORD length) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ReadFile(file, buffer, length, &got, nullptr) &&
           got == length;
}

// The length of the source without its trailing zero bytes, read backwards from its end, so
// that only the padding is read twice. Some cameras pad x3f files with zeros.
bool trimmed_length(HANDLE source, uint64_t size, uint64_t& length) {
    uint8_t block[copy_block_bytes];
    length = size;
    while (length > 0) {
        DWORD part = static_cast<DWORD>(length < copy_block_bytes ? length : copy_block_bytes);
        if (!read_at(source, length - part, block, part)) return false;
        for (DWORD i = part; i-- > 0;) {
            if (block[i] != 0) {
                length -= part - i - 1;
                return true;
            }
        }
        length -= part;
    }
    return true;
}

// Whether the file at `path` holds exactly the first `length` bytes of `source` and nothing more;
// their hash goes to `sha256` when it does.
bool holds_same_bytes(HANDLE source, uint64_t length, const std::u16string& path, std::string& sha256) {
    sha256_c hash;
    file_handle_c existing(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    uint64_t existing_size = 0;
    if (!existing.is_valid() || !file_size(existing.get(), existing_size) || existing_size != length) return false;
    uint8_t ours[copy_block_bytes], theirs[copy_block_bytes];
    for (uint64_t done = 0; done < length;) {
        DWORD part = static_cast<DWORD>(length - done < copy_block_bytes ? length - done : copy_block_bytes);
        if (!read_at(source, done, ours, part) || !read_at(existing.get(), done, theirs, part)) return false;
        if (std::memcmp(ours, theirs, part) != 0) return false;
        hash.update(ours, part);
        done += part;
    }
    sha256 = hash.finish_hex();
    return true;
}

bool exists(const std::u16string& path) { return GetFileAttributesW(wide(path)) != INVALID_FILE_ATTRIBUTES; }

std::u16string in_folder(const std::u16string& folder, const std::u16string& name) {
    return append_path_component(folder, name);
}

// Seconds since 1970 in UTC as the file system's 100-nanosecond ticks since 1601.
FILETIME file_time_of(int64_t unix_seconds) {
    constexpr int64_t seconds_1601_to_1970 = 11644473600;
    uint64_t ticks = uint64_t(unix_seconds + seconds_1601_to_1970) * 10000000u;
    FILETIME time;
    time.dwLowDateTime = DWORD(ticks);
    time.dwHighDateTime = DWORD(ticks >> 32);
    return time;
}

// The temporary file, made new: a name that exists is never opened, whoever made it.
file_handle_c create_temporary(const std::u16string& folder, const std::u16string& final_name, std::u16string& path,
                               DWORD& error) {
    for (uint32_t attempt = 1; attempt <= max_name_attempts; ++attempt) {
        path = in_folder(folder, temporary_file_name(final_name, attempt));
        file_handle_c file(CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.is_valid()) return file;
        error = GetLastError();
        if (!is_name_taken_error(error)) break;
    }
    return file_handle_c();
}

// Copies `length` bytes of the source into the temporary file, hashing what it writes, and gives
// it its modified time; any failure removes it.
int32_t write_temporary(HANDLE source, uint64_t length, file_handle_c& temporary, const std::u16string& temporary_path,
                        int64_t modified_time, const std::atomic<bool>& stop, bool& is_disk_full, std::string& sha256) {
    int32_t code = recovery_copied;
    sha256_c hash;
    uint8_t block[copy_block_bytes];
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(source, start, nullptr, FILE_BEGIN)) code = recovery_source_unreadable;
    for (uint64_t done = 0; code == recovery_copied && done < length;) {
        if (stop.load()) {
            code = recovery_stopped;
            break;
        }
        DWORD part = static_cast<DWORD>(length - done < copy_block_bytes ? length - done : copy_block_bytes);
        DWORD got = 0, written = 0;
        if (!ReadFile(source, block, part, &got, nullptr) || got != part) {
            code = recovery_source_unreadable;
        } else if (!WriteFile(temporary.get(), block, got, &written, nullptr) || written != got) {
            is_disk_full = written != got || is_disk_full_error(GetLastError());
            code = recovery_short_write;
        }
        hash.update(block, got);
        done += got;
    }
    // A time the file system refuses leaves the time of writing; the copy itself is whole.
    if (code == recovery_copied && modified_time > 0) {
        FILETIME time = file_time_of(modified_time);
        SetFileTime(temporary.get(), nullptr, nullptr, &time);
    }
    // The data reaches the disk before the name does, so not even a power cut leaves a short
    // file under a recovered file's name.
    if (code == recovery_copied && !FlushFileBuffers(temporary.get())) {
        is_disk_full = is_disk_full_error(GetLastError());
        code = recovery_short_write;
    }
    temporary.reset();
    if (code != recovery_copied) DeleteFileW(wide(temporary_path));
    else sha256 = hash.finish_hex();
    return code;
}

}  // namespace

int32_t copy_recovered_file(const copy_request_t& request, const std::atomic<bool>& stop, bool& is_disk_full,
                            copy_outcome_t* outcome) {
    is_disk_full = false;
    if (request.folder.empty() || request.name.empty()) return recovery_destination_uncreatable;
    file_handle_c source(CreateFileW(wide(request.source), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    uint64_t length = 0;
    if (!source.is_valid() || !file_size(source.get(), length)) return recovery_source_unreadable;
    if (request.is_trimmed && !trimmed_length(source.get(), length, length)) return recovery_source_unreadable;
    copy_outcome_t done;
    done.size = length;
    auto finish = [&](const std::u16string& name) {
        done.name = name;
        if (outcome) *outcome = std::move(done);
        return recovery_copied;
    };

    // The first name that is free or already holds these very bytes.
    uint32_t attempt = 1;
    for (; attempt <= max_name_attempts; ++attempt) {
        std::u16string name = numbered_name(request.name, attempt);
        std::u16string path = in_folder(request.folder, name);
        if (!exists(path)) break;
        if (holds_same_bytes(source.get(), length, path, done.sha256)) return finish(name);
    }
    if (attempt > max_name_attempts) return recovery_destination_uncreatable;

    std::u16string first_free = numbered_name(request.name, attempt);
    std::u16string temporary_path;
    DWORD error = 0;
    file_handle_c temporary = create_temporary(request.folder, first_free, temporary_path, error);
    if (!temporary.is_valid()) {
        is_disk_full = is_disk_full_error(error);
        return recovery_destination_uncreatable;
    }
    int32_t code = write_temporary(source.get(), length, temporary, temporary_path, request.modified_time, stop,
                                   is_disk_full, done.sha256);
    if (code != recovery_copied) return code;

    // Renaming never replaces: a name taken meanwhile is compared, then the next one is tried.
    for (; attempt <= max_name_attempts; ++attempt) {
        std::u16string name = numbered_name(request.name, attempt);
        std::u16string path = in_folder(request.folder, name);
        if (MoveFileExW(wide(temporary_path), wide(path), 0)) return finish(name);
        if (!is_name_taken_error(GetLastError())) break;
        std::string existing_hash;
        if (holds_same_bytes(source.get(), length, path, existing_hash)) {
            DeleteFileW(wide(temporary_path));
            return finish(name);
        }
    }
    DeleteFileW(wide(temporary_path));
    return recovery_destination_uncreatable;
}
