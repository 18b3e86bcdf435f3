#include "RomImages.h"
#include "RomInspector.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

using RomInspector::Certainty;
using TestFiles::RandomBytes;
using TestFiles::ReadFile;
using TestFiles::WriteFile;

Q_DECLARE_METATYPE(RomLayout)
Q_DECLARE_METATYPE(RomInspector::Certainty)

class tst_RomInspector : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void detects_data();
    void detects();
    void diagnoses_data();
    void diagnoses();
    void headerFields_data();
    void headerFields();
    void machines_data();
    void machines();
    void randomInput();

private:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // The plain image converted by the engine into a layout, as a file.
    QString Derived(const QString& name, RomLayout layout, const QByteArray& plain);

    QTemporaryDir dir_;
    QByteArray plain_;
};

void tst_RomInspector::initTestCase() {
    QVERIFY(dir_.isValid());
    plain_ = RomImages::CartridgeImage(4 * 16384, 7);
}

QString tst_RomInspector::Derived(const QString& name, RomLayout layout, const QByteArray& plain) {
    WriteFile(Path(name), RomImages::InLayout(plain, layout));
    return Path(name);
}

void tst_RomInspector::detects_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<RomLayout>("layout");
    QTest::addColumn<Certainty>("certainty");
    QTest::addColumn<QString>("reason");
    // The SHA-1 the report must give; empty when the file could not be inspected.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    // Literal checksum, CRC32, MD5 and SHA-1 the report must show, and the
    // SHA-1 of the file itself; empty where the row has none.
    QTest::addColumn<QStringList>("literal");

    const RomLayout layouts[] = {RomLayout::Plain, RomLayout::Smd, RomLayout::Md,
                                 RomLayout::Byteswapped};
    for (const RomImages::Expected& e : RomImages::Known) {
        const QByteArray plain =
            e.size == plain_.size() ? plain_ : RomImages::CartridgeImage(e.size, e.seed);
        for (int l = 0; l < 4; ++l) {
            // A 512-byte image is too small for an SMD or MD file.
            if (e.size == 512 && (l == 1 || l == 2))
                continue;
            const QString name = LayoutName(layouts[l]);
            QTest::addRow("%s, %lld bytes", qPrintable(name), qlonglong(e.size))
                << Derived(QString("%1-%2").arg(name).arg(e.size), layouts[l], plain) << layouts[l]
                << Certainty::Certain << "the header checksum 0x" << plain << QString()
                << QStringList{e.values[0], e.values[1], e.values[2], e.values[3], e.values[4 + l]};
        }
    }
    const QByteArray wrong = RomImages::CartridgeImage(4 * 16384, 8, false);
    for (RomLayout layout :
         {RomLayout::Plain, RomLayout::Smd, RomLayout::Md, RomLayout::Byteswapped}) {
        const QString name = LayoutName(layout);
        QTest::addRow("%s, wrong checksum", qPrintable(name))
            << Derived(name + "-wrong", layout, wrong) << layout << Certainty::Likely
            << "differs from the computed" << wrong << QString() << QStringList();
    }
    // "SEGA" need not stand first: " SEGA GENESIS" is a real cartridge's text.
    QByteArray genesis = plain_;
    RomImages::PutText(genesis, 0x100, " SEGA GENESIS", 16);
    QTest::newRow("\" SEGA GENESIS\"")
        << Derived("genesis.md", RomLayout::Md, genesis) << RomLayout::Md << Certainty::Certain
        << "matches when read as an MD image" << genesis << QString() << QStringList();
    // "SEGA" in the header under two layouts: the one whose checksum matches wins.
    QByteArray twice = plain_;
    const qsizetype half = twice.size() / 2;
    for (int k = 0; k < 2; ++k) {
        twice[half + 0x80 + k] = "SEGA"[2 * k];
        twice[0x80 + k] = "SEGA"[2 * k + 1];
    }
    qToBigEndian<quint16>(RomImages::HeaderChecksum(twice), twice.data() + 0x18E);
    QTest::newRow("\"SEGA\" under two layouts")
        << Derived("twice.bin", RomLayout::Plain, twice) << RomLayout::Plain << Certainty::Certain
        << "\"SEGA\" in the header when read as an MD image" << twice << QString() << QStringList();
    // An odd size, not a whole number of blocks: still recognised.
    const QByteArray odd = RomImages::PlainImage(1000, 9);
    QTest::newRow("plain of 1000 bytes")
        << Derived("small", RomLayout::Plain, odd) << RomLayout::Plain << Certainty::Certain
        << "matches" << odd << QString() << QStringList();
    QTest::newRow("plain image named .md")
        << Derived("named.md", RomLayout::Plain, plain_) << RomLayout::Plain << Certainty::Certain
        << "plain image" << plain_ << QString() << QStringList();

    QByteArray smd = RomImages::Smd(plain_);
    smd.replace(0, 512, RandomBytes(512, 3));
    WriteFile(Path("junk.smd"), smd);
    QTest::newRow("SMD with a junk header")
        << Path("junk.smd") << RomLayout::Smd << Certainty::Certain << "SMD image" << plain_
        << QString() << QStringList();

    QByteArray copier = RandomBytes(512 + 2 * 16384, 4);
    copier[2] = 0x40;
    copier[8] = char(0xAA);
    copier[9] = char(0xBB);
    WriteFile(Path("copier.smd"), copier);
    // The plain content of an SMD file: each block's even bytes come second.
    QByteArray copierPlain(2 * 16384, '\0');
    for (qsizetype b = 0; b < 2; ++b)
        for (qsizetype k = 0; k < 8192; ++k) {
            copierPlain[b * 16384 + 2 * k + 1] = copier[512 + b * 16384 + k];
            copierPlain[b * 16384 + 2 * k] = copier[512 + b * 16384 + 8192 + k];
        }
    QTest::newRow("only an SMD copier header")
        << Path("copier.smd") << RomLayout::Smd << Certainty::Likely << "split flag" << copierPlain
        << QString() << QStringList();

    const QByteArray random = RandomBytes(3 * 16384, 5);
    WriteFile(Path("random.bin"), random);
    QTest::newRow("random data") << Path("random.bin") << RomLayout::Unknown << Certainty::Unknown
                                 << "no \"SEGA\"" << random << QString() << QStringList();
    WriteFile(Path("tiny.bin"), "abc");
    QTest::newRow("tiny") << Path("tiny.bin") << RomLayout::Unknown << Certainty::Unknown
                          << "too small" << QByteArray("abc") << QString() << QStringList();
    WriteFile(Path("header.smd"), copier.left(512));
    QTest::newRow("header-only SMD")
        << Path("header.smd") << RomLayout::Unknown << Certainty::Unknown << "no image data"
        << copier.left(512) << QString() << QStringList();
    const QByteArray truncated = RomImages::Smd(plain_).left(512 + 3 * 16384 + 100);
    WriteFile(Path("truncated.smd"), truncated);
    QTest::newRow("truncated SMD")
        << Path("truncated.smd") << RomLayout::Unknown << Certainty::Unknown
        << "100 bytes past whole 16 KiB blocks" << truncated << QString() << QStringList();

    WriteFile(Path("empty.bin"), QByteArray());
    QTest::newRow("empty") << Path("empty.bin") << RomLayout::Unknown << Certainty::Unknown
                           << QString() << QByteArray() << "the file is empty" << QStringList();
