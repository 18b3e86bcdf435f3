#include "ConversionJob.h"
#include "FileFunctions.h"
#include "Mod_Convert.h"
#include "Mod_File.h"
#include "RomImages.h"
#include "TestFiles.h"
#include "WriterFaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <map>

using Mod_File::ConvertFile;
using Mod_File::ConvertFileReport;
using TestFiles::RandomBytes;
using TestFiles::ReadFile;
using TestFiles::WriteFile;

Q_DECLARE_METATYPE(EngineError::Code)
Q_DECLARE_METATYPE(RomLayout)

namespace {

QByteArray ModelSmd(const QByteArray& plain) {
    return RomImages::Smd(plain);
}

QByteArray ModelMd(const QByteArray& plain) {
    return RomImages::Md(plain);
}

// Every extended attribute of a file (ACLs among them), name to value.
std::map<QByteArray, QByteArray> Attributes(const QString& path) {
    std::map<QByteArray, QByteArray> result;
    const QByteArray p = QFile::encodeName(path);
    QByteArray names(4096, '\0');
    const ssize_t length = ::llistxattr(p.constData(), names.data(), std::size_t(names.size()));
    for (const QByteArray& name : names.left(std::max<ssize_t>(length, 0)).split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value(4096, '\0');
        const ssize_t size =
            ::lgetxattr(p.constData(), name.constData(), value.data(), std::size_t(value.size()));
        result[name] = value.left(std::max<ssize_t>(size, 0));
    }
    return result;
}

} // namespace

class tst_Convert : public QObject {
    Q_OBJECT

private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void layoutEdges();
    void cartridgeSizes_data();
    void cartridgeSizes();
    void smdHeader_data();
    void smdHeader();
    void smdHeaderOfSourceIsIgnored();
    void refused_data();
    void refused();
    void unknownMode_data();
    void unknownMode();
    void inPlace_data();
    void inPlace();
    void repeatedConversionIsIdentical();
    void leavesNoTemporaryFiles();
    void sourceFailures_data();
    void sourceFailures();
    void sourceUnreadable();
    void destinationFolderMissing();
    void destinationFolderUnwritable();
    void destinationIsFolder();
    void fullDisk();
    void whatIsInTheWay_data();
    void whatIsInTheWay();
    void nameAppearsMeanwhile_data();
    void replaceKeepsMetadata_data();
    void realFileSystems_data();
    void realFileSystems();
    void replaceKeepsMetadata();
    void nameAppearsMeanwhile();
    void longDestinationName_data();
    void longDestinationName();
    void powerCut_data();
    void powerCut();
    void tooLarge();
    void describeResult();

private:
    QTemporaryDir dir_;
    QString Path(const QString& name) const { return dir_.filePath(name); }
};

void tst_Convert::init() {
    QVERIFY(dir_.isValid());
    QDir d(dir_.path());
    const auto entries =
        d.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        const QFileInfo info(d.filePath(entry));
        QVERIFY(info.isDir() && !info.isSymLink() ? QDir(info.filePath()).removeRecursively()
                                                  : d.remove(entry));
    }
    WriterFaults::Set(0);
    ::umask(022);
}

void tst_Convert::roundTrip_data() {
    QTest::addColumn<int>("there");
    QTest::addColumn<int>("back");
    QTest::addColumn<int>("blocks");
    for (int blocks : {1, 2, 3, 7, 256}) {
        QTest::addRow("SMD, %d blocks", blocks) << int(BINtoSMD) << int(SMDtoBIN) << blocks;
        QTest::addRow("MD, %d blocks", blocks) << int(BINtoMD) << int(MDtoBIN) << blocks;
    }
}

void tst_Convert::roundTrip() {
    QFETCH(int, there);
    QFETCH(int, back);
    QFETCH(int, blocks);
    const QByteArray plain = RandomBytes(blocks * 16384, quint32(blocks * 31 + there));
    QVERIFY(WriteFile(Path("game.bin"), plain));

    QVERIFY(ConvertFile(Path("game.bin"), Path("game.out"), there));
    const QByteArray converted = ReadFile(Path("game.out"));
    QCOMPARE(converted, there == BINtoSMD ? ModelSmd(plain) : ModelMd(plain));

    QVERIFY(ConvertFile(Path("game.out"), Path("again.bin"), back));
    QCOMPARE(ReadFile(Path("again.bin")), plain);
}

