// The temporary names of the files being written, which SIGINT, SIGTERM and
// SIGHUP remove before the process ends.

#include "WriterParts.h"

#include <QRandomGenerator>

#include <atomic>
#include <cstdio>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

namespace {

// The temporary names a signal handler may have to remove, one slot for
// each writer that has one.
struct PendingName {
    std::atomic<int> taken{0};
    volatile std::sig_atomic_t set = 0;
    int dir = -1;
    char name[32] = {};
};
PendingName pending[MaxPendingWriters];

// Threads between making or removing a temporary name and telling the
// registry so; and whether a handler has begun to remove the names.
std::atomic<int> changing{0};
std::atomic<int> ending{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

extern "C" void RemovePendingAndExit(int signal) {
    ending.store(1);
    // A thread making a name now has the signal held back: its name is
    // registered (or gone) once it is done, which takes a system call or two.
    const struct timespec pause = {0, 1000000};
    for (int waited = 0; changing.load() > 0 && waited < 2000; ++waited)
        ::nanosleep(&pause, nullptr);
    for (PendingName& p : pending)
        if (p.set)
            ::unlinkat(p.dir, p.name, 0);
    ::_exit(128 + signal);
}

} // namespace

namespace Detail {

// A hidden name of at most 13 bytes: it fits wherever the destination's name
// does, and in one long-name entry of a FAT folder (fusefat mixes up the
// clusters of files renamed from 14-character names).
QByteArray TemporaryName() {
    return ".kx-" +
           QByteArray::number(QRandomGenerator::global()->generate64() % 101559956668416ull, 36);
}

int SetPending(int dirFd, const QByteArray& name) {
    for (int slot = 0; slot < MaxPendingWriters; ++slot) {
        int free = 0;
        if (!pending[slot].taken.compare_exchange_strong(free, 1))
            continue;
        PendingName& p = pending[slot];
        p.dir = dirFd;
        std::snprintf(p.name, sizeof p.name, "%s", name.constData());
        std::atomic_signal_fence(std::memory_order_seq_cst);
        p.set = 1;
        return slot;
    }
    return -1;
}

void ClearPending(int& slot) {
    if (slot < 0)
        return;
    pending[slot].set = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pending[slot].taken.store(0);
    slot = -1;
}

SignalsHeld::SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &saved_);
    changing.fetch_add(1);
    // The process is ending in a handler on another thread: nothing more is
    // made for it to miss.
    if (ending.load() != 0) {
        changing.fetch_sub(1);
        for (;;)
            ::pause();
    }
}

SignalsHeld::~SignalsHeld() {
    changing.fetch_sub(1);
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

} // namespace Detail

QStringList Leftovers(const QString& folder) {
    QStringList names;
    const int dir = ::open(EncodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return names;
    DIR* list = ::fdopendir(dir);
    if (!list) {
        ::close(dir);
        return names;
    }
    while (const dirent* entry = ::readdir(list)) {
        const QByteArray name(entry->d_name);
        struct stat st {};
        if (name.startsWith(".kx-") && name.size() <= 13 &&
            ::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            names.append(DecodeName(name));
    }
    ::closedir(list);
    names.sort();
    return names;
}

void RemoveTemporaryOnSignals() {
    struct sigaction action {};
    action.sa_handler = RemovePendingAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // Past a file-size limit a write then fails with EFBIG, like any other.
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace SafeFile
