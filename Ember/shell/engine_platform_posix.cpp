// The engine on Linux: block devices and image files through pread, read-only.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/sector_retry.h"
#include "engine_platform.h"

namespace ember {
namespace {

// Errors that say the device itself is gone rather than one read failing: a card pulled out
// of its reader, a reader unplugged, a medium removed.
bool is_gone_error(int error) { return error == ENODEV || error == ENXIO || error == ENOMEDIUM; }

class posix_reader_c final : public raw_reader_i {
public:
    explicit posix_reader_c(int fd) : fd_(fd) {}
    ~posix_reader_c() override { close(fd_); }

    int64_t read_raw(uint64_t offset, uint8_t* buf, size_t len) override {
        size_t done = 0;
        while (done < len) {
            ssize_t got = pread(fd_, buf + done, len - done, off_t(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return is_gone_error(errno) ? raw_device_gone : raw_read_failed;
            if (got == 0) break;
            done += size_t(got);
        }
        return int64_t(done);
    }

private:
    int fd_;
};

std::string resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// The deepest folder of path that exists, resolved.
std::string existing_ancestor(std::string path) {
    for (;;) {
        std::string real = resolved(path);
        if (!real.empty()) return real;
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return resolved(".");
        if (slash == 0) return "/";
        path.resize(slash);
    }
}

std::string sys_block_text(dev_t device, const char* leaf) {
    std::ifstream in("/sys/dev/block/" + std::to_string(major(device)) + ":" +
                     std::to_string(minor(device)) + "/" + leaf);
    std::string text;
    std::getline(in, text);
    return text;
}

bool is_inside(const std::string& path, const std::string& folder) {
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              (folder.back() == '/' || path[folder.size()] == '/'));
}

}  // namespace

std::unique_ptr<byte_source_i> open_scan_source(const std::string& source) {
    // Only regular files and block devices can be read at any offset. Opening a FIFO would wait
    // for a writer, so it is opened without waiting and refused below.
    int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat info {};
    uint64_t size = 0;
    if (fstat(fd, &info) != 0) {
        info.st_mode = 0;
    } else if (S_ISREG(info.st_mode)) {
        size = uint64_t(info.st_size);
    } else if (S_ISBLK(info.st_mode)) {
        if (ioctl(fd, BLKGETSIZE64, &size) != 0) size = uint64_t(lseek(fd, 0, SEEK_END));
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (size == 0 || size == uint64_t(-1)) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<device_source_c>(std::make_unique<posix_reader_c>(fd), size);
}

bool is_work_dir_on_source(const std::string& work_dir, const std::string& source) {
    std::string folder = existing_ancestor(work_dir);
    struct stat folder_info {}, source_info {};
    if (folder.empty() || stat(folder.c_str(), &folder_info) != 0) return true;
    if (stat(source.c_str(), &source_info) != 0) return true;
    if (S_ISBLK(source_info.st_mode)) {
        if (folder_info.st_dev == source_info.st_rdev) return true;
        // A partition of the disk being scanned: its parent's device number is the disk's.
        if (!sys_block_text(folder_info.st_dev, "partition").empty()) {
            std::string parent = sys_block_text(folder_info.st_dev, "../dev");
            std::string disk = std::to_string(major(source_info.st_rdev)) + ":" +
                               std::to_string(minor(source_info.st_rdev));
            if (parent == disk) return true;
        }
        return false;
    }
    std::string image = resolved(source);
    if (image.empty()) return true;
    // The work folder inside the image (loop-mounted), or the image inside the work folder,
    // or the work folder being the image itself.
    std::string backing = sys_block_text(folder_info.st_dev, "loop/backing_file");
    if (!backing.empty() && resolved(backing) == image) return true;
    std::error_code error;
    std::string wanted = std::filesystem::weakly_canonical(work_dir, error).string();
    if (error || wanted.empty()) return true;
    return is_inside(image, wanted);
}

bool make_folders(const std::string& folder) {
    std::string partial;
    for (size_t i = 0; i <= folder.size(); ++i) {
        if (i == folder.size() || (folder[i] == '/' && i > 0)) {
            partial = folder.substr(0, i);
            if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool replace_file(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

uint64_t now_ms() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::unique_ptr<report_channel_i> connect_report_pipe() { return nullptr; }

}  // namespace ember