void tst_Convert::layoutEdges() {
    QByteArray plain(32768, '\0');
    for (int i = 0; i < plain.size(); ++i)
        plain[i] = char(i * 7 + i / 256);
    QVERIFY(WriteFile(Path("p.bin"), plain.left(16384)));
    QVERIFY(ConvertFile(Path("p.bin"), Path("p.smd"), BINtoSMD));
    const QByteArray smd = ReadFile(Path("p.smd"));
    QCOMPARE(smd.size(), 16384 + 512);
    QCOMPARE(smd[512], plain[1]);
    QCOMPARE(smd[513], plain[3]);
    QCOMPARE(smd[512 + 8192], plain[0]);

    QVERIFY(ConvertFile(Path("p.bin"), Path("p.md"), BINtoMD));
    const QByteArray md16 = ReadFile(Path("p.md"));
    QCOMPARE(md16[0], plain[1]);
    QCOMPARE(md16[8191], plain[16383]);
    QCOMPARE(md16[8192], plain[0]);
    QCOMPARE(md16[16383], plain[16382]);
    // One block: the MD image is the SMD block without the header.
    QCOMPARE(md16, smd.mid(512));

    QVERIFY(WriteFile(Path("q.bin"), plain));
    QVERIFY(ConvertFile(Path("q.bin"), Path("q.md"), BINtoMD));
    const QByteArray md32 = ReadFile(Path("q.md"));
    QCOMPARE(md32[16383], plain[32767]);
    QCOMPARE(md32[16384], plain[0]);
}

void tst_Convert::cartridgeSizes_data() {
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<RomLayout>("from");
    QTest::addColumn<RomLayout>("to");
    // The SHA-1 of the converted file, from Python's hashlib, and of the source.
    QTest::addColumn<QByteArray>("sha1");
    QTest::addColumn<QByteArray>("sourceSha1");
    const RomLayout layouts[] = {RomLayout::Plain, RomLayout::Smd, RomLayout::Md,
                                 RomLayout::Byteswapped};
    for (const RomImages::Expected& e : RomImages::Known) {
        if (e.size < 2 * 1024 * 1024)
            continue;
        const QByteArray plain = RomImages::CartridgeImage(e.size, e.seed);
        for (int from = 0; from < 4; ++from)
            for (int to = 0; to < 4; ++to)
                QTest::addRow("%s to %s, %lld bytes", qPrintable(LayoutName(layouts[from])),
                              qPrintable(LayoutName(layouts[to])), qlonglong(e.size))
                    << RomImages::InLayout(plain, layouts[from]) << layouts[from] << layouts[to]
                    << QByteArray(e.values[4 + to]) << QByteArray(e.values[4 + from]);
    }
}

// Real cartridge sizes, whose conversion crosses many blocks and every
// piece of a reader, give exactly the bytes an independent tool computes.
void tst_Convert::cartridgeSizes() {
    QFETCH(QByteArray, source);
    QFETCH(RomLayout, from);
    QFETCH(RomLayout, to);
    QFETCH(QByteArray, sha1);
    QFETCH(QByteArray, sourceSha1);
    QCOMPARE(QCryptographicHash::hash(source, QCryptographicHash::Sha1).toHex(), sourceSha1);
    QVERIFY(WriteFile(Path("source"), source));
    // The layout is the one its content shows, as a to-layout job finds it.
    class Told : public JobObserver {
    public:
        void Done(const FileReport& report) override { outcome = report.outcome; }
        FileOutcome outcome = FileOutcome::Failed;
    } told;
    JobRequest request;
    request.task = JobTask::ToLayout;
    request.target = to;
    JobSource file;
    file.path = Path("source");
    file.destination = Path("target");
    ConversionJob(request, told).Run({file});
    QCOMPARE(told.outcome, FileOutcome::Converted);
    Q_UNUSED(from);
    QCOMPARE(QCryptographicHash::hash(ReadFile(Path("target")), QCryptographicHash::Sha1).toHex(),
             sha1);
}

void tst_Convert::smdHeader_data() {
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("count");
    QTest::newRow("1 block") << 1 << 1;
    QTest::newRow("255 blocks") << 255 << 255;
    QTest::newRow("256 blocks") << 256 << 0;
    QTest::newRow("300 blocks") << 300 << 0;
}

void tst_Convert::smdHeader() {
    QFETCH(int, blocks);
    QFETCH(int, count);
    QVERIFY(WriteFile(Path("h.bin"), QByteArray(blocks * 16384, 'x')));
    QVERIFY(ConvertFile(Path("h.bin"), Path("h.smd"), BINtoSMD));
    const QByteArray header = ReadFile(Path("h.smd")).left(512);
    QByteArray expected(512, '\0');
    expected[0] = char(count);
    expected[1] = 3;
    expected[8] = char(0xAA);
    expected[9] = char(0xBB);
    expected[10] = 6;
    QCOMPARE(header, expected);
}

