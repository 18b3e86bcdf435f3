#include "DeviceExport.h"

#include "ConversionJob.h"
#include "PathSeparator.h"
#include "PlainStream.h"
#include "SafeFile.h"
#include "WorkerPool.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>

namespace DeviceExport {

namespace {

// A path under the export's folder as the manifest keeps it: '/' between
// its parts, whatever the system.
QString Relative(const QString& folder, const QString& path) {
    QString prefix = folder;
    if (!prefix.isEmpty() && !prefix.endsWith(QLatin1Char('/')) &&
        !prefix.endsWith(PathSeparator()))
        prefix += PathSeparator();
    return QDir::fromNativeSeparators(path.startsWith(prefix) ? path.mid(prefix.size()) : path);
}

QString Under(const QString& folder, const QString& relative) {
    return relative.isEmpty() ? folder : JoinPath(folder, QDir::toNativeSeparators(relative));
}

// Asks the caller whether to stop; tells it nothing else (the counting run).
class Counting : public JobObserver {
public:
    explicit Counting(JobObserver& caller) : caller_(caller) {}
    bool Cancelled() override { return caller_.Cancelled(); }
    void Done(const FileReport& report) override {
        // A file kept where it exists is in the folder as much as one written.
        if (report.outcome == FileOutcome::Converted || report.outcome == FileOutcome::Skipped)
            ++inFolder_[FolderOf(report.destination)];
    }
    std::map<QString, int> inFolder_;

private:
    JobObserver& caller_;
};

// Tells the caller everything, and keeps what the outcome and the manifest
// need.
class Keeping : public JobObserver {
public:
    Keeping(JobObserver& caller, Outcome* outcome) : caller_(caller), outcome_(outcome) {}
    bool Cancelled() override { return caller_.Cancelled(); }
    bool MayReplace(const QString& destination) override { return caller_.MayReplace(destination); }
    void Reading(int told, int total, const QString& name) override {
        caller_.Reading(told, total, name);
    }
    void Through(int sources, int total) override { caller_.Through(sources, total); }
    void Done(const FileReport& report) override {
        const bool leftOut =
            std::any_of(report.notices.begin(), report.notices.end(),
                        [](const JobNotice& n) { return n.kind == JobNotice::Kind::LeftOut; });
        if (report.written)
            ++outcome_->written;
        else if (leftOut)
            ++outcome_->leftOut;
        else if (report.outcome == FileOutcome::Refused)
            ++outcome_->refused;
        else if (report.outcome == FileOutcome::Failed)
            ++outcome_->failed;
        else
            ++outcome_->skipped;
        // A file written but not as it should be (its read-back differs) is
        // still the export's to undo.
        const bool unverified =
            std::any_of(report.notices.begin(), report.notices.end(),
                        [](const JobNotice& n) { return n.kind == JobNotice::Kind::VerifyFailed; });
        if (report.written || unverified)
            written_.push_back({report.destination, report.given});
        caller_.Done(report);
    }
    struct Written {
        QString destination;
        QString given;
    };
    std::vector<Written> written_;

private:
    JobObserver& caller_;
    Outcome* outcome_;
};

// The folders an export may make, under its own: each machine's, with the
// folders above it, and the letter folders of those that have them.
QStringList MayMake(const Request& r, const QSet<QString>& lettered) {
    QStringList folders;
    const DeviceProfile::Profile& p = *r.profile;
    for (const DeviceProfile::ForMachine* m : {&p.megaDrive, &p.mega32x, &p.pico}) {
        if (!m->runs || m->folder.isEmpty())
            continue;
        const QStringList parts = m->folder.split(QLatin1Char('/'));
        for (int i = 1; i <= parts.size(); ++i)
            folders << QStringList(parts.mid(0, i)).join(QLatin1Char('/'));
    }
    const QDir top(r.folder.isEmpty() ? QStringLiteral(".") : r.folder);
    for (const QString& folder : lettered) {
        const QString relative =
            top.relativeFilePath(folder.isEmpty() ? QStringLiteral(".") : folder);
        const QString base =
            relative == QLatin1String(".") ? QString() : relative + QLatin1Char('/');
        for (char c = 'A'; c <= 'Z'; ++c)
            folders << base + QLatin1Char(c);
        folders << base + QLatin1Char('#');
    }
    folders.removeDuplicates();
    return folders;
}

JobRequest JobOf(const Request& r, const Rules& rules) {
    JobRequest job;
    job.task = JobTask::ToLayout;
    job.target = RomLayout::Plain;
    job.folder = r.folder;
    job.existing = r.existing;
    job.dryRun = r.dryRun;
    job.verify = r.verify;
    job.zip = r.profile->zip;
    job.dats = r.dats;
    job.threads = r.threads;
    job.device = &rules;
    return job;
}

EngineError WriteNew(const QString& name, const QByteArray& bytes, QString* path);

EngineError WriteManifest(const Request& r, const std::vector<Keeping::Written>& written,
                          const QStringList& made, QString* path) {
    WorkerPool pool(r.threads);
    std::vector<RomInspector::Sha1> sums(written.size());
    std::vector<std::int64_t> sizes(written.size(), -1);
    for (std::size_t i = 0; i < written.size(); ++i)
        pool.Start([&, i] {
            SafeFile::Source file(written[i].destination);
            sizes[i] = file.Size();
            sums[i] = RomInspector::PlainSha1(RomInspector::ReaderOf(file), file.Size(),
                                              RomLayout::Plain);
        });
    pool.WaitForDone();
    QJsonArray files;
    for (std::size_t i = 0; i < written.size(); ++i)
        files.append(
            QJsonObject{{QStringLiteral("file"), Relative(r.folder, written[i].destination)},
                        {QStringLiteral("source"), written[i].given},
                        {QStringLiteral("size"), qint64(sizes[i])},
                        {QStringLiteral("sha1"), sums[i].hex}});
    QJsonArray folders;
    for (const QString& folder : made)
        folders.append(folder);
    const QString absolute =
        QDir(r.folder.isEmpty() ? QStringLiteral(".") : r.folder).absolutePath();
    QJsonObject manifest{
        {QStringLiteral("kestrix_export"), 1},
        {QStringLiteral("profile"), r.profile->name},
        {QStringLiteral("folder"), QDir::toNativeSeparators(absolute)},
        {QStringLiteral("written"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("files"), files},
        {QStringLiteral("folders"), folders}};
    const QString name = ManifestName(r.profile->name);
    // Beside the files; where that cannot be (a full card), in the
    // temporary folder, named after the export's folder too, and saying
    // where the files are.
    const QString beside = JoinPath(r.folder, name);
    manifest[QStringLiteral("beside")] = true;
    const EngineError there = WriteNew(beside, QJsonDocument(manifest).toJson(), path);
    if (!there.Failed())
        return {};
    manifest[QStringLiteral("beside")] = false;
    const QString elsewhere =
        JoinPath(QDir::tempPath(), name.chopped(5) + QLatin1Char('-') +
                                       SafeName(QFileInfo(absolute).fileName(), QString(), 40) +
                                       QStringLiteral(".json"));
    if (WriteNew(elsewhere, QJsonDocument(manifest).toJson(), path).Failed())
        return {EngineError::Code::ManifestNotWritten, there.Text(), beside};
    return {EngineError::Code::ManifestNotWritten,
            there.Text() + QStringLiteral("; it is at ") + SafeFile::Printable(*path), beside};
}

// Writes a new file, never over one: under the name, or the name with a
// number after it when that is taken.
EngineError WriteNew(const QString& name, const QByteArray& bytes, QString* path) {
    for (int n = 1;; ++n) {
        *path = n == 1 ? name : name.chopped(5) + QStringLiteral("-%1.json").arg(n);
        const EngineError error = SafeFile::WriteFile(*path, bytes, SafeFile::Existing::Keep);
        if (!error.Failed())
            return {};
        if (!SafeFile::EntryExists(*path) || n == 100) {
            path->clear();
            return error;
        }
    }
}

} // namespace

QString FolderOf(const QString& destination) {
    const qsizetype slash = LastSeparator(destination);
    return slash < 0 ? QString() : destination.left(slash);
}

QString ManifestName(const QString& profile) {
    return QStringLiteral("kestrix-export-%1-%2.json")
        .arg(profile, QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

Outcome Export(const Request& r, const std::vector<JobSource>& sources, JobObserver& observer) {
    Outcome outcome;
    Rules rules;
    rules.profile = r.profile;
    // A folder that would hold more files than the device reads has them in
    // letter folders: counted by a dry run first (without DAT names, which
    // change no folder).
    if (r.profile->filesPerFolder > 0) {
        Request counting = r;
        counting.dryRun = true;
        counting.dats = nullptr;
        counting.verify = false;
        Counting counter(observer);
        ConversionJob job(JobOf(counting, rules), counter);
        job.Run(sources);
        if (job.WasCancelled())
            return outcome.cancelled = true, outcome;
        for (const auto& [folder, files] : counter.inFolder_)
            if (files > r.profile->filesPerFolder)
                rules.lettered.insert(folder);
    }
    const QStringList mayMake = MayMake(r, rules.lettered);
    QStringList before;
    for (const QString& folder : mayMake)
        if (SafeFile::EntryExists(Under(r.folder, folder)))
            before << folder;
    Keeping keeping(observer, &outcome);
    ConversionJob job(JobOf(r, rules), keeping);
    job.Run(sources);
    outcome.cancelled = job.WasCancelled();
    if (r.dryRun || keeping.written_.empty())
        return outcome;
    QStringList made;
    for (const QString& folder : mayMake)
        if (!before.contains(folder) && SafeFile::IsFolder(Under(r.folder, folder)))
            made << folder;
    outcome.manifestError = WriteManifest(r, keeping.written_, made, &outcome.manifest);
    return outcome;
}

int UndoOutcome::Count(UndoStep::Kind kind) const {
    return int(std::count_if(steps.begin(), steps.end(),
                             [kind](const UndoStep& s) { return s.kind == kind; }));
}

namespace {

// A path the manifest names under the export's folder: relative, each part
// a name, none leaving the folder.
bool IsUnder(const QString& relative) {
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/')) ||
        relative.contains(QLatin1Char('\\')) || relative.contains(QLatin1Char(':')))
        return false;
    for (const QString& part : relative.split(QLatin1Char('/')))
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    return true;
}

// Whether any folder between the export's folder and the path is a link,
// which would lead outside it.
bool ThroughLink(const QString& base, const QString& relative) {
    const QStringList parts = relative.split(QLatin1Char('/'));
    QString path = base;
    for (const QString& part : parts) {
        path = Under(path, part);
        if (SafeFile::IsLink(path))
            return true;
    }
    return false;
}

EngineError Malformed(const QString& manifest, const QString& why) {
    return {EngineError::Code::ManifestMalformed, why, manifest};
}

} // namespace

EngineError Undo(const QString& manifestPath, UndoOutcome* outcome) {
    SafeFile::Source file(manifestPath);
    if (!file.IsOpen())
        return {EngineError::Code::ManifestUnreadable, file.Error().Text(), manifestPath};
    if (file.Size() > (std::int64_t(64) << 20))
        return Malformed(manifestPath, QStringLiteral("it is larger than 64 MiB"));
    QByteArray bytes(file.Size(), Qt::Uninitialized);
    if (!file.ReadAt(0, bytes.data(), bytes.size()))
        return {EngineError::Code::ManifestUnreadable, QStringLiteral("the file cannot be read"),
                manifestPath};
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return Malformed(manifestPath, parse.errorString());
    const QJsonObject manifest = document.object();
    if (manifest.value(QStringLiteral("kestrix_export")).toInt() != 1 ||
        !manifest.value(QStringLiteral("files")).isArray())
        return Malformed(manifestPath, QStringLiteral("it names no files an export wrote"));
    // The files lie beside the manifest, or, where it could not be written
    // there, in the folder it names.
    const QString base = manifest.value(QStringLiteral("beside")).toBool(true)
                             ? FolderOf(QDir::toNativeSeparators(manifestPath))
                             : manifest.value(QStringLiteral("folder")).toString();
    bool kept = false;
    for (const QJsonValue& value : manifest.value(QStringLiteral("files")).toArray()) {
        const QJsonObject entry = value.toObject();
        const QString relative = entry.value(QStringLiteral("file")).toString();
        UndoStep step;
        step.path = IsUnder(relative) ? Under(base, relative) : relative;
        if (!IsUnder(relative) || ThroughLink(base, relative)) {
            step.kind = UndoStep::Kind::Outside;
        } else if (!SafeFile::EntryExists(step.path)) {
            step.kind = UndoStep::Kind::Gone;
        } else {
            SafeFile::Source written(step.path);
            const bool same = written.IsOpen() &&
                              written.Size() == entry.value(QStringLiteral("size")).toInteger(-1) &&
                              RomInspector::PlainSha1(RomInspector::ReaderOf(written),
                                                      written.Size(), RomLayout::Plain)
                                      .hex == entry.value(QStringLiteral("sha1")).toString();
            if (!same) {
                step.kind = UndoStep::Kind::Changed;
            } else if (step.error = SafeFile::RemoveFile(step.path); step.error.Failed()) {
                step.kind = UndoStep::Kind::Failed;
                kept = true;
            }
        }
        outcome->steps.push_back(step);
    }
    // The folders it made, the deepest first, where nothing is left in them.
    QStringList folders;
    for (const QJsonValue& value : manifest.value(QStringLiteral("folders")).toArray())
        if (IsUnder(value.toString()))
            folders << value.toString();
    std::sort(folders.begin(), folders.end(), [](const QString& a, const QString& b) {
        return a.count(QLatin1Char('/')) > b.count(QLatin1Char('/'));
    });
    for (const QString& folder : folders) {
        const QString path = Under(base, folder);
        if (!ThroughLink(base, folder) && !SafeFile::IsLink(path) &&
            SafeFile::RemoveEmptyFolder(path))
            outcome->steps.push_back({UndoStep::Kind::FolderGone, path, {}});
    }
    if (!kept)
        outcome->manifestRemoved = !SafeFile::RemoveFile(manifestPath).Failed();
    return {};
}

} // namespace DeviceExport
