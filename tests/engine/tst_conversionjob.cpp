// The conversion job's decisions, file by file: what each file comes to,
// what is told of it and in which order, what is left on disk; with the
// writer failing on cue where a row asks for it.

#include "Archive.h"
#include "ConversionJob.h"
#include "RomImages.h"
#include "TestFiles.h"
#include "WriterFaults.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

#include <sys/resource.h>

using TestFiles::ReadFile;
using TestFiles::WriteFile;

namespace {

constexpr qsizetype MiB = 1 << 20;

QString OutcomeWord(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::Converted:
        return QStringLiteral("converted");
    case FileOutcome::Skipped:
        return QStringLiteral("skipped");
    case FileOutcome::Refused:
        return QStringLiteral("refused");
    case FileOutcome::Failed:
        return QStringLiteral("failed");
    case FileOutcome::PassedOver:
        return QStringLiteral("passed");
    }
    return QString();
}

QString CodeWord(EngineError::Code code) {
    using Code = EngineError::Code;
    const std::map<Code, const char*> words = {
        {Code::Missing, "Missing"},
        {Code::Empty, "Empty"},
        {Code::SizeRule, "SizeRule"},
        {Code::SourceIsFolder, "Folder"},
        {Code::SameFile, "SameFile"},
        {Code::DestinationRefused, "Destination"},
        {Code::ReplacesSource, "ReplacesSource"},
        {Code::LayoutUnknown, "Unknown"},
        {Code::LooksLike, "LooksLike"},
        {Code::WriteFailed, "WriteFailed"},
        {Code::VerifyDiffers, "Differs"},
        {Code::NoHeader, "NoHeader"},
        {Code::EntryInPlace, "EntryInPlace"},
    };
    const auto word = words.find(code);
    return word == words.end() ? QStringLiteral("code%1").arg(int(code))
                               : QString::fromLatin1(word->second);
}

QString NoticeWord(const JobNotice& n) {
    switch (n.kind) {
    case JobNotice::Kind::Misnamed:
        return QStringLiteral("Misnamed");
    case JobNotice::Kind::Leftover:
        return QStringLiteral("Leftover");
    case JobNotice::Kind::Refused:
        return QStringLiteral("Refused:") + CodeWord(n.error.code);
    case JobNotice::Kind::Skipped:
        return QStringLiteral("Skipped");
    case JobNotice::Kind::ByteCopy:
        return QStringLiteral("ByteCopy");
    case JobNotice::Kind::LeftAlone:
        return QStringLiteral("LeftAlone");
    case JobNotice::Kind::Verified:
        return QStringLiteral("Verified");
    case JobNotice::Kind::VerifyFailed:
        return QStringLiteral("VerifyFailed:") + CodeWord(n.error.code);
    case JobNotice::Kind::Base:
        return QStringLiteral("Base");
    case JobNotice::Kind::UnknownBase:
        return QStringLiteral("UnknownBase");
    case JobNotice::Kind::LeftOut:
        return QStringLiteral("LeftOut");
    }
    return QString();
}

// A scripted front end: answers as the row says, acts on the files when
// the row says, and writes down what it is told.
class Script : public JobObserver {
public:
    QString folder;
    int cancelAt = -1;   // cancelled before this source
    int appearAt = -1;   // the destination of this source appears after it is prepared
    QString appearing;   // that destination
    bool answer = false; // to MayReplace
    QStringList asked;
    QStringList told;
    QStringList worded; // as told, each refusal with its words, the folder left out

