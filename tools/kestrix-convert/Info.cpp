#include "Info.h"

#include "Archive.h"
#include "Arguments.h"
#include "FileFunctions.h"
#include "Mod_Convert.h"
#include "Output.h"
#include "RomInspector.h"
#include "RomReport.h"
#include "Sources.h"
#include "WorkerPool.h"

#include <QJsonDocument>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <semaphore>
#include <vector>

namespace {

using Give = std::function<void(RomInspector::Report&&)>;

// The reports of one file, each handed over as soon as it is made: one, or
// one for each entry of an archive.
void InspectFile(const QString& path, const QString& stdinName, std::counting_semaphore<>& archives,
                 const Give& give) {
    if (path == QLatin1String("-")) {
        // Standard input, read whole.
        RomInspector::Report report;
        QByteArray bytes;
        QString why;
        if (ReadStandardInput(Mod_Convert::MaxSourceSize, &bytes, &why))
            report = RomInspector::InspectData(
                RomInspector::MemoryReader(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           bytes.size()),
                bytes.size());
        else
            report.error = QStringLiteral("standard input cannot be read: ") + why;
        report.file = stdinName.isEmpty() ? path : stdinName;
        give(std::move(report));
        return;
    }
    // What the file is, when its name says otherwise, comes first.
    const Archive::Kind kind = Archive::KindOf(path);
    const QString misnamed = Archive::Misnamed(path, kind);
    if (kind == Archive::Kind::None) {
        RomInspector::Report report = RomInspector::Inspect(path);
        if (!misnamed.isEmpty() && report.Inspected())
            report.reasons.prepend(misnamed);
        give(std::move(report));
        return;
    }
    // An archive's entry is inspected in memory, up to 1 GiB of it: two
    // archives at a time at most, whatever the number of cores.
    archives.acquire();
    const struct Held {
        std::counting_semaphore<>& archives;
        ~Held() { archives.release(); }
    } held{archives};
    int entries = 0;
    const EngineError read =
        Archive::Read(path, Mod_Convert::MaxSourceSize, [&](Archive::Entry& entry) {
            RomInspector::Report report;
            if (entry.companion) {
                report.reasons.append(QStringLiteral(
                    "a companion of the images (a read-me, a picture, a list), passed over "
                    "unread"));
            } else if (!entry.error.Failed()) {
                const auto* data = reinterpret_cast<const std::uint8_t*>(entry.bytes.constData());
                report = RomInspector::InspectData(
                    RomInspector::MemoryReader(data, entry.bytes.size()), entry.bytes.size());
            } else {
                report.error = entry.error.Text();
            }
            report.file = path + QLatin1Char(':') + entry.name;
            if (!misnamed.isEmpty() && report.Inspected())
                report.reasons.prepend(misnamed);
            ++entries;
            give(std::move(report));
        });
    if (read.Failed() || entries == 0) {
        RomInspector::Report report;
        report.file = path;
        report.error = read.Failed() ? read.Text() : QStringLiteral("the archive holds no files");
        give(std::move(report));
    }
}

// Inspects every file, as many at once as asked or as there are cores, and
// hands each report on in the order of the files as soon as it and the ones
// before it are done.
void InspectInOrder(const QStringList& files, int jobs, const QString& stdinName,
                    const std::function<void(const RomInspector::Report&)>& take) {
    // Each file's reports as they come, until it is done: the file being
    // told hands its reports straight on, the later ones wait.
    struct Slot {
        std::deque<RomInspector::Report> waiting;
        bool done = false;
    };
    std::vector<Slot> pending(std::size_t(files.size()));
    std::mutex mutex;
    std::condition_variable arrived;
    WorkerPool pool(jobs);
    std::counting_semaphore<> archives(2);
    for (qsizetype i = 0; i < files.size(); ++i)
        pool.Start([&, i] {
            Slot& slot = pending[std::size_t(i)];
            InspectFile(files.at(i), stdinName, archives, [&](RomInspector::Report&& report) {
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    slot.waiting.push_back(std::move(report));
                }
                arrived.notify_all();
            });
            {
                const std::lock_guard<std::mutex> lock(mutex);
                slot.done = true;
            }
            arrived.notify_all();
        });
    for (Slot& slot : pending) {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            arrived.wait(lock, [&slot] { return slot.done || !slot.waiting.empty(); });
            std::deque<RomInspector::Report> ready = std::move(slot.waiting);
            slot.waiting.clear();
            const bool done = slot.done;
            lock.unlock();
            for (const RomInspector::Report& report : ready)
                take(report);
            if (done && ready.empty())
                break;
        }
    }
    pool.WaitForDone();
}

void PrintText(const RomInspector::Report& r, const RomReport::Dat& dat) {
    Out() << Shown(r.file) << "\n";
    for (const RomReport::Line& line : RomReport::Lines(r, dat))
        Out() << "  " << line.label.leftJustified(11) << line.value << "\n";
}

} // namespace

bool LoadDats(const QStringList& paths, DatFile::Index& index) {
    for (const QString& path : paths) {
        if (const EngineError loaded = index.Load(path); loaded.Failed()) {
            Err() << "kestrix-convert: cannot read the DAT file " << loaded.Text() << "\n";
            return false;
        }
    }
    for (const QString& warning : index.Warnings())
        Err() << "kestrix-convert: warning: " << warning << "\n";
    return true;
}

int Info(const QStringList& files, bool json, const QStringList& dats, int jobs,
         const QString& stdinName) {
    DatFile::Index index;
    if (!LoadDats(dats, index))
        return ExitSomeFailed;
    auto datOf = [&](const RomInspector::Report& r) {
        return RomReport::Dat{!dats.isEmpty(), dats.isEmpty() ? nullptr : index.Match(r)};
    };
    int status = ExitConverted;
    bool first = true;
    // Each object is written as soon as it is done, not gathered first.
    if (json)
        Out() << "{\n    \"schema\": " << qint64(RomReport::JsonSchema) << ",\n    \"files\": [";
    InspectInOrder(files, jobs, stdinName, [&](const RomInspector::Report& r) {
        if (!r.Inspected()) {
            status = ExitSomeFailed;
            Err() << "kestrix-convert: cannot inspect " << Quoted(r.file) << ": " << r.error
                  << "\n";
            Err().Flush();
        }
        if (json) {
            const QByteArray object = QJsonDocument(RomReport::Json(r, Shown(r.file), datOf(r)))
                                          .toJson(QJsonDocument::Indented)
                                          .trimmed();
            Out() << (first ? "\n        " : ",\n        ")
                  << QString::fromUtf8(object).replace(QLatin1Char('\n'),
                                                       QStringLiteral("\n        "));
            first = false;
            Out().Flush();
        } else if (r.Inspected()) {
            if (!first)
                Out() << "\n";
            first = false;
            PrintText(r, datOf(r));
            Out().Flush();
        }
    });
    if (json)
        Out() << (first ? "]\n}\n" : "\n    ]\n}\n");
    return status;
}
