// Loaded with LD_PRELOAD into a program under test, to make what a real
// disk or a real user rarely does happen on cue. Each behaviour is asked for
// by an environment variable naming the end of a file's path:
//
//   KESTRIX_SHIM_TOUCH=SUFFIX    after a read of such a file, its
//                                modification time moves on (rewritten
//                                while it was read)
//   KESTRIX_SHIM_CORRUPT=SUFFIX  every read of such a file returns its first
//                                byte inverted (a disk that returns wrong
//                                data)
//   KESTRIX_SHIM_STOP=PART       the first write to a file whose path holds
//                                PART stops the process (SIGSTOP) before it
//                                writes, so that a test can interrupt it at
//                                a known point
//   KESTRIX_SHIM_STOP_READ=SUFFIX the first read of such a file stops the
//                                process (SIGSTOP) before it reads
//   KESTRIX_SHIM_STOP_RENAME=SUFFIX the first renameat to such a path stops
//                                the process (SIGSTOP) before it renames
//   KESTRIX_SHIM_FSYNC_LOG=FILE  the path of every folder flushed with fsync
//                                is added to FILE, a line each
//   KESTRIX_SHIM_HOLD_READ=SUFFIX the first read of such a file by a thread
//                                other than the main one waits until the
//                                process has written KESTRIX_SHIM_HOLD_BYTES
//                                bytes to files or a write has failed (30 s
//                                at most), so that the files of other threads
//                                are written first
//   KESTRIX_SHIM_SIGNAL_MADE=N   the first file made by openat under a hidden
//                                name of the writer's (".kx-...") while the
//                                process runs other threads sends signal N
//                                to the process as soon as it exists, and
//                                the call returns only 300 ms later: another
//                                thread takes the signal while the name is
//                                being made
//   KESTRIX_SHIM_EIO=N:SUFFIX    the reads of such a file after its first N
//                                fail with EIO (a disk that fails midway)
// It defines pread and write itself, which fortified headers would inline.
#undef _FORTIFY_SOURCE
#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The path a descriptor leads to, as the system names it; its length, or
// 0 when there is none.
ssize_t PathOf(int fd, char (&path)[4096]) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0)
        return 0;
    path[length] = '\0';
    return length;
}

bool Matches(int fd, const char* variable, bool anywhere = false) {
    const char* suffix = std::getenv(variable);
    if (!suffix || !*suffix)
        return false;
    char path[4096];
    const ssize_t length = PathOf(fd, path);
    if (length == 0)
        return false;
    const size_t n = std::strlen(suffix);
    if (anywhere)
        return std::strstr(path, suffix) != nullptr;
    return std::size_t(length) >= n && std::strcmp(path + length - n, suffix) == 0;
}

ssize_t After(int fd, void* buffer, ssize_t got) {
    if (got > 0 && Matches(fd, "KESTRIX_SHIM_CORRUPT"))
        static_cast<unsigned char*>(buffer)[0] ^= 0xFF;
    if (got > 0 && Matches(fd, "KESTRIX_SHIM_TOUCH")) {
        struct stat st;
        if (fstat(fd, &st) == 0) {
            struct timespec times[2] = {st.st_atim, st.st_mtim};
            times[1].tv_sec += 1;
            futimens(fd, times);
        }
    }
    return got;
}

using PreadFunction = ssize_t (*)(int, void*, size_t, off_t);
using WriteFunction = ssize_t (*)(int, const void*, size_t);
using PwriteFunction = ssize_t (*)(int, const void*, size_t, off_t);

ssize_t RealPread(int fd, void* buffer, size_t count, off_t offset) {
    static const auto real = reinterpret_cast<PreadFunction>(dlsym(RTLD_NEXT, "pread64"));
    return real(fd, buffer, count, offset);
}

// Once each, whichever thread gets there first.
std::atomic<bool> stopped{false};
std::atomic<bool> stoppedReading{false};

std::atomic<bool> held{false};
std::atomic<long long> bytesWritten{0};
std::atomic<bool> writeFailed{false};

ssize_t Written(int fd, ssize_t put) {
    if (fd > 2 && put > 0)
        bytesWritten += put;
    else if (fd > 2 && put < 0)
        writeFailed = true;
    return put;
}

void Before(int fd) {
    if (!stoppedReading && Matches(fd, "KESTRIX_SHIM_STOP_READ") && !stoppedReading.exchange(true))
        raise(SIGSTOP);
    if (!held && pid_t(syscall(SYS_gettid)) != getpid() && Matches(fd, "KESTRIX_SHIM_HOLD_READ") &&
        !held.exchange(true)) {
        const char* bytes = std::getenv("KESTRIX_SHIM_HOLD_BYTES");
        const long long wanted = bytes ? std::atoll(bytes) : 0;
        for (int i = 0; i < 3000 && bytesWritten < wanted && !writeFailed; ++i)
            usleep(10000);
    }
}