void tst_Convert::smdHeaderOfSourceIsIgnored() {
    const QByteArray plain = RandomBytes(16384, 5);
    QByteArray smd = ModelSmd(plain);
    smd.replace(0, 512, RandomBytes(512, 99));
    QVERIFY(WriteFile(Path("r.smd"), smd));
    QVERIFY(ConvertFile(Path("r.smd"), Path("r.bin"), SMDtoBIN));
    QCOMPARE(ReadFile(Path("r.bin")), plain);
}

void tst_Convert::refused_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("size");
    QTest::addColumn<EngineError::Code>("why");
    for (int mode : {0, 1, 2, 3})
        QTest::addRow("mode %d, empty", mode) << mode << 0 << EngineError::Code::Empty;
    QTest::newRow("plain 16383 to SMD") << 1 << 16383 << EngineError::Code::SizeRule;
    QTest::newRow("plain 16385 to SMD") << 1 << 16385 << EngineError::Code::SizeRule;
    QTest::newRow("plain 16385 to MD") << 3 << 16385 << EngineError::Code::SizeRule;
    QTest::newRow("SMD of 16384") << 0 << 16384 << EngineError::Code::SizeRule;
    QTest::newRow("SMD of 511") << 0 << 511 << EngineError::Code::SizeRule;
    QTest::newRow("SMD header only") << 0 << 512 << EngineError::Code::HeaderOnly;
    QTest::newRow("MD of 8192") << 2 << 8192 << EngineError::Code::SizeRule;
    QTest::newRow("MD of 16386") << 2 << 16386 << EngineError::Code::SizeRule;
}

void tst_Convert::refused() {
    QFETCH(int, mode);
    QFETCH(int, size);
    QFETCH(EngineError::Code, why);
    QVERIFY(WriteFile(Path("in.img"), QByteArray(size, 'a')));

    // No destination yet: none is created.
    QCOMPARE(ConvertFileReport(Path("in.img"), Path("out.img"), mode).code, why);
    QVERIFY(!QFileInfo::exists(Path("out.img")));

    // An existing destination keeps its content.
    QVERIFY(WriteFile(Path("out.img"), "old content"));
    QVERIFY(!ConvertFile(Path("in.img"), Path("out.img"), mode));
    QCOMPARE(ReadFile(Path("out.img")), QByteArray("old content"));
}

void tst_Convert::unknownMode_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("4") << 4;
    QTest::newRow("-1") << -1;
}

void tst_Convert::unknownMode() {
    QFETCH(int, mode);
    QVERIFY(WriteFile(Path("in.bin"), QByteArray(16384, 'a')));
    QCOMPARE(ConvertFileReport(Path("in.bin"), Path("out.bin"), mode).code,
             EngineError::Code::UnknownMode);
    QVERIFY(!QFileInfo::exists(Path("out.bin")));
}

void tst_Convert::inPlace_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("size");
    QTest::newRow("SMD to BIN") << int(SMDtoBIN) << 2 * 16384 + 512;
    QTest::newRow("BIN to SMD") << int(BINtoSMD) << 2 * 16384;
    QTest::newRow("MD to BIN") << int(MDtoBIN) << 2 * 16384;
    QTest::newRow("BIN to MD") << int(BINtoMD) << 2 * 16384;
}

void tst_Convert::inPlace() {
    QFETCH(int, mode);
    QFETCH(int, size);
    const QByteArray bytes = RandomBytes(size, 7);
    QVERIFY(WriteFile(Path("x.img"), bytes));
    QVERIFY(WriteFile(Path("y.img"), bytes));
    QVERIFY(ConvertFile(Path("y.img"), Path("expected.img"), mode));
    QVERIFY(ConvertFile(Path("x.img"), Path("x.img"), mode));
    QCOMPARE(ReadFile(Path("x.img")), ReadFile(Path("expected.img")));
}

void tst_Convert::repeatedConversionIsIdentical() {
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(3 * 16384, 11)));
    QVERIFY(ConvertFile(Path("a.bin"), Path("one.smd"), BINtoSMD));
    // A larger conversion in between leaves nothing behind in the working arrays.
    QVERIFY(WriteFile(Path("big.bin"), RandomBytes(9 * 16384, 12)));
    QVERIFY(ConvertFile(Path("big.bin"), Path("big.smd"), BINtoSMD));
    QVERIFY(ConvertFile(Path("a.bin"), Path("two.smd"), BINtoSMD));
    QCOMPARE(ReadFile(Path("one.smd")), ReadFile(Path("two.smd")));
}

