#include "ExportRun.h"

#include "DatFile.h"
#include "DeviceExport.h"
#include "Info.h"
#include "Output.h"
#include "SafeFile.h"
#include "Sources.h"
#include "Teller.h"

#include <QDir>

namespace {

// Every profile: its name, what it writes, and where a user's comes from.
int ListProfiles(const std::vector<DeviceProfile::Profile>& profiles) {
    for (const DeviceProfile::Profile& p : profiles) {
        Out() << p.name << "\n    " << p.describe << "\n";
        if (!p.origin.isEmpty())
            Out() << "    (from " << Shown(p.origin) << ")\n";
    }
    return ExitConverted;
}

int UndoRun(const Arguments& a) {
    DeviceExport::UndoOutcome outcome;
    if (const EngineError error = DeviceExport::Undo(a.undo, &outcome); error.Failed()) {
        Message() << error.Text() << "\n";
        return ExitSomeFailed;
    }
    using Kind = DeviceExport::UndoStep::Kind;
    for (const DeviceExport::UndoStep& step : outcome.steps) {
        const QString path = Quoted(step.path);
        switch (step.kind) {
        case Kind::Removed:
            if (!a.quiet)
                Out() << "removed " << path << "\n";
            break;
        case Kind::FolderGone:
            if (!a.quiet)
                Out() << "removed the folder " << path << "\n";
            break;
        case Kind::Changed:
            Message() << "kept " << path << ": it changed since the export\n";
            break;
        case Kind::Gone:
            if (!a.quiet)
                Message() << "note: " << path << " is gone already\n";
            break;
        case Kind::Outside:
            Message() << "kept " << path << ": it lies outside the export's folder\n";
            break;
        case Kind::Failed:
            Message() << "cannot remove " << path << ": " << step.error.Text() << "\n";
            break;
        }
    }
    if (!outcome.manifestRemoved)
        Message() << "the manifest " << Quoted(a.undo)
                  << " is kept: a file it names could not be removed\n";
    if (!a.quiet)
        Message() << "undone: " << qint64(outcome.Count(Kind::Removed)) << " removed, "
                  << qint64(outcome.Count(Kind::Changed) + outcome.Count(Kind::Outside))
                  << " kept, " << qint64(outcome.Count(Kind::Gone)) << " gone already, "
                  << qint64(outcome.Count(Kind::Failed)) << " failed\n";
    return outcome.Count(Kind::Failed) > 0 ? ExitSomeFailed : ExitConverted;
}

} // namespace

int ExportRun(const Arguments& a) {
    if (!a.undo.isEmpty())
        return UndoRun(a);
    std::vector<DeviceProfile::Profile> profiles;
    if (const EngineError error = DeviceProfile::LoadAll(a.profileFiles, &profiles);
        error.Failed()) {
        Message() << "cannot use the device profiles: " << error.Text() << "\n";
        return ExitSomeFailed;
    }
    if (a.listProfiles)
        return ListProfiles(profiles);
    const DeviceProfile::Profile* profile = DeviceProfile::Find(profiles, a.profile);
    if (!profile) {
        QStringList names;
        for (const DeviceProfile::Profile& p : profiles)
            names << p.name;
        Message() << EngineError(EngineError::Code::ProfileUnknown, a.profile).Text()
                  << " (profiles: " << names.join(QStringLiteral(", ")) << ")\n";
        return ExitUsage;
    }
    const QString folder = QDir::toNativeSeparators(a.output);
    if (!folder.isEmpty() && !SafeFile::IsFolder(folder)) {
        Message() << (SafeFile::EntryExists(folder)
                          ? QStringLiteral("'%1' is not a folder")
                          : QStringLiteral("output folder '%1' does not exist"))
                         .arg(Shown(folder))
                  << "\n";
        return ExitSomeFailed;
    }
    DatFile::Index dats;
    if (!LoadDats(a.dats, dats, !a.noCache))
        return ExitSomeFailed;
    Gathered gathered;
    if (!GatherSources(a, &gathered))
        return ExitSomeFailed;
    // A device reads one folder of images: a tree walked is not kept.
    for (JobSource& source : gathered.files)
        source.folder.clear();
    DeviceExport::Request r;
    r.profile = profile;
    r.folder = folder;
    r.dryRun = a.dryRun;
    r.verify = a.verify;
    r.existing = a.overwrite      ? JobRequest::WhenExists::Replace
                 : a.skipExisting ? JobRequest::WhenExists::PassOver
                                  : JobRequest::WhenExists::Skip;
    r.dats = a.dats.isEmpty() ? nullptr : &dats;
    r.threads = a.jobs;
    Teller teller(a);
    const DeviceExport::Outcome outcome = DeviceExport::Export(r, gathered.files, teller);
    teller.EndProgress();
    if (outcome.manifestError.Failed())
        Message() << outcome.manifestError.Text() << "\n";
    else if (!outcome.manifest.isEmpty() && !a.quiet)
        Message() << "the manifest is " << Quoted(outcome.manifest) << " (export --undo "
                  << Quoted(outcome.manifest) << " takes the export back)\n";
    if (!a.quiet)
        Message() << (a.dryRun ? "dry run, nothing written: " : "") << qint64(outcome.written)
                  << (a.dryRun ? " to write, " : " exported, ") << qint64(outcome.leftOut)
                  << " left out, " << qint64(outcome.skipped + gathered.skipped) << " skipped, "
                  << qint64(outcome.refused) << " refused, "
                  << qint64(outcome.failed + gathered.unreachable) << " failed\n";
    return outcome.AnyFailed() || gathered.unreachable > 0 ? ExitSomeFailed : ExitConverted;
}