    bool Cancelled() override { return cancelAt >= 0 && reading_ >= cancelAt; }
    void Reading(int told_, int, const QString&) override {
        Q_UNUSED(told_);
        // Another program takes the name of a file already prepared, before
        // the batch is named.
        if (appearAt >= 0 && reading_ == appearAt + 1)
            WriteFile(appearing, "appeared");
        ++reading_;
    }
    bool MayReplace(const QString& destination) override {
        asked << QFileInfo(destination).fileName();
        return answer;
    }
    void Done(const FileReport& report) override {
        QString line =
            QFileInfo(report.given).fileName() + QLatin1Char(' ') + OutcomeWord(report.outcome);
        QString words = line;
        for (const JobNotice& notice : report.notices) {
            line += QLatin1Char(' ') + NoticeWord(notice);
            words += QLatin1Char(' ') + NoticeWord(notice);
            if (notice.kind == JobNotice::Kind::Refused)
                words += QStringLiteral(": ") + QString(notice.error.Text()).remove(folder);
        }
        told << line;
        worded << words;
    }

private:
    int reading_ = 0;
};

// The content of a source of a row: "plain", "smd", "md", "swapped" (an
// image of its seed, 1 MiB), "odd" (a plain image one byte short), "junk"
// (no cartridge), "empty", "dir" (a folder), "missing" (nothing there),
// "badsum" (a plain image whose checksum is wrong), "half" (a plain image of
// half a MiB), "kibN" (a plain image of N KiB), "zip" (a zip holding the SMD image of its seed).
QByteArray PlainOf(int seed) {
    return RomImages::PlainImage(MiB, quint32(seed + 1));
}

// A zip of one entry, made by Python's zipfile.
bool MakeZip(const QString& path, const QString& entry, const QByteArray& bytes) {
    const QString data = path + QStringLiteral(".data");
    if (!WriteFile(data, bytes))
        return false;
    const TestFiles::ProcessResult made = TestFiles::RunProgram(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys, zipfile\n"
                        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                        "    z.write(sys.argv[3], sys.argv[2])\n"),
         path, entry, data});
    return QFile::remove(data) && made.status == 0;
}

bool MakeSource(const QString& path, const QString& kind, int seed) {
    if (kind == QLatin1String("zip"))
        return MakeZip(path, QFileInfo(path).completeBaseName() + QStringLiteral(".smd"),
                       RomImages::Smd(PlainOf(seed)));
    if (kind == QLatin1String("dir"))
        return QDir().mkpath(path);
    if (kind == QLatin1String("missing"))
        return true;
    QByteArray bytes;
    if (kind == QLatin1String("plain"))
        bytes = PlainOf(seed);
    else if (kind == QLatin1String("smd"))
        bytes = RomImages::Smd(PlainOf(seed));
    else if (kind == QLatin1String("md"))
        bytes = RomImages::Md(PlainOf(seed));
    else if (kind == QLatin1String("swapped"))
        bytes = RomImages::Byteswapped(PlainOf(seed));
    else if (kind == QLatin1String("half"))
        bytes = RomImages::PlainImage(MiB / 2, quint32(seed + 1));
    else if (kind.startsWith(QLatin1String("kib")))
        bytes = RomImages::PlainImage(kind.mid(3).toInt() * 1024, quint32(seed + 1));
    else if (kind == QLatin1String("odd"))
        bytes = PlainOf(seed).chopped(1);
    else if (kind == QLatin1String("junk"))
        bytes = TestFiles::RandomBytes(MiB, quint32(seed + 100));
    else if (kind == QLatin1String("badsum"))
        bytes = RomImages::PlainImage(MiB, quint32(seed + 1), false);
    return WriteFile(path, bytes);
}

// The process may open descriptors numbered below a limit while it lives.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int most) {
        ::getrlimit(RLIMIT_NOFILE, &old_);
        struct rlimit lower = old_;
        lower.rlim_cur = rlim_t(most);
        ::setrlimit(RLIMIT_NOFILE, &lower);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &old_); }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
    struct rlimit old_ {};
};

RomLayout LayoutOf(const QString& word) {
    if (word == QLatin1String("smd"))
        return RomLayout::Smd;
    if (word == QLatin1String("md"))
        return RomLayout::Md;
    return RomLayout::Plain;
}

} // namespace

