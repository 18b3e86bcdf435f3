// Throughput of the byte rearrangement against memcpy, and of whole-file
// conversions against cp of the same file; and the reading of a DAT file
// (KESTRIX_BENCH_DAT) into its index, with the index's size beside the
// file's.

#include "ConversionMode.h"
#include "DatFile.h"
#include "Interleave.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

std::vector<std::uint8_t> Filled(std::size_t bytes) {
    std::vector<std::uint8_t> data(bytes);
    QRandomGenerator generator(1);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), bytes / sizeof(quint32));
    return data;
}

void BM_Memcpy(benchmark::State& state) {
    const auto bytes = std::size_t(state.range(0));
    const auto source = Filled(bytes);
    std::vector<std::uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
}

// What a conversion does to each piece: SMD blocks joined or split one by
// one, an MD image's halves joined or split whole.
void Rearrange(std::int32_t mode, const std::uint8_t* src, std::uint8_t* dst, std::size_t bytes) {
    constexpr std::size_t Block = 16384;
    constexpr std::size_t Half = Block / 2;
    switch (mode) {
    case SMDtoBIN:
        for (std::size_t at = 0; at < bytes; at += Block)
            Interleave::Join(src + at, src + at + Half, dst + at, Half);
        break;
    case BINtoSMD:
        for (std::size_t at = 0; at < bytes; at += Block)
            Interleave::Split(src + at, dst + at, dst + at + Half, Half);
        break;
    case MDtoBIN:
        Interleave::Join(src, src + bytes / 2, dst, bytes / 2);
        break;
    case BINtoMD:
        Interleave::Split(src, dst, dst + bytes / 2, bytes / 2);
        break;
    }
}

void BM_Rearrange(benchmark::State& state, std::int32_t mode) {
    const auto bytes = std::size_t(state.range(0));
    const auto source = Filled(bytes);
    std::vector<std::uint8_t> target(bytes);
    for (auto _ : state) {
        Rearrange(mode, source.data(), target.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
}

constexpr std::int64_t FourMiB = 4 << 20;
constexpr std::int64_t SixtyFourMiB = 64 << 20;

BENCHMARK(BM_Memcpy)->Arg(FourMiB)->Arg(SixtyFourMiB);
BENCHMARK_CAPTURE(BM_Rearrange, SMDtoBIN, SMDtoBIN)->Arg(FourMiB)->Arg(SixtyFourMiB);
BENCHMARK_CAPTURE(BM_Rearrange, BINtoSMD, BINtoSMD)->Arg(FourMiB)->Arg(SixtyFourMiB);
BENCHMARK_CAPTURE(BM_Rearrange, MDtoBIN, MDtoBIN)->Arg(FourMiB)->Arg(SixtyFourMiB);
BENCHMARK_CAPTURE(BM_Rearrange, BINtoMD, BINtoMD)->Arg(FourMiB)->Arg(SixtyFourMiB);

// Whole files: a 256 MiB plain image in a temporary folder, converted by the
// command-line converter, and copied by cp, each run as a process of its own.
struct WholeFile {
    QTemporaryDir dir;
    QString source;
    WholeFile() : source(dir.filePath("image.bin")) {
        QFile file(source);
        if (file.open(QIODevice::WriteOnly)) {
            const auto chunk = Filled(16 << 20);
            for (int i = 0; i < 16; ++i)
                file.write(reinterpret_cast<const char*>(chunk.data()), qint64(chunk.size()));
        }
    }
};

WholeFile& SharedFile() {
    static WholeFile file;
    return file;
}

QString ProgramFolder;

int Spawn(const QStringList& arguments) {
    std::vector<QByteArray> storage;
    for (const QString& argument : arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a command that writes `destination`. With `fresh` the destination is
// removed (untimed) before every run; otherwise each run replaces it.
void RunWholeFile(benchmark::State& state, const QStringList& command, const QString& destination,
                  bool fresh) {
    WholeFile& file = SharedFile();
    // One untimed run warms the page cache.
    if (Spawn(command) != 0) {
        state.SkipWithError("command failed");
        return;
    }
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            QFile::remove(destination);
            state.ResumeTiming();
        }
        if (Spawn(command) != 0)
            state.SkipWithError("command failed");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * QFileInfo(file.source).size());
}

void BM_WholeFile_Cp(benchmark::State& state) {
    WholeFile& file = SharedFile();
    const QString destination = file.dir.filePath("copy.bin");
    RunWholeFile(state, {"cp", file.source, destination}, destination, state.range(0) != 0);
}

void BM_WholeFile_KestrixConvert(benchmark::State& state) {
    WholeFile& file = SharedFile();
    RunWholeFile(state,
                 {ProgramFolder + "/kestrix-convert", "bin2smd", "--overwrite", "-o",
                  file.dir.path(), file.source},
                 file.dir.filePath("image.smd"), state.range(0) != 0);
}

// Argument 1: a new destination each run; 0: the run replaces an existing one.
BENCHMARK(BM_WholeFile_Cp)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(8);
BENCHMARK(BM_WholeFile_KestrixConvert)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(8);

// The DAT read and indexed; the counters say how fast, and what the index
// holds against the file's size.
void BM_DatIndex(benchmark::State& state) {
    const QString dat = qEnvironmentVariable("KESTRIX_BENCH_DAT");
    if (dat.isEmpty())
        return state.SkipWithError("KESTRIX_BENCH_DAT names no DAT file");
    const double size = double(QFileInfo(dat).size());
    std::size_t bytes = 0;
    for (auto _ : state) {
        DatFile::Index index;
        if (index.Load(dat).Failed())
            return state.SkipWithError("the DAT cannot be read");
        bytes = index.Bytes();
    }
    state.SetBytesProcessed(std::int64_t(size) * state.iterations());
    state.counters["dat_MB"] = size / 1e6;
    state.counters["index_MB"] = double(bytes) / 1e6;
    state.counters["index_share"] = double(bytes) / size;
}
BENCHMARK(BM_DatIndex)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ProgramFolder = QCoreApplication::applicationDirPath();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
