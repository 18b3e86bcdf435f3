// The system layer as Windows has it, run under Wine: conversions and
// inspection through wide names, the writer keeping and replacing, the names
// Windows refuses, names differing only in case, paths past MAX_PATH, and a
// folder's listing.

#include "ConversionJob.h"
#include "Mod_File.h"
#include "RomImages.h"
#include "RomInspector.h"
#include "SafeFile.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using TestFiles::ReadFile;
using TestFiles::WriteFile;

namespace {

constexpr qsizetype MiB = 1 << 20;

// What a job tells of each file, in order.
class Told : public JobObserver {
public:
    QStringList lines;
    void Done(const FileReport& report) override {
        QString line = QFileInfo(report.given).fileName();
        for (const JobNotice& notice : report.notices)
            if (notice.kind == JobNotice::Kind::Refused)
                line += QStringLiteral(" refused: ") + notice.error.Text();
        lines << line;
    }
};

} // namespace

class tst_Windows : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }
    void converts_data();
    void converts();
    void inspects_data();
    void inspects();
    void keepsAndReplaces();
    void refusedNames_data();
    void refusedNames();
    void namesDifferingInCase();
    void pastMaxPath();
    void listsFolder();

private:
    QString Path(const QString& name) const { return dir_->filePath(name); }
    // Nothing but these names in the folder: no temporary file is left.
    void OnlyThese(const QString& folder, QStringList names) const {
        names.sort(Qt::CaseInsensitive);
        QStringList there = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        there.sort(Qt::CaseInsensitive);
        QCOMPARE(there, names);
    }
    std::unique_ptr<QTemporaryDir> dir_;
};

void tst_Windows::converts_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("size");
    const struct {
        const char* name;
        ConversionMode mode;
        RomLayout from, to;
    } modes[] = {
        {"SMD to BIN", SMDtoBIN, RomLayout::Smd, RomLayout::Plain},
        {"BIN to SMD", BINtoSMD, RomLayout::Plain, RomLayout::Smd},
        {"MD to BIN", MDtoBIN, RomLayout::Md, RomLayout::Plain},
        {"BIN to MD", BINtoMD, RomLayout::Plain, RomLayout::Md},
    };
    for (const auto& m : modes)
        for (const int mib : {1, 4})
            QTest::addRow("%s, %d MiB", m.name, mib)
                << int(m.mode) << int(m.from) << int(m.to) << mib;
}

// Each mode gives the bytes the layouts' definitions give, through names
// that are not ASCII.
void tst_Windows::converts() {
    QFETCH(int, mode);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, size);
    const QByteArray plain = RomImages::PlainImage(size * MiB, quint32(size + mode));
    const QString source = Path(QStringLiteral("café ゲーム.img"));
    const QString destination = Path(QStringLiteral("café ゲーム.out"));
    QVERIFY(WriteFile(source, RomImages::InLayout(plain, RomLayout(from))));
    QVERIFY(Mod_File::ConvertFile(source, destination, mode));
    QVERIFY(ReadFile(destination) == RomImages::InLayout(plain, RomLayout(to)));
    OnlyThese(dir_->path(), {QFileInfo(source).fileName(), QFileInfo(destination).fileName()});
}

void tst_Windows::inspects_data() {
    QTest::addColumn<int>("layout");
    QTest::newRow("plain") << int(RomLayout::Plain);
    QTest::newRow("SMD") << int(RomLayout::Smd);
    QTest::newRow("MD") << int(RomLayout::Md);
}

void tst_Windows::inspects() {
    QFETCH(int, layout);
    const QByteArray plain = RomImages::PlainImage(2 * MiB, 7);
    QVERIFY(
        WriteFile(Path(QStringLiteral("g.rom")), RomImages::InLayout(plain, RomLayout(layout))));
    const RomInspector::Report report = RomInspector::Inspect(Path(QStringLiteral("g.rom")));
    QVERIFY2(report.Inspected(), qPrintable(report.error.Text()));
    QCOMPARE(int(report.layout), layout);
    QCOMPARE(report.plainSize, 2 * MiB);
    QCOMPARE(report.sha1, QString::fromLatin1(
                              QCryptographicHash::hash(plain, QCryptographicHash::Sha1).toHex()));
    QVERIFY(report.ChecksumOk());
}