void tst_Convert::leavesNoTemporaryFiles() {
    // Once into a new destination, once replacing it.
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(16384, 13)));
    QVERIFY(ConvertFile(Path("a.bin"), Path("a.md"), BINtoMD));
    QVERIFY(QFile::setPermissions(Path("a.md"), QFile::ReadOwner | QFile::WriteOwner));
    const QFile::Permissions chosen = QFile::permissions(Path("a.md"));
    QVERIFY(ConvertFile(Path("a.bin"), Path("a.md"), BINtoMD));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"a.bin", "a.md"}));
    // Replacing keeps the permissions the user gave the old file.
    QCOMPARE(QFile::permissions(Path("a.md")), chosen);
}

void tst_Convert::sourceFailures_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<EngineError::Code>("why");
    QTest::newRow("missing") << "missing.bin" << EngineError::Code::Missing;
    QTest::newRow("empty path") << "" << EngineError::Code::Missing;
    QTest::newRow("folder") << "folder.bin" << EngineError::Code::SourceIsFolder;
    // Opening a FIFO would wait for a writer forever.
    QTest::newRow("fifo") << "fifo.bin" << EngineError::Code::NotRegular;
    QTest::newRow("device") << "/dev/zero" << EngineError::Code::NotRegular;
    QTest::newRow("file as folder") << "out.bin/a.bin" << EngineError::Code::Missing;
    QTest::newRow("name over 255 bytes")
        << QString(300, 'n') + ".bin" << EngineError::Code::NameTooLong;
    QTest::newRow("path over 4096 bytes")
        << QString("d/").repeated(2100) + "a.bin" << EngineError::Code::NameTooLong;
}

void tst_Convert::sourceFailures() {
    QFETCH(QString, source);
    QFETCH(EngineError::Code, why);
    QVERIFY(QDir(dir_.path()).mkdir("folder.bin"));
    QCOMPARE(::mkfifo(QFile::encodeName(Path("fifo.bin")).constData(), 0600), 0);
    QVERIFY(WriteFile(Path("out.bin"), "keep"));
    const QString path = source.isEmpty() || source.startsWith('/') ? source : Path(source);
    QCOMPARE(ConvertFileReport(path, Path("out.bin"), BINtoMD).code, why);
    QCOMPARE(ReadFile(Path("out.bin")), QByteArray("keep"));
}

void tst_Convert::sourceUnreadable() {
    if (TestFiles::RunningAsRoot())
        QSKIP("root reads every file whatever its permissions");
    QVERIFY(WriteFile(Path("locked.bin"), QByteArray(16384, 'a')));
    QVERIFY(QFile::setPermissions(Path("locked.bin"), QFile::WriteOwner));
    QCOMPARE(ConvertFileReport(Path("locked.bin"), Path("out.md"), BINtoMD).code,
             EngineError::Code::ReadFailed);
    QVERIFY(!QFileInfo::exists(Path("out.md")));
}

void tst_Convert::destinationFolderMissing() {
    QVERIFY(WriteFile(Path("a.bin"), QByteArray(16384, 'a')));
    QCOMPARE(ConvertFileReport(Path("a.bin"), Path("no-such-folder/a.smd"), BINtoSMD).code,
             EngineError::Code::WriteFailed);
}

