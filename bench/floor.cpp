// floor DIR FILE...: the bare work of `bin2smd --force` over a library, as a
// yardstick: each plain image read in pieces of 4 MiB (pread), rearranged
// into SMD blocks by the engine's own loop, and written (pwrite) into
// DIR/NAME.smd under its 512-byte copier header, on as many threads as
// there are cores, each taking the next piece from one shared counter.
// Nothing else: no inspection, no temporary names, no flushes, no checks.

#include "Interleave.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t Piece = std::int64_t(4) << 20;
constexpr std::int64_t Block = 16384;

struct File {
    int in = -1;
    int out = -1;
    std::int64_t size = 0;
};

struct Task {
    std::size_t file;
    std::int64_t offset;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fputs("usage: floor DIR FILE...\n", stderr);
        return 2;
    }
    std::vector<File> files;
    std::vector<Task> tasks;
    for (int i = 2; i < argc; ++i) {
        File f;
        f.in = ::open(argv[i], O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (f.in < 0 || ::fstat(f.in, &st) != 0 || st.st_size % Block != 0)
            return std::fprintf(stderr, "floor: %s: not a plain image of whole blocks\n", argv[i]),
                   1;
        f.size = st.st_size;
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        name = std::string(argv[1]) + "/" + name.substr(0, name.find('.')) + ".smd";
        f.out = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (f.out < 0)
            return std::perror(name.c_str()), 1;
        unsigned char header[512] = {};
        const std::int64_t blocks = f.size / Block;
        header[0] = static_cast<unsigned char>(blocks <= 255 ? blocks : 0);
        header[1] = 3;
        header[8] = 0xAA;
        header[9] = 0xBB;
        header[10] = 6;
        if (::pwrite(f.out, header, sizeof header, 0) != ssize_t(sizeof header))
            return std::perror(name.c_str()), 1;
        for (std::int64_t offset = 0; offset < f.size; offset += Piece)
            tasks.push_back({files.size(), offset});
        files.push_back(f);
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        std::vector<std::uint8_t> in(static_cast<std::size_t>(Piece));
        std::vector<std::uint8_t> out(static_cast<std::size_t>(Piece));
        for (std::size_t t; (t = next.fetch_add(1)) < tasks.size();) {
            const File& f = files[tasks[t].file];
            const std::int64_t offset = tasks[t].offset;
            const std::int64_t n = std::min(Piece, f.size - offset);
            if (::pread(f.in, in.data(), std::size_t(n), offset) != n)
                return failed.store(true);
            for (std::int64_t b = 0; b < n; b += Block)
                Interleave::Split(in.data() + b, out.data() + b, out.data() + b + Block / 2,
                                  std::size_t(Block / 2));
            if (::pwrite(f.out, out.data(), std::size_t(n), 512 + offset) != n)
                return failed.store(true);
        }
    };
    std::vector<std::thread> threads;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i)
        threads.emplace_back(work);
    for (std::thread& thread : threads)
        thread.join();
    for (const File& f : files)
        if (::close(f.out) != 0 || ::close(f.in) != 0)
            failed = true;
    return failed ? 1 : 0;
}
