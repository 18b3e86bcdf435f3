#include "ConvertRun.h"

#include "ConversionJob.h"
#include "Output.h"
#include "SafeFile.h"

#include <QStringList>

namespace {

// The modes that take a layout, as the command line names them.
QString ModesFor(RomLayout layout) {
    QStringList modes;
    for (const std::int32_t mode : FittingModes(layout))
        modes << ModeWord(mode);
    return modes.join(QStringLiteral(", "));
}

// Why a file was refused, in the words of the command line.
QString Why(const JobNotice& notice, RomLayout target, Command command) {
    QString why = Told(notice.error);
    // A patched image no file of its layout can hold.
    if (command == Command::Patch && notice.error.code == EngineError::Code::SizeRule &&
        notice.error.detail.startsWith(QLatin1String("the patched image of")))
        why += QStringLiteral("; --to bin writes it as a plain image");
    if (notice.error.code == EngineError::Code::LooksLike) {
        const QString modes = ModesFor(notice.layout);
        why += QStringLiteral("; use ") + modes + (modes.isEmpty() ? "" : " or ") + "to-" +
               LayoutExtension(target).mid(1);
    }
    return why;
}

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
        break;
    }
    return JobTask::Mode;
}

class Teller : public JobObserver {
public:
    explicit Teller(const Arguments& a)
        : a_(a),
          // Progress on a terminal that can rewrite its line.
          progress_(!a.quiet && SafeFile::IsTerminal(2) &&
                    qgetenv("TERM") != QByteArrayLiteral("dumb")) {}

    // One progress line, rewritten in place, cut to the terminal's width:
    // the files told so far, and the one being read.
    void Reading(int told, int total, const QString& name) override {
        if (!progress_)
            return;
        QString line = QStringLiteral("[%1/%2] ").arg(told).arg(total) + Shown(name);
        if (const int columns = SafeFile::TerminalColumns(2); columns > 1 && line.size() >= columns)
            line.truncate(columns - 1);
        Err() << "\r\033[K" << line;
        Err().Flush();
        shown_ = true;
    }
    void EndProgress() {
        if (std::exchange(shown_, false))
            Err() << "\r\033[K";
    }

    std::int64_t StandardInput(char* into, std::int64_t most, EngineError* why) override {
        return SafeFile::PullStandardInput(into, most, why);
    }
    int StandardOutput(const char* data, std::int64_t size) override {
        Out().Write(data, size).Flush();
        return Out().Error();
    }

    void Done(const FileReport& report) override {
        EndProgress();
        // Standard output carries the records of the files written alone.
        if (report.written && !a_.quiet && !a_.ToStdout())
            Out().Write(a_.null ? SafeFile::EncodeName(report.given) + '\0' +
                                      SafeFile::EncodeName(report.destination) + '\0'
                                : (Shown(report.given) + " -> " + Shown(report.destination) +
                                   report.detail + QLatin1Char('\n'))
                                      .toUtf8());
        for (const JobNotice& notice : report.notices)
            Tell(report, notice);
        Out().Flush();
        // Once, with the first MD image written: many loaders take the .md
        // name for a plain image.
        if (report.written && !a_.dryRun && report.destination.endsWith(QLatin1String(".md")) &&
            !std::exchange(toldMd_, true))
            Note("note: the .md files written hold the MD layout (the odd bytes, then the even "
                 "ones); loaders that take .md for a plain image will not read them");
    }

private:
    void Tell(const FileReport& report, const JobNotice& n) {
        const QString given = Quoted(report.given);
        switch (n.kind) {
        case JobNotice::Kind::Refused:
            if (n.error.code == EngineError::Code::StdoutUnwritable)
                Out().ErrorTold();
            // A base the patch was not made for is named by its words.
            if (n.error.code == EngineError::Code::WrongBase)
                return Line(n.error.Text());
            return Line("refused " + given + ": " + Why(n, a_.job.target, a_.job.command));
        case JobNotice::Kind::VerifyFailed:
            return Line("verification failed for " + Quoted(n.subject) + ": " + Told(n.error));
        case JobNotice::Kind::Misnamed:
            return Note("note: " + Quoted(n.subject) + ": " + n.text);
        case JobNotice::Kind::Leftover:
            return Note("note: " + Quoted(n.subject) +
                        " is a hidden copy left by an interrupted conversion; remove it once no "
                        "conversion is writing to " +
                        Quoted(n.text));
        case JobNotice::Kind::Skipped:
            return Note("skipped " + given + ": " + Quoted(n.subject) +
                        " already exists (use --overwrite to replace it)");
        case JobNotice::Kind::ByteCopy:
            return Note("note: " + given + " is already " + LayoutPhrase(n.layout) +
                        "; writing a byte copy");
        case JobNotice::Kind::LeftAlone:
            return Note(given + ": " + n.text + "; left alone");
        case JobNotice::Kind::Verified:
            return Note("verified " + Quoted(n.subject) + " (" + n.text + ")");
        case JobNotice::Kind::Base:
            return Note("note: " + given + " is " + Quoted(n.text) + " (" + Quoted(n.subject) +
                        ") in the DAT files");
        case JobNotice::Kind::UnknownBase:
            return Line("warning: " + given +
                        " matches no ROM of the DAT files: nothing says the patch was made "
                        "for it");
        }
    }
    // Told however quiet the run.
    static void Line(const QString& text) { Message() << text << "\n"; }
    // Told unless quiet.
    void Note(const QString& text) const {
        if (!a_.quiet)
            Line(text);
    }

    const Arguments& a_;
    bool progress_;
    bool shown_ = false;
    bool toldMd_ = false;
};

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