class tst_ConversionJob : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        WriterFaults::FullFor(QByteArray());
        WriterFaults::DriveHolds(-1);
    }

    void outcomes_data();
    void outcomes();
};

// Each row: what the job does ("to-smd", "bin2smd", "fix", "ask"...), its
// sources ("name=kind"), destinations there before ("name"), what the row
// does meanwhile, and then what is told of each file in order, the counts
// (converted, skipped, refused, failed, passed over) and what is on disk:
// "name=N" for the image of source N in the name's layout ("halfN" for a
// half-size one), "name=old" for
// what was there before, "name=-" for nothing (in the output folder: "here"
// is the sources' own).
void tst_ConversionJob::outcomes_data() {
    QTest::addColumn<QString>("task");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QStringList>("disk");

    const QStringList none;
    // With few descriptors, four threads write batches of two files, each
    // named while the next is converted: the same files come to the same.
    for (const char* threads : {"j1", "j4", "j4,fds=56"}) {
        const QString j = QString::fromLatin1(threads);
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(j + QLatin1Char(' ') + QLatin1String(name)));
        };
        row("each layout to smd, in order")
            << "to-smd" << QStringList{"a.bin=plain", "b.md=md", "c.smd=smd", "d.bin=swapped"}
            << none << j
            << QStringList{"a.bin converted", "b.md converted", "c.smd converted ByteCopy",
                           "d.bin converted"}
            << "4 0 0 0 0" << QStringList{"a.smd=0", "b.smd=1", "c.smd=2", "d.smd=3"};
        row("refusals keep their place")
            << "to-bin" << QStringList{"a.smd=smd", "j.bin=junk",    "e.bin=empty",
                                       "d=dir",     "m.bin=missing", "b.md=md"}
            << none << j
            << QStringList{"a.smd converted",
                           "j.bin refused Refused:Unknown: the layout is unknown (no \"SEGA\" in "
                           "the "
                           "header under any layout)",
                           "e.bin refused Refused:Empty: the file is empty",
                           "d refused Refused:Folder: it is a folder",
                           "m.bin refused Refused:Missing: the file does not exist",
                           "b.md converted"}
            << "2 0 4 0 0" << QStringList{"a.bin=0", "b.bin=5", "j.bin=-"};
        row("a fixed mode refuses what looks like another layout")
            << "bin2smd" << QStringList{"a.bin=plain", "b.bin=md", "c.bin=odd"} << none << j
            << QStringList{"a.bin converted", "b.bin refused Refused:LooksLike",
                           "c.bin refused Refused:SizeRule: the size is not a multiple of 16384 "
                           "bytes"}
            << "1 0 2 0 0" << QStringList{"a.smd=0", "b.smd=-", "c.smd=-"};
        row("forced, a fixed mode converts what it is given")
            << "bin2smd" << QStringList{"b.bin=md"} << none << j + ",force"
            << QStringList{"b.bin converted"} << "1 0 0 0 0" << QStringList{"b.smd=md0"};
        row("an existing destination is kept")
            << "to-bin" << QStringList{"a.smd=smd", "b.smd=smd"} << QStringList{"a.bin"} << j
            << QStringList{"a.smd skipped Skipped", "b.smd converted"} << "1 1 0 0 0"
            << QStringList{"a.bin=old", "b.bin=1"};
        row("an existing destination is passed over silently")
            << "to-bin" << QStringList{"a.smd=smd"} << QStringList{"a.bin"} << j + ",skip"
            << QStringList{"a.smd passed"} << "0 0 0 0 1" << QStringList{"a.bin=old"};
        row("an existing destination is replaced")
            << "to-bin" << QStringList{"a.smd=smd"} << QStringList{"a.bin"} << j + ",overwrite"
            << QStringList{"a.smd converted"} << "1 0 0 0 0" << QStringList{"a.bin=0"};
        row("two sources, one destination")
            << "to-bin" << QStringList{"a.smd=smd", "a.md=md"} << none << j
            << QStringList{"a.smd converted",
                           "a.md refused Refused:SameFile: out/a.bin is the same file as the "
                           "destination of in/a.smd, written earlier in this run"}
            << "1 0 1 0 0" << QStringList{"a.bin=0"};
        row("a destination that is another source")
            << "to-bin" << QStringList{"a.smd=smd", "a.bin=plain"} << none << j + ",overwrite,here"
            << QStringList{"a.smd refused Refused:Destination: in/a.bin is another source of this "
                           "run",
                           "a.bin converted ByteCopy"}
            << "1 0 1 0 0" << QStringList{"a.bin=1"};
        row("a name that appears before the batch is named")
            << "to-bin" << QStringList{"a.smd=smd", "b.smd=smd"} << none << j + ",appear=0"
            << QStringList{"a.smd skipped Skipped", "b.smd converted"} << "1 1 0 0 0"
            << QStringList{"a.bin=appeared", "b.bin=1"};
        row("a full drive fails one file and keeps the order")
            << "to-bin" << QStringList{"a.smd=smd", "b.smd=smd", "c.smd=smd", "d.smd=smd"} << none
            << j + ",full=b.bin"
            << QStringList{"a.smd converted", "b.smd failed Refused:WriteFailed", "c.smd converted",
                           "d.smd converted"}
            << "3 0 0 1 0" << QStringList{"a.bin=0", "b.bin=-", "c.bin=2", "d.bin=3"};
        row("a full drive fails every file")
            << "to-md" << QStringList{"a.smd=smd", "b.bin=plain", "c.smd=smd"} << none
            << j + ",full=*"
            << QStringList{"a.smd failed Refused:WriteFailed", "b.bin failed Refused:WriteFailed",
                           "c.smd failed Refused:WriteFailed"}
            << "0 0 0 3 0" << QStringList{"a.md=-", "b.md=-", "c.md=-"};
        row("a full drive keeps the old file whole")
            << "to-bin" << QStringList{"a.smd=smd"} << QStringList{"a.bin"}
            << j + ",overwrite,full=a.bin" << QStringList{"a.smd failed Refused:WriteFailed"}
            << "0 0 0 1 0" << QStringList{"a.bin=old"};
        row("verified") << "to-md" << QStringList{"a.smd=smd", "b.bin=plain"} << none
                        << j + ",verify"
                        << QStringList{"a.smd converted Verified", "b.bin converted Verified"}
                        << "2 0 0 0 0" << QStringList{"a.md=0", "b.md=1"};
        row("a dry run writes nothing")
            << "bin2smd" << QStringList{"a.bin=plain", "b.bin=odd", "a.BIN=plain"} << none
            << j + ",dry"
            << QStringList{"a.bin converted", "b.bin refused Refused:SizeRule",
                           "a.BIN refused Refused:SameFile"}
            << "1 0 2 0 0" << QStringList{"a.smd=-", "b.smd=-"};
        row("a drive that fills up holds the files of one at a time")
            << "to-bin" << QStringList{"a.smd=smd", "b.smd=smd", "c.smd=smd", "d.smd=smd"} << none
            << j + ",holds=2.5"
            << QStringList{"a.smd converted", "b.smd converted", "c.smd failed Refused:WriteFailed",
                           "d.smd failed Refused:WriteFailed"}
            << "2 0 0 2 0" << QStringList{"a.bin=0", "b.bin=1", "c.bin=-", "d.bin=-"};
        row("a drive that fills up, then a smaller file")
            << "to-bin" << QStringList{"a.smd=smd", "b.smd=smd", "c.bin=half", "d.smd=smd"} << none
            << j + ",holds=2.5"
            << QStringList{"a.smd converted", "b.smd converted", "c.bin converted ByteCopy",
                           "d.smd failed Refused:WriteFailed"}
            << "3 0 0 1 0" << QStringList{"a.bin=0", "b.bin=1", "c.bin=half2", "d.bin=-"};
        // Whichever file first finds the drive full, the same files are
        // written as one at a time writes them.
        row("twelve files of many sizes onto a drive that takes some")
            << "bin2smd" << QStringList{"g10.bin=kib64",   "g11.bin=kib2048", "g12.bin=kib1024",
                                        "g13.bin=kib512",  "g14.bin=kib2048", "g15.bin=kib128",
                                        "g16.bin=kib1024", "g17.bin=kib256",  "g18.bin=kib2048",
                                        "g19.bin=kib512",  "g20.bin=kib1536", "g21.bin=kib1024"}
            << none << j + ",holds=6"
            << QStringList{"g10.bin converted",
                           "g11.bin converted",
                           "g12.bin converted",
                           "g13.bin converted",
                           "g14.bin converted",
                           "g15.bin converted",
                           "g16.bin failed Refused:WriteFailed",
                           "g17.bin converted",
                           "g18.bin failed Refused:WriteFailed",
                           "g19.bin failed Refused:WriteFailed",
                           "g20.bin failed Refused:WriteFailed",
                           "g21.bin failed Refused:WriteFailed"}
            << "7 0 0 5 0" << QStringList{"g16.smd=-", "g18.smd=-", "g21.smd=-"};
        row("an archive's entries are sources of their own")
            << "to-bin" << QStringList{"a.smd=smd", "g.zip=zip"} << none << j
            << QStringList{"a.smd converted", "g.zip:g.smd converted"} << "2 0 0 0 0"
            << QStringList{"a.bin=0", "g.bin=1"};
        row("an entry held in the temporary folder when the output folder takes nothing")
            << "to-bin" << QStringList{"g.zip=zip"} << none << j + ",dry,locked"
            << QStringList{"g.zip:g.smd converted"} << "1 0 0 0 0" << QStringList{"g.bin=-"};
        row("written as zips") << "to-md" << QStringList{"a.smd=smd", "g.zip=zip"} << none
                               << j + ",zip"
                               << QStringList{"a.smd converted", "g.zip:g.smd converted"}
                               << "2 0 0 0 0" << QStringList{"a.zip=zip0", "g.zip=zip1"};
        row("zips verified") << "to-smd" << QStringList{"a.bin=plain"} << none << j + ",zip,verify"
                             << QStringList{"a.bin converted Verified"} << "1 0 0 0 0"
                             << QStringList{"a.zip=zip0"};
        row("a zip onto a full drive")
            << "to-md" << QStringList{"a.smd=smd", "b.smd=smd"} << none << j + ",zip,full=a.zip"
            << QStringList{"a.smd failed Refused:WriteFailed", "b.smd converted"} << "1 0 0 1 0"
            << QStringList{"a.zip=-", "b.zip=zip1"};
        row("cancelled between files")
            << "to-bin" << QStringList{"a.smd=smd", "b.smd=smd", "c.smd=smd"} << none
            << j + ",cancel=2" << QStringList{"a.smd converted", "b.smd converted"} << "2 0 0 0 0"
            << QStringList{"a.bin=0", "b.bin=1", "c.bin=-"};
        row("fix-checksum mends, or leaves alone")
            << "fix" << QStringList{"a.bin=badsum", "b.bin=plain", "j.bin=junk"} << none << j
            << QStringList{"a.bin converted", "b.bin passed LeftAlone",
                           "j.bin refused Refused:NoHeader"}
            << "1 0 1 0 1" << QStringList{"b.bin=-"};
    }
    // The window's run: each file by the mode, asking before a file is replaced.
    QTest::newRow("ask: yes replaces")
        << "ask" << QStringList{"a.smd=smd", "b.smd=smd"} << QStringList{"a.bin"} << "yes"
        << QStringList{"a.smd converted", "b.smd converted"} << "2 0 0 0 0"
        << QStringList{"a.bin=0", "b.bin=1"};
    QTest::newRow("ask: no keeps")
        << "ask" << QStringList{"a.smd=smd", "b.smd=smd"} << QStringList{"a.bin"} << "no"
        << QStringList{"a.smd skipped", "b.smd converted"} << "1 1 0 0 0"
        << QStringList{"a.bin=old", "b.bin=1"};
    QTest::newRow("ask: a failure is told, the run goes on")
        << "ask" << QStringList{"a.smd=plain", "b.smd=smd", "c.smd=missing"} << none << "no"
        << QStringList{"a.smd refused Refused:SizeRule", "b.smd converted",
                       "c.smd refused Refused:Missing"}
        << "1 0 2 0 0" << QStringList{"a.bin=-", "b.bin=1"};
    QTest::newRow("ask: a full drive fails the file, keeps the old one")
        << "ask" << QStringList{"a.smd=smd", "b.smd=smd"} << QStringList{"a.bin"}
        << "yes,full=a.bin" << QStringList{"a.smd failed Refused:WriteFailed", "b.smd converted"}
        << "1 0 0 1 0" << QStringList{"a.bin=old", "b.bin=1"};
    QTest::newRow("ask: cancelled before the second")
        << "ask" << QStringList{"a.smd=smd", "b.smd=smd"} << none << "cancel=1"
        << QStringList{"a.smd converted"} << "1 0 0 0 0" << QStringList{"a.bin=0", "b.bin=-"};
}