// An existing file is never replaced by accident; replaced, it is whole.
void tst_Windows::keepsAndReplaces() {
    const QString name = Path(QStringLiteral("old.bin"));
    QVERIFY(WriteFile(name, "old"));
    {
        SafeFile::Writer writer;
        QVERIFY(!writer.Open(name, SafeFile::Existing::Keep));
        QCOMPARE(writer.Error().Text(), QStringLiteral("the destination already exists"));
    }
    QCOMPARE(ReadFile(name), QByteArray("old"));
    const QByteArray content = TestFiles::RandomBytes(MiB, 3);
    {
        SafeFile::Writer writer;
        QVERIFY(writer.Open(name, SafeFile::Existing::Replace));
        QVERIFY(writer.Write(content.constData(), content.size()));
        QVERIFY2(writer.Commit(), qPrintable(writer.Error().Text()));
    }
    QVERIFY(ReadFile(name) == content);
    // Given up before it is committed, the old file stays as it was.
    {
        SafeFile::Writer writer;
        QVERIFY(writer.Open(name, SafeFile::Existing::Replace));
        QVERIFY(writer.Write("new", 3));
        QVERIFY(writer.Abort());
    }
    QVERIFY(ReadFile(name) == content);
    OnlyThese(dir_->path(), {QStringLiteral("old.bin")});
}

void tst_Windows::refusedNames_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"CON", "nul.bin", "COM1.smd", "lpt9", "aux.md", "game.", "game ",
                             "a<b.bin", "a>b.bin", "a\"b.bin", "a|b.bin", "a?b.bin", "a*b.bin"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// A name Windows refuses gets words of its own, and nothing is written.
void tst_Windows::refusedNames() {
    QFETCH(QString, name);
    SafeFile::Writer writer;
    QVERIFY(!writer.Open(Path(name), SafeFile::Existing::Keep));
    QVERIFY2(writer.Error().Text().contains(QLatin1String("Windows")),
             qPrintable(writer.Error().Text()));
    OnlyThese(dir_->path(), {});
}

// Two sources whose destinations differ only in case are one file there:
// the second is refused, the first kept.
void tst_Windows::namesDifferingInCase() {
    const QByteArray first = RomImages::PlainImage(MiB, 1);
    QVERIFY(QDir().mkpath(Path(QStringLiteral("in/other"))));
    QVERIFY(WriteFile(Path(QStringLiteral("in/Game.bin")), first));
    QVERIFY(WriteFile(Path(QStringLiteral("in/other/game.BIN")), RomImages::PlainImage(MiB, 2)));
    QVERIFY(QDir().mkpath(Path(QStringLiteral("out"))));
    JobRequest request;
    request.task = JobTask::ToLayout;
    request.target = RomLayout::Smd;
    request.folder = Path(QStringLiteral("out/"));
    Told told;
    ConversionJob job(request, told);
    job.Run({{Path(QStringLiteral("in/Game.bin")), QString(), false},
             {Path(QStringLiteral("in/other/game.BIN")), QString(), false}});
    QCOMPARE(told.lines.size(), 2);
    QCOMPARE(told.lines.at(0), QStringLiteral("Game.bin"));
    QVERIFY2(told.lines.at(1).contains(QLatin1String("is the same file as the destination of")),
             qPrintable(told.lines.at(1)));
    QVERIFY(ReadFile(Path(QStringLiteral("out/Game.smd"))) == RomImages::Smd(first));
    OnlyThese(Path(QStringLiteral("out")), {QStringLiteral("Game.smd")});
}

// A destination past MAX_PATH is written all the same.
void tst_Windows::pastMaxPath() {
    QString folder = dir_->path();
    while (folder.size() < 300)
        folder += QStringLiteral("/") + QString(40, QLatin1Char('d'));
    QVERIFY(SafeFile::MakeFolders(folder).Failed() == false);
    const QByteArray plain = RomImages::PlainImage(MiB, 4);
    const QString source = Path(QStringLiteral("short.bin"));
    QVERIFY(WriteFile(source, plain));
    const QString destination = folder + QStringLiteral("/long.smd");
    QVERIFY(Mod_File::ConvertFile(source, destination, BINtoSMD));
    QVERIFY(SafeFile::EntryExists(destination));
    std::vector<SafeFile::Listed> listed;
    QVERIFY(!SafeFile::ListFolder(folder, &listed).Failed());
    QCOMPARE(int(listed.size()), 1);
    QCOMPARE(listed.at(0).name, QStringLiteral("long.smd"));
}

// Entries in the order of their names, each as what it is.
void tst_Windows::listsFolder() {
    QVERIFY(WriteFile(Path(QStringLiteral("b.bin")), "b"));
    QVERIFY(WriteFile(Path(QStringLiteral("a.smd")), "a"));
    QVERIFY(QDir().mkpath(Path(QStringLiteral("c"))));
    std::vector<SafeFile::Listed> listed;
    QVERIFY(!SafeFile::ListFolder(dir_->path(), &listed).Failed());
    QStringList got;
    for (const SafeFile::Listed& entry : listed)
        got << entry.name + (entry.kind == SafeFile::Listed::Kind::Folder ? "/" : "");
    QCOMPARE(got, (QStringList{"a.smd", "b.bin", "c/"}));
    QCOMPARE(SafeFile::ListFolder(Path(QStringLiteral("nowhere")), &listed).code,
             EngineError::Code::FolderUnread);
}

QTEST_APPLESS_MAIN(tst_Windows)
#include "tst_windows.moc"