#ifndef _WIN32
    ::mkfifo(QFile::encodeName(Path("fifo.bin")).constData(), 0600);
    QTest::newRow("fifo") << Path("fifo.bin") << RomLayout::Unknown << Certainty::Unknown
                          << QString() << QByteArray() << "not a regular file" << QStringList();
#endif
    QTest::newRow("missing") << Path("missing.bin") << RomLayout::Unknown << Certainty::Unknown
                             << QString() << QByteArray() << "does not exist" << QStringList();
}

void tst_RomInspector::detects() {
    QFETCH(QString, path);
    QFETCH(RomLayout, layout);
    QFETCH(Certainty, certainty);
    QFETCH(QString, reason);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(QStringList, literal);

    const RomInspector::Report report = RomInspector::Inspect(path);
    QCOMPARE(report.error.Text().contains(error), true);
    QCOMPARE(report.Inspected(), error.isEmpty());
    QCOMPARE(report.layout, layout);
    QCOMPARE(report.certainty, certainty);
    QVERIFY2(report.reasons.join('\n').contains(reason), qPrintable(report.reasons.join('\n')));
    if (!report.Inspected())
        return;
    QCOMPARE(report.sha1, QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
    QCOMPARE(report.md5, QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    // Only a header that is there is shown.
    const bool header =
        report.layout != RomLayout::Unknown && content.mid(0x100, 16).contains("SEGA");
    QCOMPARE(report.header.computedChecksum, header ? RomImages::HeaderChecksum(content) : 0);
    QCOMPARE(report.header.system.isEmpty(), !header);
    if (certainty == Certainty::Certain) {
        QCOMPARE(report.header.system, QString::fromLatin1(content.mid(0x100, 16)).trimmed());
        QCOMPARE(report.header.titleOverseas, QString("KESTRIX ?TEST CART"));
        QCOMPARE(report.header.serial, QString("GM 00001234-00"));
        QCOMPARE(report.header.region, QString("JUE"));
        QCOMPARE(qint64(report.header.romEnd), content.size() - 1);
        QVERIFY(report.ChecksumOk());
    }
    if (!literal.isEmpty()) {
        QCOMPARE(QCryptographicHash::hash(ReadFile(path), QCryptographicHash::Sha1).toHex(),
                 literal[4].toLatin1());
        QCOMPARE(RomInspector::Hex(report.header.computedChecksum), literal[0]);
        QCOMPARE(RomInspector::Hex(report.header.storedChecksum), literal[0]);
        QCOMPARE(report.crc32, literal[1]);
        QCOMPARE(report.md5, literal[2]);
        QCOMPARE(report.sha1, literal[3]);
    }
    QCOMPARE(
        RomInspector::PlainSha1(path, layout == RomLayout::Unknown ? RomLayout::Plain : layout).hex,
        report.sha1);
}

namespace {

RomInspector::Report InspectBytes(const QByteArray& data) {
    return RomInspector::InspectData(
        [&data](std::int64_t offset, void* into, std::int64_t bytes) {
            if (offset < 0 || bytes < 0 || offset + bytes > data.size())
                return false;
            std::memcpy(into, data.constData() + offset, std::size_t(bytes));
            return true;
        },
        data.size());
}

QByteArray Repeated(const QByteArray& bytes, int times) {
    QByteArray out;
    for (int i = 0; i < times; ++i)
        out += bytes;
    return out;
}

} // namespace

void tst_RomInspector::diagnoses_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<RomLayout>("layout");
    QTest::addColumn<RomLayout>("seen");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("dump");
    // -1: no checksum over the declared range; else whether it matches.
    QTest::addColumn<int>("declaredOk");
    QTest::addColumn<qint64>("plainSize");
    using RomImages::CartridgeImage;
    const QByteArray k128 = CartridgeImage(128 * 1024, 21);
    const QByteArray m2 = CartridgeImage(2 * 1024 * 1024, 22);
    for (int size : {513, 16385, 123457})
        QTest::addRow("plain of %d bytes", size)
            << CartridgeImage(size, 23) << RomLayout::Unknown << RomLayout::Plain
            << QString("when read as a plain image, but the size %1 is odd").arg(size) << "unknown"
            << -1 << qint64(size);
    QTest::newRow("plain of 2 MiB + 1")
        << CartridgeImage(2 * 1024 * 1024 + 1, 24) << RomLayout::Unknown << RomLayout::Plain
        << "the size 2097153 is odd"
        << "unknown" << -1 << qint64(2097153);
    for (int cut : {1, 513, 32767})
        QTest::addRow("plain cut by %d", cut)
            << m2.left(m2.size() - cut) << RomLayout::Unknown << RomLayout::Plain << "is odd"
            << "truncated" << -1 << qint64(m2.size() - cut);
    QTest::newRow("plain cut by 2") << m2.left(m2.size() - 2) << RomLayout::Plain
                                    << RomLayout::Unknown << "differs from the computed"
                                    << "truncated" << -1 << qint64(m2.size() - 2);
    QTest::newRow("MD of 24 KiB")
        << RomImages::Md(CartridgeImage(24 * 1024, 25)) << RomLayout::Unknown << RomLayout::Md
        << "when read as an MD image, but the size 24576 is not a whole number of 16 KiB blocks"
        << "unknown" << -1 << qint64(24 * 1024);
    for (int cut : {1, 100, 16384 - 1})
        QTest::addRow("SMD cut by %d", cut)
            << RomImages::Smd(k128).chopped(cut) << RomLayout::Unknown << RomLayout::Smd
            << (cut > 8192 ? QString("an SMD image whose size is 1 byte past whole 16 KiB blocks")
                           : QString("an SMD image whose size is %1 short of whole 16 KiB blocks")
                                 .arg(cut == 1 ? QString("1 byte") : QString("%1 bytes").arg(cut)))
            << "truncated" << -1 << qint64(k128.size() - cut);
    QTest::newRow("SMD with 2 bytes added")
        << RomImages::Smd(k128) + QByteArray(2, '\0') << RomLayout::Unknown << RomLayout::Smd
        << "an SMD image whose size is 2 bytes past whole 16 KiB blocks"
        << "truncated" << -1 << qint64(k128.size() + 2);
    // 128 KiB declared, 16 KiB of 0xFF after it.
    QTest::newRow("padded") << k128 + QByteArray(16384, char(0xFF)) << RomLayout::Plain
                            << RomLayout::Unknown << "differs from the computed"
                            << "padded" << 1 << qint64(147456);
    QTest::newRow("padded SMD") << RomImages::Smd(k128 + QByteArray(16384, char(0xFF)))
                                << RomLayout::Smd << RomLayout::Unknown << "copier header"
                                << "padded" << 1 << qint64(147456);
    QTest::newRow("mirrored") << Repeated(k128, 4) << RomLayout::Plain << RomLayout::Unknown
                              << "differs from the computed"
                              << "mirrored" << 1 << qint64(4 * k128.size());
    QByteArray notMirrored = Repeated(k128, 2);
    notMirrored[k128.size() + 5000] = char(notMirrored[k128.size() + 5000] ^ 1);
    QTest::newRow("longer, neither padded nor mirrored: an overdump")
        << notMirrored << RomLayout::Plain << RomLayout::Unknown << "differs"
        << "overdump" << 1 << qint64(notMirrored.size());
    QTest::newRow("complete") << k128 << RomLayout::Plain << RomLayout::Unknown << "matches"
                              << "complete" << -1 << qint64(k128.size());
    QTest::newRow("complete SMD") << RomImages::Smd(m2) << RomLayout::Smd << RomLayout::Unknown
                                  << "matches"
                                  << "complete" << -1 << qint64(m2.size());
    // Two cartridges, each with its own header and checksum: no overdump.
    const QByteArray second = CartridgeImage(1024 * 1024, 26);
    QTest::newRow("lock-on") << m2 + second << RomLayout::Plain << RomLayout::Unknown
                             << "differs from the computed"
                             << "lock-on" << 1 << qint64(m2.size() + second.size());
    QTest::newRow("lock-on as an MD file")
        << RomImages::Md(m2 + second) << RomLayout::Md << RomLayout::Unknown << "differs"
        << "lock-on" << 1 << qint64(m2.size() + second.size());
    QByteArray headless = second;
    headless.replace(0x100, 4, "ABCD");
    QTest::newRow("2 MiB and more without a second header: an overdump")
        << m2 + headless << RomLayout::Plain << RomLayout::Unknown << "differs"
        << "overdump" << 1 << qint64(m2.size() + second.size());
}

// A dump is diagnosed as an expert would: the layout its content shows even
// when the size breaks the layout's rule, and what the size says against
// the header's ROM end.
void tst_RomInspector::diagnoses() {
    QFETCH(QByteArray, file);
    QFETCH(RomLayout, layout);
    QFETCH(RomLayout, seen);
    QFETCH(QString, reason);
    QFETCH(QString, dump);
    QFETCH(int, declaredOk);
    QFETCH(qint64, plainSize);
    const RomInspector::Report report = InspectBytes(file);
    QVERIFY(report.Inspected());
    QCOMPARE(report.layout, layout);
    QCOMPARE(report.seen, seen);
    QVERIFY2(report.reasons.join('\n').contains(reason), qPrintable(report.reasons.join('\n')));
    QVERIFY(!report.reasons.join('\n').contains("no \"SEGA\""));
    QCOMPARE(RomInspector::DumpName(report.dump), dump);
    QCOMPARE(report.declaredRange ? int(report.DeclaredRangeOk()) : -1, declaredOk);
    QCOMPARE(report.plainSize, plainSize);
    // No header fields and no checksum verdict without a known layout.
    QCOMPARE(report.header.system.isEmpty(), layout == RomLayout::Unknown);
    // The part locked on has its own size and checksum (right here).
    QCOMPARE(report.lockOnSize, dump == "lock-on" ? plainSize - 2 * 1024 * 1024 : 0);
    if (dump == "lock-on")
        QCOMPARE(report.lockOnStored, report.lockOnComputed);
}

// What the system field names, and a file with no header at all: nothing
// read as one, no dump verdict drawn from it.
void tst_RomInspector::machines_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("machine"); // empty: no header
    QTest::addColumn<bool>("ssf");
    const QByteArray cart = RomImages::CartridgeImage(256 * 1024, 27);
    auto named = [&cart](const char* system) {
        QByteArray image = cart;
        RomImages::PutText(image, 0x100, system, 16);
        return image;
    };
    QTest::newRow("Mega Drive") << named("SEGA MEGA DRIVE") << "megadrive" << false;
    QTest::newRow("Genesis") << named("SEGA GENESIS") << "megadrive" << false;
    QTest::newRow("32X") << named("SEGA 32X") << "32x" << false;
    QTest::newRow("Pico") << named("SEGA PICO") << "pico" << false;
    QTest::newRow("SSF mapper") << named("SEGA SSF") << "megadrive" << true;
    QTest::newRow("another SEGA") << named("SEGA TERADRIVE") << "unknown" << false;
    QTest::newRow("32X as SMD") << RomImages::Smd(named("SEGA 32X")) << "32x" << false;
    QTest::newRow("no header") << TestFiles::RandomBytes(1024 * 1024, 28) << "" << false;
    QTest::newRow("no header, SMD")
        << RomImages::Smd(TestFiles::RandomBytes(1024 * 1024, 28)) << "" << false;
}