void tst_ConversionJob::outcomes() {
    QFETCH(QString, task);
    QFETCH(QStringList, sources);
    QFETCH(QStringList, before);
    QFETCH(QString, options);
    QFETCH(QStringList, told);
    QFETCH(QString, counts);
    QFETCH(QStringList, disk);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));

    JobRequest request;
    if (task.startsWith(QLatin1String("to-"))) {
        request.task = JobTask::ToLayout;
        request.target = LayoutOf(task.mid(3));
    } else if (task == QLatin1String("bin2smd")) {
        request.mode = BINtoSMD;
        request.target = RomLayout::Smd;
    } else if (task == QLatin1String("fix")) {
        request.task = JobTask::FixChecksum;
    } else if (task == QLatin1String("ask")) {
        request.existing = JobRequest::WhenExists::Ask;
        request.force = true;
        request.mode = SMDtoBIN;
    }
    const bool ask = request.existing == JobRequest::WhenExists::Ask;
    request.folder = out + QLatin1Char('/');
    Script script;
    script.folder = dir.path() + QLatin1Char('/');
    std::unique_ptr<TestFiles::UnwritableFolder> locked;
    std::unique_ptr<DescriptorLimit> fds;
    std::vector<JobSource> list;
    std::map<QString, int> seedOf;
    for (int i = 0; i < sources.size(); ++i) {
        const QStringList parts = sources.at(i).split(QLatin1Char('='));
        const QString path = in + QLatin1Char('/') + parts.at(0);
        QVERIFY(MakeSource(path, parts.at(1), i));
        list.push_back({path, QString(), false});
        seedOf[parts.at(0)] = i;
    }
    for (const QString& name : before)
        QVERIFY(WriteFile(out + QLatin1Char('/') + name, "old"));
    for (const QString& option : options.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString value = option.section(QLatin1Char('='), 1);
        if (option == QLatin1String("j4"))
            request.threads = 4;
        else if (option.startsWith(QLatin1String("fds=")))
            fds = std::make_unique<DescriptorLimit>(value.toInt());
        else if (option == QLatin1String("j1"))
            request.threads = 1;
        else if (option == QLatin1String("overwrite"))
            request.existing = JobRequest::WhenExists::Replace;
        else if (option == QLatin1String("skip"))
            request.existing = JobRequest::WhenExists::PassOver;
        else if (option == QLatin1String("force"))
            request.force = true;
        else if (option == QLatin1String("verify"))
            request.verify = true;
        else if (option == QLatin1String("dry"))
            request.dryRun = true;
        else if (option == QLatin1String("zip"))
            request.zip = true;
        else if (option == QLatin1String("locked"))
            locked = std::make_unique<TestFiles::UnwritableFolder>(out);
        else if (option == QLatin1String("here"))
            request.folder = in + QLatin1Char('/');
        else if (option == QLatin1String("yes"))
            script.answer = true;
        else if (option.startsWith(QLatin1String("holds=")))
            WriterFaults::DriveHolds((long long)(value.toDouble() * MiB));
        else if (option.startsWith(QLatin1String("full=")))
            WriterFaults::FullFor(value.toUtf8());
        else if (option.startsWith(QLatin1String("cancel=")))
            script.cancelAt = value.toInt();
        else if (option.startsWith(QLatin1String("appear="))) {
            script.appearAt = value.toInt();
            const QString source = QFileInfo(list.at(std::size_t(script.appearAt)).path).fileName();
            script.appearing = out + QLatin1Char('/') + source.section(QLatin1Char('.'), 0, 0) +
                               LayoutExtension(request.target);
        }
    }

    ConversionJob job(request, script);
    job.Run(list);
    QCOMPARE(job.WasCancelled(), script.cancelAt >= 0);
    WriterFaults::FullFor(QByteArray());
    WriterFaults::DriveHolds(-1);
    fds.reset();
    if (locked)
        QVERIFY(locked->ok());
    locked.reset();

    // A line written with ": " carries the words of its refusal too.
    QStringList lines = script.told;
    for (int i = 0; i < lines.size() && i < told.size(); ++i)
        if (told.at(i).contains(QLatin1String(": ")))
            lines[i] = script.worded.at(i);
    QCOMPARE(lines, told);
    const QString got = QStringLiteral("%1 %2 %3 %4 %5")
                            .arg(job.Count(FileOutcome::Converted))
                            .arg(job.Count(FileOutcome::Skipped))
                            .arg(job.Count(FileOutcome::Refused))
                            .arg(job.Count(FileOutcome::Failed))
                            .arg(job.Count(FileOutcome::PassedOver));
    QCOMPARE(got, counts);
    if (ask)
        QCOMPARE(script.asked, before);
    for (const QString& expected : disk) {
        const QString name = expected.section(QLatin1Char('='), 0, 0);
        const QString what = expected.section(QLatin1Char('='), 1);
        const QString path = QDir(request.folder).filePath(name);
        if (what == QLatin1String("-")) {
            QVERIFY2(!QFileInfo::exists(path), qPrintable(name));
            continue;
        }
        // An image is of its source's content, in the name's layout; "md0"
        // is source 0 taken as plain bytes although it is an MD image.
        QByteArray want;
        if (what.startsWith(QLatin1String("zip"))) {
            // A zip holding the image under the zip's own name.
            Archive::Entry entry;
            QVERIFY2(!Archive::SingleImage(path, MiB * 4, &entry).Failed(), qPrintable(name));
            const QString inner =
                QFileInfo(name).completeBaseName() + LayoutExtension(request.target);
            QCOMPARE(entry.name, inner);
            want = RomImages::InLayout(PlainOf(what.mid(3).toInt()), request.target);
            QVERIFY2(entry.bytes == want, qPrintable(name));
            continue;
        }
        if (what.startsWith(QLatin1String("half")))
            want = RomImages::PlainImage(MiB / 2, quint32(what.mid(4).toInt() + 1));
        else if (what == QLatin1String("old") || what == QLatin1String("appeared"))
            want = what.toUtf8();
        else if (what.startsWith(QLatin1String("md")))
            want = RomImages::InLayout(RomImages::Md(PlainOf(what.mid(2).toInt())),
                                       LayoutOf(QFileInfo(name).suffix()));
        else
            want = RomImages::InLayout(PlainOf(what.toInt()), LayoutOf(QFileInfo(name).suffix()));
        QVERIFY2(ReadFile(path) == want, qPrintable(name));
    }
}

QTEST_APPLESS_MAIN(tst_ConversionJob)
#include "tst_conversionjob.moc"