void tst_Convert::destinationFolderUnwritable() {
    QVERIFY(QDir(dir_.path()).mkdir("locked"));
    QVERIFY(WriteFile(Path("locked/a.smd"), "old"));
    QVERIFY(WriteFile(Path("a.bin"), QByteArray(16384, 'a')));
    TestFiles::UnwritableFolder guard(Path("locked"));
    if (!guard.ok())
        QSKIP("cannot make a folder unwritable here");
    QCOMPARE(ConvertFileReport(Path("a.bin"), Path("locked/a.smd"), BINtoSMD).code,
             EngineError::Code::WriteFailed);
    QCOMPARE(ReadFile(Path("locked/a.smd")), QByteArray("old"));
    QCOMPARE(QDir(Path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.smd"});
}

void tst_Convert::destinationIsFolder() {
    QVERIFY(QDir(dir_.path()).mkdir("a.smd"));
    QVERIFY(WriteFile(Path("a.smd/inside"), "kept"));
    QVERIFY(WriteFile(Path("a.bin"), QByteArray(16384, 'a')));
    QVERIFY(!ConvertFile(Path("a.bin"), Path("a.smd"), BINtoSMD));
    QVERIFY(QFileInfo(Path("a.smd")).isDir());
    QCOMPARE(ReadFile(Path("a.smd/inside")), QByteArray("kept"));
}

void tst_Convert::fullDisk() {
    TestFiles::SmallDisk disk(Path("small"), QStringLiteral("64k"));
    if (!disk.ok())
        QSKIP("no right to mount a small file system here");
    QVERIFY(WriteFile(Path("small/game.md"), "the old image"));
    QVERIFY(WriteFile(Path("game.bin"), RandomBytes(16 * 16384, 3)));
    QCOMPARE(ConvertFileReport(Path("game.bin"), Path("small/game.md"), BINtoMD).code,
             EngineError::Code::WriteFailed);
    QCOMPARE(ReadFile(Path("small/game.md")), QByteArray("the old image"));
    QCOMPARE(QDir(Path("small")).entryList(QDir::Files | QDir::Hidden), QStringList{"game.md"});

    // In place on the full disk: the source survives.
    const QByteArray source = RandomBytes(2 * 16384, 4);
    QVERIFY(WriteFile(Path("small/inplace.bin"), source));
    QVERIFY(WriteFile(Path("small/filler"), QByteArray(16 * 1024, 'f')));
    QVERIFY(!ConvertFile(Path("small/inplace.bin"), Path("small/inplace.bin"), BINtoMD));
    QCOMPARE(ReadFile(Path("small/inplace.bin")), source);
}

namespace {

// The file systems a writer meets, by the features they lack.
const struct {
    const char* name;
    unsigned faults;
} FileSystems[] = {
    {"", 0},
    {", no O_TMPFILE", SafeFile::NoTmpfile},
    {", FUSE or NFS", SafeFile::NoTmpfile | SafeFile::NoNoReplace},
    {", FAT", SafeFile::NoLink | SafeFile::NoNoReplace | SafeFile::NoChmod | SafeFile::NoChown |
                  SafeFile::NoXattr | SafeFile::NoFolderSync},
};

} // namespace

void tst_Convert::whatIsInTheWay_data() {
    QTest::addColumn<QString>("inTheWay");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("converted");
    QTest::addColumn<unsigned>("faults");
    const struct {
        const char* name;
        bool keepConverts;
        bool replaceConverts;
    } cases[] = {
        {"nothing", true, true},
        {"file", false, true},
        {"read-only file", false, true},
        {"folder", false, false},
        {"link to a file", false, true},
        {"dangling link", false, true},
        {"link to the source", false, true},
        {"hard link to the source", false, true},
        {"fifo", false, false},
        {"link to a folder", false, false},
        {"link to a fifo", false, false},
    };
    for (const auto& system : FileSystems)
        for (const auto& c : cases)
            for (bool replace : {false, true})
                QTest::addRow("%s, %s%s", c.name, replace ? "replace" : "keep", system.name)
                    << QString(c.name) << replace << (replace ? c.replaceConverts : c.keepConverts)
                    << system.faults;
}

// Whatever is at the destination's name, a conversion either puts a regular
// file with the converted bytes there or leaves the entry exactly as it was;
// nothing is written through a link, the source never changes and no
// temporary file stays behind, on every kind of file system.
void tst_Convert::whatIsInTheWay() {
    QFETCH(QString, inTheWay);
    QFETCH(bool, replace);
    QFETCH(bool, converted);
    QFETCH(unsigned, faults);
    WriterFaults::Set(faults);
    QVERIFY(QDir(dir_.path()).mkpath("src") && QDir(dir_.path()).mkpath("out") &&
            QDir(dir_.path()).mkpath("elsewhere/folder"));
    const QByteArray source = RandomBytes(2 * 16384, 21);
    const QByteArray other = "another file";
    QVERIFY(WriteFile(Path("src/r.bin"), source));
    QVERIFY(WriteFile(Path("elsewhere/target.md"), other));
    QCOMPARE(::mkfifo(QFile::encodeName(Path("elsewhere/fifo")).constData(), 0600), 0);
    const QString name = Path("out/r.md");
    const QByteArray n = QFile::encodeName(name);
    if (inTheWay == "file" || inTheWay == "read-only file")
        QVERIFY(WriteFile(name, other));
    if (inTheWay == "read-only file")
        QVERIFY(QFile::setPermissions(name, QFile::ReadOwner | QFile::ReadGroup));
    if (inTheWay == "folder")
        QVERIFY(QDir().mkdir(name));
    if (inTheWay == "link to a file")
        QCOMPARE(::symlink("../elsewhere/target.md", n.constData()), 0);
    if (inTheWay == "dangling link")
        QCOMPARE(::symlink("../elsewhere/new.md", n.constData()), 0);
    if (inTheWay == "link to the source")
        QCOMPARE(::symlink("../src/r.bin", n.constData()), 0);
    if (inTheWay == "hard link to the source")
        QCOMPARE(::link(QFile::encodeName(Path("src/r.bin")).constData(), n.constData()), 0);
    if (inTheWay == "fifo")
        QCOMPARE(::mkfifo(n.constData(), 0600), 0);
    if (inTheWay == "link to a folder")
        QCOMPARE(::symlink("../elsewhere/folder", n.constData()), 0);
    if (inTheWay == "link to a fifo")
        QCOMPARE(::symlink("../elsewhere/fifo", n.constData()), 0);
    struct stat before {};
    ::lstat(n.constData(), &before);

    const EngineError result =
        ConvertFileReport(Path("src/r.bin"), name, BINtoMD,
                          replace ? SafeFile::Existing::Replace : SafeFile::Existing::Keep);
    QCOMPARE(!result.Failed(), converted);
    struct stat after {};
    if (converted) {
        QCOMPARE(::lstat(n.constData(), &after), 0);
        QVERIFY(S_ISREG(after.st_mode));
        QCOMPARE(ReadFile(name), ModelMd(source));
        // The old file's permission bits, else the usual ones for a new file
        // (0644 under the umask of the test); a file system without
        // permissions keeps the temporary file's private 0600.
        const unsigned expected = faults & SafeFile::NoChmod              ? 0600u
                                  : inTheWay == "read-only file"          ? 0440u
                                  : inTheWay == "hard link to the source" ? 0644u
                                                                          : 0666u & ~0022u;
        QCOMPARE(after.st_mode & 07777, expected);
    } else {
        QCOMPARE(::lstat(n.constData(), &after), inTheWay == "nothing" ? -1 : 0);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        if (!replace && inTheWay != "nothing")
            QCOMPARE(result.code, EngineError::Code::DestinationExists);
        if (replace && (inTheWay == "link to a folder" || inTheWay == "link to a fifo"))
            QVERIFY2(result.Text().startsWith("the destination is a link to"),
                     qPrintable(result.Text()));
    }
    QCOMPARE(ReadFile(Path("src/r.bin")), source);
    QCOMPARE(ReadFile(Path("elsewhere/target.md")), other);
    QVERIFY(!QFileInfo::exists(Path("elsewhere/new.md")));
    QCOMPARE(QDir(Path("elsewhere/folder")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(QDir(Path("out"))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
             inTheWay == "nothing" && !converted ? QStringList() : QStringList{"r.md"});
}

void tst_Convert::nameAppearsMeanwhile_data() {
    QTest::addColumn<unsigned>("faults");
    QTest::addColumn<bool>("replace");
    for (const auto& system : FileSystems)
        for (bool replace : {false, true})
            QTest::addRow("%s%s", replace ? "replace" : "keep", system.name)
                << system.faults << replace;
}

// A name that appears while the content is written is never replaced by a
// new file, whatever the file system lacks, and nothing is left behind.
void tst_Convert::nameAppearsMeanwhile() {
    QFETCH(unsigned, faults);
    QFETCH(bool, replace);
    WriterFaults::Set(faults);
    SafeFile::Writer writer;
    QVERIFY(writer.Open(Path("a.md"),
                        replace ? SafeFile::Existing::Replace : SafeFile::Existing::Keep));
    QVERIFY(writer.Write("new content", 11));
    QVERIFY(WriteFile(Path("a.md"), "somebody else's"));
    QVERIFY(!writer.Commit());
    QVERIFY(writer.NameTaken());
    QCOMPARE(writer.Error().Text(), QString("the destination already exists"));
    QCOMPARE(ReadFile(Path("a.md")), QByteArray("somebody else's"));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"a.md"});
}

void tst_Convert::replaceKeepsMetadata_data() {
    QTest::addColumn<unsigned>("faults");
    QTest::addColumn<bool>("ownerKept");
    QTest::addColumn<unsigned>("mode");
    QTest::addColumn<bool>("attributesKept");
    QTest::newRow("all kept") << 0u << true << 04755u << true;
    // Another owner must not inherit the set-user-ID bit.
    QTest::newRow("owner cannot be kept") << unsigned(SafeFile::NoChown) << false << 0755u << true;
    QTest::newRow("attributes cannot be set")
        << unsigned(SafeFile::NoXattr) << true << 04755u << false;
    QTest::newRow("no permissions (FAT)")
        << unsigned(SafeFile::NoChmod | SafeFile::NoXattr) << true << 0600u << false;
}

// Replacing a file keeps its owner, group, mode, ACL and extended
// attributes, as far as the file system and the caller allow, and the new
// content is private to its owner until it is complete.
void tst_Convert::replaceKeepsMetadata() {
    QFETCH(unsigned, faults);
    QFETCH(bool, ownerKept);
    QFETCH(unsigned, mode);
    QFETCH(bool, attributesKept);
    if (!TestFiles::RunningAsRoot())
        QSKIP("giving a file to another owner needs root");
    const QString name = Path("payload.bin");
    const QByteArray n = QFile::encodeName(name);
    QVERIFY(WriteFile(name, "old"));
    QCOMPARE(::chown(n.constData(), 65534, 65534), 0);
    QCOMPARE(::chmod(n.constData(), 04755), 0);
    QCOMPARE(::lsetxattr(n.constData(), "user.kestrix", "kept", 4, 0), 0);
    const bool acl = QProcess::execute("setfacl", {"-m", "u:65534:rw", name}) == 0;
    QCOMPARE(::chmod(n.constData(), 04755), 0); // setfacl may have moved the group bits
    std::map<QByteArray, QByteArray> before = Attributes(name);
    QCOMPARE(before.count("system.posix_acl_access"), std::size_t(acl));
    // cap_net_raw, effective and permitted, as setcap writes it (revision 2,
    // little-endian words): a file capability never passes to new content.
    const char capability[20] = {1, 0, 0, 2, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    QCOMPARE(::lsetxattr(n.constData(), "security.capability", capability, sizeof capability, 0),
             0);
    QCOMPARE(Attributes(name).count("security.capability"), std::size_t(1));

    // Named, so that the unfinished file can be seen.
    WriterFaults::Set(faults | SafeFile::NoTmpfile);
    SafeFile::Writer writer;
    QVERIFY(writer.Open(name, SafeFile::Existing::Replace));
    QVERIFY(writer.Write("new", 3));
    const QStringList temporary =
        QDir(dir_.path()).entryList({".kx-*"}, QDir::Files | QDir::Hidden);
    QCOMPARE(temporary.size(), 1);
    QCOMPARE(QFileInfo(Path(temporary.first())).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QVERIFY2(writer.Commit(), qPrintable(writer.Error().Text()));

    struct stat st {};
    QCOMPARE(::lstat(n.constData(), &st), 0);
    QCOMPARE(ReadFile(name), QByteArray("new"));
    QCOMPARE(st.st_uid, ownerKept ? 65534u : 0u);
    QCOMPARE(st.st_gid, ownerKept ? 65534u : 0u);
    QCOMPARE(st.st_mode & 07777, mode);
    if (attributesKept)
        QCOMPARE(Attributes(name), before);
    else
        QCOMPARE(Attributes(name), (std::map<QByteArray, QByteArray>()));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"payload.bin"});
}

void tst_Convert::realFileSystems_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("megabytes");
    QTest::newRow("tmpfs") << "tmpfs" << 16;
    QTest::newRow("ext4") << "ext4" << 16;
    QTest::newRow("xfs") << "xfs" << 320;
    QTest::newRow("btrfs") << "btrfs" << 128;
    QTest::newRow("exFAT through FUSE") << "exfat-fuse" << 16;
    QTest::newRow("FAT through FUSE") << "vfat-fuse" << 16;
    QTest::newRow("NTFS through FUSE") << "ntfs-3g" << 16;
}

// On each file system a desktop user mounts, a new file is written, an old
// one replaced, a taken name refused, and nothing is left behind.
void tst_Convert::realFileSystems() {
    QFETCH(QString, type);
    QFETCH(int, megabytes);
    TestFiles::LoopDisk disk(Path("disk"), type, megabytes);
    if (!disk.ok())
        QSKIP(qPrintable(disk.why()));
    const QString out = disk.path();
    const QByteArray first = RandomBytes(4 * 16384, 31);
    const QByteArray second = RandomBytes(4 * 16384, 32);
    QVERIFY(WriteFile(Path("first.bin"), first));
    QVERIFY(WriteFile(Path("second.bin"), second));
    QCOMPARE(
        ConvertFileReport(Path("first.bin"), out + "/game.md", BINtoMD, SafeFile::Existing::Keep)
            .code,
        EngineError::Code::None);
    QCOMPARE(ReadFile(out + "/game.md"), ModelMd(first));
    QCOMPARE(
        ConvertFileReport(Path("second.bin"), out + "/game.md", BINtoMD, SafeFile::Existing::Keep)
            .code,
        EngineError::Code::DestinationExists);
    QCOMPARE(ReadFile(out + "/game.md"), ModelMd(first));
    QCOMPARE(ConvertFileReport(Path("second.bin"), out + "/game.md", BINtoMD,
                               SafeFile::Existing::Replace)
                 .code,
             EngineError::Code::None);
    QCOMPARE(ReadFile(out + "/game.md"), ModelMd(second));
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"game.md"});
}

