#include "ConvertRun.h"

#include "ConversionJob.h"
#include "Output.h"
#include "SafeFile.h"
#include "Teller.h"

#include <QStringList>

namespace {

JobTask TaskOf(Command command) {
    switch (command) {
    case Command::ToLayout:
        return JobTask::ToLayout;
    case Command::FixChecksum:
        return JobTask::FixChecksum;
    case Command::Trim:
        return JobTask::Trim;
    case Command::Patch:
        return JobTask::Patch;
    case Command::Mode:
    case Command::Info:
    case Command::Audit:
    case Command::MakePatch:
    case Command::Export:
        break;
    }
    return JobTask::Mode;
}

JobRequest RequestOf(const Settings& s) {
    const Arguments& a = s.arguments;
    JobRequest r;
    r.task = TaskOf(a.job.command);
    r.mode = a.job.mode;
    r.target = a.job.target;
    r.folder = s.folder;
    r.toStdout = a.ToStdout();
    r.stdinName = a.name;
    r.existing = a.overwrite      ? JobRequest::WhenExists::Replace
                 : a.skipExisting ? JobRequest::WhenExists::PassOver
                                  : JobRequest::WhenExists::Skip;
    r.inPlace = a.inPlace;
    r.dryRun = a.dryRun;
    r.force = a.force;
    r.verify = a.verify;
    r.zip = a.zip;
    r.fullStem = a.fullStem;
    r.dats = a.datNames ? &s.dats : nullptr;
    if (a.job.command == Command::Patch) {
        r.dats = a.dats.isEmpty() ? nullptr : &s.dats;
        r.patches = &s.patches;
        r.keepChecksum = a.keepChecksum;
    }
    r.threads = a.jobs;
    return r;
}

} // namespace

int ConvertRun(const Settings& settings, const Gathered& gathered) {
    const Arguments& a = settings.arguments;
    Teller teller(a);
    ConversionJob job(RequestOf(settings), teller);
    job.Run(gathered.files);
    teller.EndProgress();
    const bool repairing = a.job.command == Command::FixChecksum || a.job.command == Command::Trim;
    if (!a.quiet)
        Message() << (a.dryRun ? "dry run, nothing written: " : "")
                  << qint64(job.Count(FileOutcome::Converted))
                  << (a.dryRun                          ? " to write, "
                      : repairing                       ? " repaired, "
                      : a.job.command == Command::Patch ? " patched, "
                                                        : " converted, ")
                  << qint64(job.Count(FileOutcome::Skipped) + job.Count(FileOutcome::PassedOver) +
                            gathered.skipped)
                  << " skipped, " << qint64(job.Count(FileOutcome::Refused)) << " refused, "
                  << qint64(job.Count(FileOutcome::Failed) + gathered.unreachable) << " failed\n";
    return job.AnyFailed() || gathered.unreachable > 0 ? ExitSomeFailed : ExitConverted;
}
