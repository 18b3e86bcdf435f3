#include "InspectFiles.h"

#include "Archive.h"
#include "Mod_Convert.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace RomInspector {

namespace {

using Give = std::function<void(Report&&)>;

// Many loaders and DATs name plain images .md, which is also the name of
// the interleaved layout: a plain image of that name is said to be one.
void NamedMd(Report& report) {
    if (report.Inspected() && report.layout == RomLayout::Plain &&
        report.file.endsWith(QLatin1String(".md"), Qt::CaseInsensitive))
        report.reasons.append(
            QStringLiteral("a plain image: the .md name is often used for plain images"));
}

Report InspectBytes(const QByteArray& bytes, const Options& options) {
    return InspectData(
        MemoryReader(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size()),
        bytes.size(), options);
}

// The reports of an archive's entries, each handed over as soon as it is
// made; misnamed: what the archive's name gets wrong, told first.
void InspectArchive(const QString& path, const QString& misnamed, const Options& options,
                    const Give& give) {
    int entries = 0;
    const EngineError read =
        Archive::Read(path, Mod_Convert::MaxSourceSize, [&](Archive::Entry& entry) {
            Report report;
            if (entry.companion)
                report.reasons.append(QStringLiteral(
                    "a companion of the images (a read-me, a picture, a list), passed over "
                    "unread"));
            else if (!entry.error.Failed())
                report = InspectBytes(entry.bytes, options);
            else
                report.error = entry.error;
            report.file = path + QLatin1Char(':') + entry.name;
            NamedMd(report);
            if (!misnamed.isEmpty() && report.Inspected())
                report.reasons.prepend(misnamed);
            ++entries;
            give(std::move(report));
        });
    if (read.Failed() || entries == 0) {
        Report report;
        report.file = path;
        report.error = read.Failed() ? read : EngineError(EngineError::Code::ArchiveEmpty);
        give(std::move(report));
    }
}

// The reports of one file: one, or one for each entry of an archive.
void InspectFile(const QString& path, const StandardInput& standardInput, const QString& stdinName,
                 const Options& options, Semaphore& archives, const Give& give) {
    if (path == QLatin1String("-")) {
        Report report;
        QByteArray bytes;
        if (const EngineError read = standardInput(Mod_Convert::MaxSourceSize, &bytes);
            read.Failed())
            report.error = read;
        else
            report = InspectBytes(bytes, options);
        report.file = stdinName.isEmpty() ? path : stdinName;
        NamedMd(report);
        return give(std::move(report));
    }
    // What the file is, when its name says otherwise, comes first.
    const SafeFile::Source source(path);
    const Archive::Kind kind = Archive::KindOf(source);
    const QString misnamed = Archive::Misnamed(path, kind);
    if (kind == Archive::Kind::None) {
        Report report = Inspect(path, source, options);
        if (!misnamed.isEmpty() && report.Inspected())
            report.reasons.prepend(misnamed);
        NamedMd(report);
        return give(std::move(report));
    }
    // An archive's entry is inspected in memory, up to 1 GiB of it: two
    // archives at a time at most, whatever the number of cores.
    archives.Acquire();
    InspectArchive(path, misnamed, options, give);
    archives.Release();
}

} // namespace

void InspectFiles(const QStringList& files, InspectionThreads& threads,
                  const StandardInput& standardInput, const QString& stdinName,
                  const std::function<void(const Report&)>& take, bool raw,
                  const std::atomic<bool>* stop, bool md5, FingerprintCache* cache) {
    Options options;
    options.rawFingerprints = raw;
    options.md5 = md5;
    options.helpers = &threads.helpers;
    // Each file's reports as they come: the file being told hands its
    // reports straight on, the later ones wait.
    Semaphore archives(2);
    InOrder<Report> reports(threads.files);
    for (const QString& file : files)
        reports.Start([&, file](const InOrder<Report>::Give& give) {
            if (stop && stop->load())
                return;
            if (!cache || file == QLatin1String("-"))
                return InspectFile(file, standardInput, stdinName, options, archives, give);
            // Known by where the file is, however it was named.
            const QString path = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
            const FingerprintCache::Key key = cache->KeyOf(file);
            std::vector<Report> made;
            if (cache->Find(path, file, key, md5, &made)) {
                for (Report& report : made)
                    give(std::move(report));
                return;
            }
            InspectFile(file, standardInput, stdinName, options, archives,
                        [&made, &give](Report&& report) {
                            made.push_back(report);
                            give(std::move(report));
                        });
            cache->Keep(path, file, key, md5, made);
        });
    while (reports.TakeNext([&take](const Report& report) { take(report); })) {
    }
}

} // namespace RomInspector