void tst_Convert::longDestinationName_data() {
    QTest::addColumn<bool>("namedTemporary");
    QTest::newRow("unnamed") << false;
    QTest::newRow("named temporary") << true;
}

void tst_Convert::longDestinationName() {
    QFETCH(bool, namedTemporary);
    WriterFaults::Set(namedTemporary ? SafeFile::NoTmpfile : 0u);
    const QString name = QString(252, 'x') + ".md"; // 255 bytes, the longest name
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(16384, 5)));
    QCOMPARE(ConvertFileReport(Path("a.bin"), Path(name), BINtoMD).code, EngineError::Code::None);
    QVERIFY(WriteFile(Path("b.bin"), RandomBytes(16384, 6)));
    QCOMPARE(ConvertFileReport(Path("b.bin"), Path(name), BINtoMD).code, EngineError::Code::None);
    QCOMPARE(ReadFile(Path(name)), ModelMd(RandomBytes(16384, 6)));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void tst_Convert::powerCut_data() {
    TestFiles::PowerCutRows();
}

// The window converts file by file and reports each one as soon as it is
// converted: by then the file and its name are on disk. A copy of the disk
// as the device holds it, taken with nothing flushed, is mounted as after a
// restart and holds every file whole, and no temporary file.
void tst_Convert::powerCut() {
    QFETCH(QString, type);
    QFETCH(int, megabytes);
    QFETCH(bool, replace);
    QFETCH(bool, namedTemporary);
    TestFiles::LoopDisk disk(Path("disk"), type, megabytes);
    if (!disk.ok())
        QSKIP(qPrintable(disk.why()));
    WriterFaults::Set(namedTemporary ? SafeFile::NoTmpfile : 0u);
    QStringList names;
    QList<QByteArray> images;
    for (int i = 0; i < 3; ++i) {
        names.append(QString("game%1.md").arg(i));
        images.append(RandomBytes((i + 1) * 256 * 1024, quint32(40 + i)));
        QVERIFY(WriteFile(Path(QString("game%1.bin").arg(i)), images.last()));
        if (replace)
            QVERIFY(WriteFile(disk.path() + "/" + names.last(), "the old image"));
    }
    if (replace)
        QCOMPARE(QProcess::execute("sync", {"-f", disk.path()}), 0);
    for (int i = 0; i < names.size(); ++i)
        QVERIFY(Mod_File::ConvertFile(Path(QString("game%1.bin").arg(i)),
                                      disk.path() + "/" + names[i], BINtoMD));

    const QString copy = disk.CopyAfterPowerCut();
    QVERIFY2(!copy.isEmpty(), "the copy of the disk cannot be mounted");
    QCOMPARE(QDir(copy).entryList(QDir::Files | QDir::Hidden), names);
    for (int i = 0; i < names.size(); ++i)
        QVERIFY2(ReadFile(copy + "/" + names[i]) == ModelMd(images[i]), qPrintable(names[i]));
}

