// Converting as a job does it: each source looked at (unless a fixed mode is
// forced), refused when it is not what the conversion reads, named (after
// the DAT entry it matches, where asked), and its converted bytes handed to
// the file's writer, a zip's or standard output.

#include "JobParts.h"

#include "Archive.h"
#include "ConversionPlan.h"
#include "DatFile.h"
#include "DeviceExport.h"
#include "FileFunctions.h"
#include "PathSeparator.h"
#include "PlainStream.h"

#include <cstring>
#include <utility>

namespace {

// How sure the detection is, in the words of a refusal.
QString Evidence(const RomInspector::Report& r) {
    if (r.certainty == RomInspector::Certainty::Certain)
        return QStringLiteral("header checksum matches");
    for (const QString& reason : r.reasons)
        if (reason.startsWith(QLatin1String("\"SEGA\"")))
            return QStringLiteral("\"SEGA\" in the header, header checksum differs");
    return QStringLiteral("SMD copier header");
}

class Convert : public JobTaskRunner {
public:
    Convert(JobRun& job, bool datNames)
        : JobTaskRunner(job), datNames_(datNames && job.Request().dats && !job.Request().device) {}

    QString OutputName(const QString& sourceName) const override {
        return ConversionPlan::DestinationName(sourceName, r_.target, r_.fullStem);
    }
    void Prepare(FileRun& run, Item& item, QString name) override;

private:
    bool NameAfterDat(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                      QString* name, QString* innerName);
    bool PlaceForDevice(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                        const Item& item, RomLayout from, QString* innerName);
    bool Inspect(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                 RomLayout* from);
    bool SourceSha(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                   RomLayout from);
    void Write(FileRun& run, Item& item, std::unique_ptr<SafeFile::Source> in, RomLayout from,
               const QString& innerName);
    void ToStandardOutput(FileRun& run, RomLayout from, const SafeFile::Source& in);

