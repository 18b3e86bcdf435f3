#include "Teller.h"

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

} // namespace

Teller::Teller(const Arguments& a)
    : a_(a),
      // Progress on a terminal that can rewrite its line.
      progress_(!a.quiet && SafeFile::IsTerminal(2) &&
                qgetenv("TERM") != QByteArrayLiteral("dumb")) {}

void Teller::Reading(int told, int total, const QString& name) {
    if (!progress_)
        return;
    QString line = QStringLiteral("[%1/%2] ").arg(told).arg(total) + Shown(name);
    if (const int columns = SafeFile::TerminalColumns(2); columns > 1 && line.size() >= columns)
        line.truncate(columns - 1);
    Err() << "\r\033[K" << line;
    Err().Flush();
    shown_ = true;
}

void Teller::EndProgress() {
    if (std::exchange(shown_, false))
        Err() << "\r\033[K";
}

std::int64_t Teller::StandardInput(char* into, std::int64_t most, EngineError* why) {
    return SafeFile::PullStandardInput(into, most, why);
}

int Teller::StandardOutput(const char* data, std::int64_t size) {
    Out().Write(data, size).Flush();
    return Out().Error();
}

void Teller::Done(const FileReport& report) {
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
    // name for a plain image (an export's .md files are plain).
    if (report.written && !a_.dryRun && a_.job.command != Command::Export &&
        report.destination.endsWith(QLatin1String(".md")) && !std::exchange(toldMd_, true))
        Note("note: the .md files written hold the MD layout (the odd bytes, then the even "
             "ones); loaders that take .md for a plain image will not read them");
}

void Teller::Tell(const FileReport& report, const JobNotice& n) {
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
    case JobNotice::Kind::LeftOut:
        return Note("left out " + given + ": " + n.text);
    case JobNotice::Kind::UnknownBase:
        return Line("warning: " + given +
                    " matches no ROM of the DAT files: nothing says the patch was made "
                    "for it");
    }
}

void Teller::Line(const QString& text) {
    Message() << text << "\n";
}

void Teller::Note(const QString& text) const {
    if (!a_.quiet)
        Line(text);
}