void tst_RomInspector::machines() {
    QFETCH(QByteArray, file);
    QFETCH(QString, machine);
    QFETCH(bool, ssf);
    const RomInspector::Report report = InspectBytes(file);
    QVERIFY(report.Inspected());
    QCOMPARE(report.noHeader, machine.isEmpty());
    if (machine.isEmpty()) {
        QCOMPARE(report.header.system, QString());
        QCOMPARE(report.header.romEnd, 0u);
        QCOMPARE(report.dump, RomInspector::Dump::Unknown);
        return;
    }
    QCOMPARE(RomInspector::MachineName(report.header.machine), machine);
    QCOMPARE(report.header.ssf, ssf);
}

void tst_RomInspector::headerFields_data() {
    QTest::addColumn<QByteArray>("region");
    QTest::addColumn<QStringList>("regions");
    QTest::addColumn<QByteArray>("ram"); // 12 bytes at 0x1B0, or none
    QTest::addColumn<QString>("ramKind");
    QTest::newRow("old letters") << QByteArray("JUE") << QStringList{"Japan", "Americas", "Europe"}
                                 << QByteArray() << QString();
    QTest::newRow("Europe alone") << QByteArray("E  ") << QStringList{"Europe"} << QByteArray()
                                  << QString();
    QTest::newRow("new style, all")
        << QByteArray("F  ") << QStringList{"Japan", "Asia", "Americas", "Europe"} << QByteArray()
        << QString();
    QTest::newRow("new style, Americas")
        << QByteArray("4  ") << QStringList{"Americas"} << QByteArray() << QString();
    QTest::newRow("battery-backed save RAM, odd bytes")
        << QByteArray("U  ") << QStringList{"Americas"}
        << QByteArray("RA\xF8\x20\x00\x20\x00\x01\x00\x20\x3F\xFF", 12)
        << "battery-backed, odd bytes";
    QTest::newRow("RAM, 16-bit") << QByteArray("J  ") << QStringList{"Japan"}
                                 << QByteArray("RA\xA0\x20\x00\x20\x00\x01\x00\x20\x3F\xFF", 12)
                                 << "volatile, 16-bit";
}