void tst_Convert::tooLarge() {
    // A sparse file: refused by its size before any memory is taken.
    QFile file(Path("huge.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(Mod_Convert::MaxImageSize + 16384));
    file.close();
    QCOMPARE(ConvertFileReport(Path("huge.bin"), Path("huge.smd"), BINtoSMD).code,
             EngineError::Code::ImageTooLarge);
    QVERIFY(!QFileInfo::exists(Path("huge.smd")));

    // The limit is on the image: the largest SMD image bin2smd can write,
    // header included, is taken on (and then fails only at the missing folder).
    QFile smd(Path("largest.smd"));
    QVERIFY(smd.open(QIODevice::WriteOnly));
    QVERIFY(smd.resize(Mod_Convert::MaxImageSize + 512));
    smd.close();
    QCOMPARE(ConvertFileReport(Path("largest.smd"), Path("none/largest.bin"), SMDtoBIN).code,
             EngineError::Code::WriteFailed);
}

void tst_Convert::describeResult() {
    const auto text = [this](int size, std::int32_t mode) {
        WriteFile(Path("w.img"), QByteArray(size, 'w'));
        return ConvertFileReport(Path("w.img"), Path("w.out"), mode).Text();
    };
    QVERIFY(text(511, SMDtoBIN).contains("512"));
    QVERIFY(text(16385, BINtoMD).contains("16384"));
    QVERIFY(text(0, BINtoMD).contains("empty"));
}

QTEST_APPLESS_MAIN(tst_Convert)
#include "tst_convert.moc"
