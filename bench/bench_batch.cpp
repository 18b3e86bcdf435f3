// The conversion window's own costs: filling and trimming the list, and what
// a run adds per file on top of the conversion itself.

#include "ButtonPlus.h"
#include "FileFunctions.h"
#include "FileHandle.h"
#include "FolderList.h"
#include "Form_Convert.h"
#include "Form_Main.h"
#include "Forms.h"
#include "ListInspector.h"
#include "Mod_File.h"
#include "ScriptedDesktop.h"
#include "WidgetBench.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <memory>

namespace {

struct Window {
    ScriptedDesktop desktop;
    std::unique_ptr<Forms> forms;
    Form_Convert* convert = nullptr;
    Window() {
        forms = std::make_unique<Forms>(desktop);
        forms->Start();
        forms->Main()->Button_BINtoMD->click();
        convert = forms->Convert();
    }
};

QString Selection(const QString& folder, const QString& prefix, int count) {
    QStringList pieces{folder};
    for (int i = 0; i < count; ++i)
        pieces << QStringLiteral("%1%2.bin").arg(prefix).arg(i);
    return pieces.join(QChar(0));
}

void Add(Window& window, const QString& selection) {
    window.desktop.selections = {selection};
    window.convert->AddFiles();
}

void BM_AddThousandToEmptyList(benchmark::State& state) {
    Window window;
    const QString selection = Selection(QStringLiteral("/roms"), QStringLiteral("new"), 1000);
    for (auto _ : state) {
        state.PauseTiming();
        window.convert->EmptyList();
        state.ResumeTiming();
        Add(window, selection);
    }
}

void BM_AddThousandToListOf999(benchmark::State& state) {
    Window window;
    const QString listed = Selection(QStringLiteral("/roms"), QStringLiteral("old"), 999);
    const QString selection = Selection(QStringLiteral("/roms"), QStringLiteral("new"), 1000);
    for (auto _ : state) {
        state.PauseTiming();
        window.convert->EmptyList();
        Add(window, listed);
        window.desktop.messages.clear();
        state.ResumeTiming();
        Add(window, selection);
    }
}

void BM_RemoveFiveHundredOfThousand(benchmark::State& state) {
    Window window;
    const QString selection = Selection(QStringLiteral("/roms"), QStringLiteral("f"), 1000);
    for (auto _ : state) {
        state.PauseTiming();
        window.convert->EmptyList();
        Add(window, selection);
        for (int p = 0; p < 1000; p += 2)
            window.convert->List_Files->item(p)->setSelected(true);
        state.ResumeTiming();
        window.convert->RemoveFiles();
    }
}

// 1000 plain images of 16 KiB, converted to MD into an empty folder.
struct SmallFiles {
    QTemporaryDir dir;
    QStringList names;
    SmallFiles() {
        QDir(dir.path()).mkdir(QStringLiteral("src"));
        QDir(dir.path()).mkdir(QStringLiteral("out"));
        const QByteArray bytes(16384, 'k');
        for (int i = 0; i < 1000; ++i) {
            names << QStringLiteral("g%1.bin").arg(i);
            QFile file(dir.filePath(QStringLiteral("src/") + names.last()));
            if (file.open(QIODevice::WriteOnly))
                file.write(bytes);
        }
    }
    QString Src() const { return QDir::toNativeSeparators(dir.filePath(QStringLiteral("src"))); }
    QString Out() const { return QDir::toNativeSeparators(dir.filePath(QStringLiteral("out"))); }
    void ClearOut() const {
        QDir out(Out());
        for (const QString& name : out.entryList(QDir::Files))
            out.remove(name);
    }
};

// 1000 images of 256 KiB with a cartridge header, inspected in the
// background as soon as they are listed.
struct Images {
    QTemporaryDir dir;
    QStringList names;
    Images() {
        QByteArray bytes(256 * 1024, 'i');
        bytes.replace(0x100, 16, "SEGA MEGA DRIVE ");
        for (int i = 0; i < 1000; ++i) {
            names << QStringLiteral("img%1.bin").arg(i);
            QFile file(dir.filePath(names.last()));
            if (file.open(QIODevice::WriteOnly))
                file.write(bytes);
        }
    }
    QString Selection(int from, int count) const {
        return (QStringList{QDir::toNativeSeparators(dir.path())} + names.mid(from, count))
            .join(QChar(0));
    }
};

// The second half of 1000 images added while the first half is being
// inspected: the list of 1000 lines is rebuilt and 500 inspections start.
void BM_AddImagesWhileInspecting(benchmark::State& state) {
    Images images;
    Window window;
    const QString first = images.Selection(0, 500);
    const QString second = images.Selection(500, 500);
    for (auto _ : state) {
        state.PauseTiming();
        window.convert->EmptyList();
        Add(window, first);
        state.ResumeTiming();
        Add(window, second);
    }
}

void BM_RunOfThousandSmallFiles(benchmark::State& state) {
    SmallFiles files;
    Window window;
    window.convert->Directory->SetPath(files.Out());
    QStringList pieces{files.Src()};
    pieces << files.names;
    for (auto _ : state) {
        state.PauseTiming();
        files.ClearOut();
        window.convert->EmptyList();
        Add(window, pieces.join(QChar(0)));
        window.desktop.messages.clear();
        state.ResumeTiming();
        window.convert->Convert();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * 1000);
}

void BM_ConvertFileLoopOfThousandSmallFiles(benchmark::State& state) {
    SmallFiles files;
    for (auto _ : state) {
        state.PauseTiming();
        files.ClearOut();
        state.ResumeTiming();
        for (const QString& name : std::as_const(files.names))
            Mod_File::ConvertFile(files.Src() + QDir::separator() + name,
                                  files.Out() + QDir::separator() +
                                      Mod_File::DestinationName(name, BINtoMD),
                                  BINtoMD);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * 1000);
}

// The window's run over a library of images (bench/library.sh makes one
// and names it in KESTRIX_BENCH_LIBRARY), BIN to MD into an empty folder on
// the same drive (KESTRIX_BENCH_OUT).
void BM_RunOfLibrary(benchmark::State& state) {
    const QString library = qEnvironmentVariable("KESTRIX_BENCH_LIBRARY");
    const QString out = qEnvironmentVariable("KESTRIX_BENCH_OUT");
    if (library.isEmpty() || out.isEmpty()) {
        state.SkipWithError("KESTRIX_BENCH_LIBRARY and KESTRIX_BENCH_OUT name no library");
        return;
    }
    QStringList pieces{QDir::toNativeSeparators(library)};
    pieces << QDir(library).entryList(QDir::Files, QDir::Name);
    Window window;
    window.convert->Directory->SetPath(QDir::toNativeSeparators(out));
    for (auto _ : state) {
        state.PauseTiming();
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        window.convert->EmptyList();
        Add(window, pieces.join(QChar(0)));
        window.desktop.messages.clear();
        // The list is inspected long before a person clicks Convert.
        window.convert->Inspector->WaitForWork();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        window.convert->Convert();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * (pieces.size() - 1));
}

BENCHMARK(BM_AddThousandToEmptyList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddThousandToListOf999)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveFiveHundredOfThousand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddImagesWhileInspecting)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunOfThousandSmallFiles)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ConvertFileLoopOfThousandSmallFiles)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RunOfLibrary)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    // The conversion window starts its folder list in the current folder.
    QTemporaryDir current;
    QDir::setCurrent(current.path());
    return RunWidgetBenchmarks(argc, argv);
}
