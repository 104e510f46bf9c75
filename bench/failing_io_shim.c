/* A failing card reader for the native engine, loaded with LD_PRELOAD: reads of one image file
 * fail as a worn or pulled card's would, and are counted.
 *
 *   EMBER_FAIL_IMAGE   the image's path, exactly as the engine opens it (other files read normally)
 *   EMBER_FAIL_BAD     bad sector ranges FIRST-END (512-byte sectors, END excluded), comma
 *                      separated: a read touching one fails with EIO
 *   EMBER_FAIL_GONE_AT a sector: once a read reaches it the card is pulled out, and every read
 *                      from then on fails, wherever it is
 *   EMBER_FAIL_GONE_ERRNO  the error a pulled card gives: ENODEV (default), ENXIO or EIO
 *   EMBER_FAIL_SLOW_MS each failing read takes this long first (a card reader's timeout)
 *   EMBER_FAIL_REPORT  a file that gets, at exit: reads=N failing_reads=N
 *                      bad_sector_reads=N gone_to_exit_ms=N
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#define MAX_RANGES 256
#define MAX_FDS 1024

static struct {
    int is_ready;
    const char* image;
    uint64_t bad_first[MAX_RANGES], bad_end[MAX_RANGES];
    int ranges;
    uint64_t gone_at;
    int gone_errno;
    long slow_ms;
    const char* report;
} config;

static unsigned char is_image_fd[MAX_FDS];
static uint64_t reads, failing_reads, bad_sector_reads;
static int is_pulled;
static uint64_t pulled_ms;

static uint64_t now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

static void set_up(void) {
    if (config.is_ready) return;
    config.is_ready = 1;
    config.image = getenv("EMBER_FAIL_IMAGE");
    config.gone_at = UINT64_MAX;
    config.gone_errno = ENODEV;
    const char* text = getenv("EMBER_FAIL_BAD");
    while (text && *text && config.ranges < MAX_RANGES) {
        char* end = NULL;
        uint64_t first = strtoull(text, &end, 10);
        if (*end != '-') break;
        uint64_t last = strtoull(end + 1, &end, 10);
        config.bad_first[config.ranges] = first;
        config.bad_end[config.ranges] = last;
        ++config.ranges;
        text = *end == ',' ? end + 1 : end;
    }
    if ((text = getenv("EMBER_FAIL_GONE_AT"))) config.gone_at = strtoull(text, NULL, 10);
    if ((text = getenv("EMBER_FAIL_GONE_ERRNO"))) {
        if (strcmp(text, "ENXIO") == 0) config.gone_errno = ENXIO;
        if (strcmp(text, "EIO") == 0) config.gone_errno = EIO;
    }
    if ((text = getenv("EMBER_FAIL_SLOW_MS"))) config.slow_ms = strtol(text, NULL, 10);
    config.report = getenv("EMBER_FAIL_REPORT");
}

__attribute__((destructor)) static void write_report(void) {
    if (!config.report) return;
    FILE* file = fopen(config.report, "w");
    if (!file) return;
    uint64_t gone_ms = __atomic_load_n(&is_pulled, __ATOMIC_SEQ_CST) ? now_ms() - pulled_ms : 0;
    fprintf(file, "reads=%llu failing_reads=%llu bad_sector_reads=%llu gone_to_exit_ms=%llu\n",
            (unsigned long long)reads, (unsigned long long)failing_reads,
            (unsigned long long)bad_sector_reads, (unsigned long long)gone_ms);
    fclose(file);
}

static void note_open(int fd, const char* path) {
    set_up();
    if (fd >= 0 && fd < MAX_FDS) is_image_fd[fd] = config.image && path && strcmp(path, config.image) == 0;
}

/* 0 when the read goes through, otherwise the errno it fails with. */
static int failure_of(int fd, uint64_t offset, size_t len) {
    if (fd < 0 || fd >= MAX_FDS || !is_image_fd[fd] || len == 0) return 0;
    __atomic_add_fetch(&reads, 1, __ATOMIC_SEQ_CST);
    uint64_t first = offset / 512, end = (offset + len + 511) / 512;
    if (end > config.gone_at && !__atomic_exchange_n(&is_pulled, 1, __ATOMIC_SEQ_CST)) pulled_ms = now_ms();
    int error = 0;
    if (__atomic_load_n(&is_pulled, __ATOMIC_SEQ_CST)) error = config.gone_errno;
    for (int i = 0; !error && i < config.ranges; ++i)
        if (first < config.bad_end[i] && config.bad_first[i] < end) error = EIO;
    if (!error) return 0;
    __atomic_add_fetch(&failing_reads, 1, __ATOMIC_SEQ_CST);
    if (error == EIO && end - first == 1) __atomic_add_fetch(&bad_sector_reads, 1, __ATOMIC_SEQ_CST);
    if (config.slow_ms > 0) {
        struct timespec wait = {config.slow_ms / 1000, (config.slow_ms % 1000) * 1000000L};
        nanosleep(&wait, NULL);
    }
    return error;
}

typedef int (*open_f)(const char*, int, ...);
typedef int (*close_f)(int);
typedef ssize_t (*pread_f)(int, void*, size_t, off_t);
typedef ssize_t (*read_f)(int, void*, size_t);
typedef off_t (*lseek_f)(int, off_t, int);

/* The libc function this one stands in front of. */
#define NEXT(name, type) \
    static type next_##name; \
    if (!next_##name) next_##name = (type)dlsym(RTLD_NEXT, #name)

int open(const char* path, int flags, ...) {
    NEXT(open, open_f);
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    int fd = next_open(path, flags, mode);
    note_open(fd, path);
    return fd;
}

int open64(const char* path, int flags, ...) {
    NEXT(open64, open_f);
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    int fd = next_open64(path, flags, mode);
    note_open(fd, path);
    return fd;
}

int close(int fd) {
    NEXT(close, close_f);
    if (fd >= 0 && fd < MAX_FDS) is_image_fd[fd] = 0;
    return next_close(fd);
}

ssize_t pread(int fd, void* buf, size_t len, off_t offset) {
    NEXT(pread, pread_f);
    int error = failure_of(fd, (uint64_t)offset, len);
    if (error) {
        errno = error;
        return -1;
    }
    return next_pread(fd, buf, len, offset);
}

ssize_t pread64(int fd, void* buf, size_t len, off_t offset) {
    NEXT(pread64, pread_f);
    int error = failure_of(fd, (uint64_t)offset, len);
    if (error) {
        errno = error;
        return -1;
    }
    return next_pread64(fd, buf, len, offset);
}

ssize_t read(int fd, void* buf, size_t len) {
    NEXT(read, read_f);
    NEXT(lseek, lseek_f);
    if (fd >= 0 && fd < MAX_FDS && is_image_fd[fd]) {
        int error = failure_of(fd, (uint64_t)next_lseek(fd, 0, SEEK_CUR), len);
        if (error) {
            errno = error;
            return -1;
        }
    }
    return next_read(fd, buf, len);
}