    const bool datNames_;
    bool toStdoutWritten_ = false;
};

void Convert::Prepare(FileRun& run, Item& item, QString name) {
    QString innerName = OutputName(item.name);
    // A patched image's destination was judged before it was made.
    if (!datNames_ && !r_.device && item.made == RomLayout::Unknown && !job_.MayWrite(run, item))
        return;
    // Opened once: inspected and converted from the same file, read in
    // pieces (refused by its size before any of it is read, and when it
    // changes meanwhile). An archive's entry and standard input are held
    // in a file of their own.
    std::unique_ptr<SafeFile::Source> in;
    if (const EngineError opened = OpenSource(item, &in); opened.Failed())
        return job_.RefuseResult(run, opened);
    const std::int64_t length = in->Size();
    const RomInspector::ReadAt read = RomInspector::ReaderOf(*in);
    if (datNames_ &&
        (!NameAfterDat(run, read, length, &name, &innerName) || !job_.MayWrite(run, item)))
        return;
    RomLayout from = SourceLayout(r_.mode);
    if (item.made != RomLayout::Unknown)
        from = item.made;
    else if ((r_.task == JobTask::ToLayout || !r_.force) && !Inspect(run, read, length, &from))
        return;
    if (r_.device &&
        (!PlaceForDevice(run, read, length, item, from, &innerName) || !job_.MayWrite(run, item)))
        return;
    if (!SourceSha(run, read, length, from))
        return;
    if (r_.toStdout)
        return ToStandardOutput(run, from, *in);
    if (r_.dryRun) {
        // Everything is decided as for a run; nothing is written.
        if (!Mod_Convert::SizeAllowed(from, run.target, length))
            return job_.RefuseResult(run, Mod_Convert::SizeRefused(from, run.target));
        job_.Claim(run);
        run.wouldWrite = true;
        return;
    }
    Write(run, item, std::move(in), from, innerName);
}

// Names a file after the DAT entry its content matches: the ROM name's last
// part, with the target layout's extension. False when it may not be written.
bool Convert::NameAfterDat(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                           QString* name, QString* innerName) {
    RomInspector::Options options;
    options.helpers = &job_.Helpers();
    const RomInspector::Report report = RomInspector::InspectData(read, length, options);
    if (const std::optional<DatFile::Rom> rom = r_.dats->Match(report)) {
        const QString datName = FileFunctions::GetFullStem(Archive::OwnName(rom->name));
        if (!datName.isEmpty() && datName != QLatin1String(".") && datName != QLatin1String("..")) {
            // A zip's entry is named after the DAT too.
            *innerName = datName + LayoutExtension(r_.target);
            const QString named =
                datName + (r_.zip ? QStringLiteral(".zip") : LayoutExtension(r_.target));
            run.report.destination = run.report.destination.chopped(name->size()) + named;
            *name = named;
        }
    }
    return true;
}

// Places an image as the device's profile says: its folder, its name (the
// game's in the DAT files where it matches one) and its extension (by
// machine, and by region where the profile says). False when it is not
// written: left out, or its folder cannot be made.
bool Convert::PlaceForDevice(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                             const Item& item, RomLayout from, QString* innerName) {
    RomInspector::Options options;
    options.helpers = &job_.Helpers();
    options.fingerprints = r_.dats != nullptr;
    options.checksum = false;
    const RomInspector::Report report = RomInspector::InspectData(read, length, options);
    QString datName;
    if (r_.dats)
        if (const std::optional<DatFile::Rom> rom = r_.dats->Match(report))
            datName = rom->game.isEmpty() ? FileFunctions::GetFullStem(Archive::OwnName(rom->name))
                                          : rom->game;
    const DeviceExport::Placement placed =
        DeviceExport::Place(*r_.device->profile, report.header, datName, item.name);
    if (!placed.leftOut.isEmpty()) {
        run.report.notices.push_back(Notice(JobNotice::Kind::LeftOut, QString(), placed.leftOut));
        run.report.outcome = FileOutcome::PassedOver;
        return false;
    }
    QString folder = placed.folder.isEmpty()
                         ? r_.folder
                         : JoinPath(r_.folder, QDir::toNativeSeparators(placed.folder));
    if (r_.device->lettered.contains(DeviceExport::FolderOf(JoinPath(folder, placed.name))))
        folder = JoinPath(folder, DeviceExport::LetterFolder(placed.name));
    run.report.destination = JoinPath(folder, placed.name);
    *innerName = placed.inner;
    // What the device's file changes of the source: its layout, its name,
    // the region its extension stands for.
    QStringList changes;
    if (from != RomLayout::Plain)
        changes << QStringLiteral("from ") + LayoutPhrase(from);
    if (placed.fromDat)
        changes << QStringLiteral("named by the DAT files");
    if (!placed.region.isEmpty())
        changes << QStringLiteral("%1 for %2")
                       .arg(placed.inner.mid(placed.inner.lastIndexOf(QLatin1Char('.'))),
                            placed.region);
    if (!changes.isEmpty())
        run.report.detail =
            QStringLiteral(" (") + changes.join(QStringLiteral(", ")) + QLatin1Char(')');
    if (!r_.dryRun && !folder.isEmpty())
        if (const EngineError made = SafeFile::MakeFolders(folder); made.Failed())
            return job_.Refuse(run, made, FileOutcome::Failed), false;
    return true;
}

// Looks at a source before it is converted: the header decides its layout
// (or whether it is what a fixed mode takes); the checksum is read only to
// explain a refusal. False when it is not converted.
bool Convert::Inspect(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                      RomLayout* from) {
    RomInspector::Options options;
    options.fingerprints = false;
    options.checksum = false;
    RomInspector::Report report = RomInspector::InspectData(read, length, options);
    if (report.disc)
        return job_.Refuse(run, EngineError::Code::DiscImage), false;
    if (r_.task == JobTask::ToLayout) {
        if (report.layout == RomLayout::Unknown) {
            // Walking a tree, a file of no known layout is only counted.
            if (run.fromTree)
                return run.report.outcome = FileOutcome::PassedOver, false;
            return job_.Refuse(run, {EngineError::Code::LayoutUnknown,
                                     report.reasons.join(QStringLiteral("; "))}),
                   false;
        }
        *from = report.layout;
        // An export tells a layout changed, not one kept.
        if (*from == r_.target && !r_.device) {
            JobNotice copy = Notice(JobNotice::Kind::ByteCopy);
            copy.layout = *from;
            run.report.notices.push_back(copy);
        }
        return true;
    }
    if (report.IsOtherThan(*from)) {
        options.checksum = true;
        report = RomInspector::InspectData(read, length, options);
        job_.Refuse(run,
                    {EngineError::Code::LooksLike, Evidence(report), LayoutPhrase(report.layout)});
        run.report.notices.back().layout = report.layout;
        return false;
    }
    return true;
}

// What verify compares a zip's image with: the bytes read, before the
// conversion changes them; a size the conversion refuses is refused by it,
// with its own reason. A file streamed has it taken on the way.
bool Convert::SourceSha(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                        RomLayout from) {
    if (!r_.verify || !r_.zip || !Mod_Convert::SizeAllowed(from, run.target, length) ||
        Cartridge::HeaderOnly(from, length))
        return true;
    const RomInspector::Sha1 sha = RomInspector::PlainSha1(read, length, from);
    if (sha.error.Failed())
        return job_.Refuse(run, sha.error), false;
    run.sourceSha = sha.hex;
    return true;
}

// The converted bytes into the file's writer: streamed, or into a zip.
void Convert::Write(FileRun& run, Item& item, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                    const QString& innerName) {
    const SafeFile::Existing existing = run.existing;
    Mod_Convert::Converter& converter = job_.Converter();
    run.writer = std::make_unique<SafeFile::Writer>();
    if (const EngineError opened = converter.OpenInto(from, run.target, *in, run.report.destination,
                                                      existing, *run.writer);
        opened.Failed())
        return job_.RefuseResult(run, opened);
    job_.Claim(run);
    run.bytes = in->Size();
    if (!r_.zip)
        return job_.Stream(run, std::move(in), from, existing);
    // The entry of a zip is dated as its source is.
    const std::int64_t mtime =
        item.held ? item.mtime : SafeFile::Look(item.path).modified / 1000000000;
    job_.TakeUpAll();
    if (const EngineError zipped =
            converter.ZipInto(from, run.target, *in, innerName, mtime, *run.writer);
        zipped.Failed()) {
        job_.Unclaim(run);
        job_.RefuseResult(run, zipped);
    }
}

// The one image of a job to standard output, never two run together (an
// archive of several). Reading stops once standard output has failed, and
// the file fails with it.
void Convert::ToStandardOutput(FileRun& run, RomLayout from, const SafeFile::Source& in) {
    if (std::exchange(toStdoutWritten_, true))
        return job_.Refuse(run, EngineError::Code::StdoutTaken);
    int error = 0;
    const auto take = [this, &error](const char* data, std::int64_t size) {
        error = job_.Observer().StandardOutput(data, size);
        return error == 0;
    };
    const EngineError result = job_.Converter().StreamTo(from, run.target, in, take);
    if (result.code == EngineError::Code::WriteFailed && error != 0)
        return job_.Refuse(
            run,
            {EngineError::Code::StdoutUnwritable, QString::fromLocal8Bit(std::strerror(error))},
            FileOutcome::Failed);
    if (result.Failed())
        job_.RefuseResult(run, result);
}

} // namespace

std::unique_ptr<JobTaskRunner> ConvertTask(JobRun& job, bool datNames) {
    return std::make_unique<Convert>(job, datNames);
}