// The whole header decoded: regions by name, the extra memory.
void tst_RomInspector::headerFields() {
    QFETCH(QByteArray, region);
    QFETCH(QStringList, regions);
    QFETCH(QByteArray, ram);
    QFETCH(QString, ramKind);
    QByteArray image = RomImages::CartridgeImage(4 * 16384, 26);
    image.replace(0x1F0, 3, region);
    if (!ram.isEmpty())
        image.replace(0x1B0, 12, ram);
    const RomInspector::Report report = InspectBytes(image);
    QCOMPARE(report.layout, RomLayout::Plain);
    QCOMPARE(report.header.regions, regions);
    QCOMPARE(report.header.ram, !ram.isEmpty());
    QCOMPARE(report.header.ramKind, ramKind);
    if (!ram.isEmpty()) {
        QCOMPARE(report.header.ramStart, 0x200001u);
        QCOMPARE(report.header.ramEnd, 0x203FFFu);
    }
}

// Arbitrary bytes, and valid images with bytes changed, never crash the
// inspector or make it read outside the data; the answers stay consistent.
void tst_RomInspector::randomInput() {
    QRandomGenerator generator(2026);
    const QByteArray smd = RomImages::Smd(plain_);
    for (int round = 0; round < 1500; ++round) {
        QByteArray data;
        switch (round % 3) {
        case 0:
            data = RandomBytes(generator.bounded(3 * 16384 + 600), generator.generate());
            break;
        case 1:
            data = round % 2 ? plain_ : smd;
            for (int i = generator.bounded(8); i >= 0; --i)
                data[generator.bounded(int(data.size()))] = char(generator.bounded(256));
            break;
        default:
            data = smd.left(generator.bounded(int(smd.size()) + 1));
            break;
        }
        const RomInspector::ReadAt read = [&data](std::int64_t offset, void* into,
                                                  std::int64_t bytes) {
            if (offset < 0 || bytes < 0 || offset + bytes > data.size())
                return false;
            std::memcpy(into, data.constData() + offset, std::size_t(bytes));
            return true;
        };
        const RomInspector::Report report = RomInspector::InspectData(read, data.size());
        QCOMPARE(report.Inspected(), !data.isEmpty());
        QCOMPARE(report.layout == RomLayout::Unknown, report.certainty == Certainty::Unknown);
        if (report.Inspected())
            QCOMPARE(report.sha1.size(), 40);
    }
}

QTEST_APPLESS_MAIN(tst_RomInspector)
#include "tst_rominspector.moc"