// Whether this read of a file fails: KESTRIX_SHIM_EIO=N:SUFFIX.
std::atomic<long> readsOfFailing{0};
bool FailsNow(int fd) {
    const char* rule = std::getenv("KESTRIX_SHIM_EIO");
    const char* colon = rule ? std::strchr(rule, ':') : nullptr;
    if (!colon)
        return false;
    const std::string suffix(colon + 1);
    char path[4096];
    const ssize_t length = PathOf(fd, path);
    if (length == 0 || std::size_t(length) < suffix.size() ||
        std::strcmp(path + length - suffix.size(), suffix.c_str()) != 0)
        return false;
    return ++readsOfFailing > std::atol(rule);
}

void StopOnFirstWrite(int fd) {
    if (!stopped && fd > 2 && Matches(fd, "KESTRIX_SHIM_STOP", true) && !stopped.exchange(true))
        raise(SIGSTOP);
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* buffer, size_t count) {
    static const auto real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
    StopOnFirstWrite(fd);
    return Written(fd, real(fd, buffer, count));
}

ssize_t pwrite64(int fd, const void* buffer, size_t count, off_t offset) {
    static const auto real = reinterpret_cast<PwriteFunction>(dlsym(RTLD_NEXT, "pwrite64"));
    StopOnFirstWrite(fd);
    return Written(fd, real(fd, buffer, count, offset));
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    return pwrite64(fd, buffer, count, offset);
}

int fsync(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    struct stat st;
    const char* log = std::getenv("KESTRIX_SHIM_FSYNC_LOG");
    if (log && *log && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        char path[4096];
        const ssize_t length = PathOf(fd, path);
        if (length > 0) {
            path[length] = '\n';
            const int out = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
            if (out >= 0) {
                static const auto realWrite =
                    reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(
                        dlsym(RTLD_NEXT, "write"));
                realWrite(out, path, size_t(length) + 1);
                close(out);
            }
        }
    }
    return real(fd);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static const auto real =
        reinterpret_cast<int (*)(int, const char*, int, const char*)>(dlsym(RTLD_NEXT, "renameat"));
    static bool stoppedRenaming = false;
    const char* suffix = std::getenv("KESTRIX_SHIM_STOP_RENAME");
    if (!stoppedRenaming && suffix && *suffix) {
        char path[4096];
        if (PathOf(toDir, path) > 0) {
            std::string whole = std::string(path) + "/" + to;
            const std::size_t n = std::strlen(suffix);
            if (whole.size() >= n && whole.compare(whole.size() - n, n, suffix) == 0) {
                stoppedRenaming = true;
                raise(SIGSTOP);
            }
        }
    }
    return real(fromDir, from, toDir, to);
}

// The threads the process runs now.
static int Threads() {
    DIR* tasks = opendir("/proc/self/task");
    int n = 0;
    while (const dirent* entry = tasks ? readdir(tasks) : nullptr)
        n += entry->d_name[0] != '.';
    if (tasks)
        closedir(tasks);
    return n;
}

int openat64(int dir, const char* name, int flags, ...) {
    static const auto real =
        reinterpret_cast<int (*)(int, const char*, int, ...)>(dlsym(RTLD_NEXT, "openat64"));
    static std::atomic<bool> signalled{false};
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list arguments;
        va_start(arguments, flags);
        mode = mode_t(va_arg(arguments, int));
        va_end(arguments);
    }
    const int fd = real(dir, name, flags, mode);
    const char* signal = std::getenv("KESTRIX_SHIM_SIGNAL_MADE");
    const char* base = std::strrchr(name, '/');
    base = base ? base + 1 : name;
    if (fd >= 0 && (flags & O_CREAT) && signal && *signal && std::strncmp(base, ".kx-", 4) == 0 &&
        Threads() > 1 && !signalled.exchange(true)) {
        kill(getpid(), std::atoi(signal));
        usleep(300000);
    }
    return fd;
}

int openat(int dir, const char* name, int flags, ...) __attribute__((alias("openat64")));

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
    Before(fd);
    if (FailsNow(fd))
        return errno = EIO, -1;
    return After(fd, buffer, RealPread(fd, buffer, count, offset));
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    Before(fd);
    if (FailsNow(fd))
        return errno = EIO, -1;
    return After(fd, buffer, RealPread(fd, buffer, count, offset));
}

} // extern "C"
