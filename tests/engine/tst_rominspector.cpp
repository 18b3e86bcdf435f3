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
        << Path("truncated.smd") << RomLayout::Unknown << Certainty::Unknown << "no \"SEGA\""
        << truncated << QString() << QStringList();

    WriteFile(Path("empty.bin"), QByteArray());
    ::mkfifo(QFile::encodeName(Path("fifo.bin")).constData(), 0600);
    QTest::newRow("empty") << Path("empty.bin") << RomLayout::Unknown << Certainty::Unknown
                           << QString() << QByteArray() << "the file is empty" << QStringList();
    QTest::newRow("fifo") << Path("fifo.bin") << RomLayout::Unknown << Certainty::Unknown
                          << QString() << QByteArray() << "not a regular file" << QStringList();
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
    QCOMPARE(report.error.contains(error), true);
    QCOMPARE(report.Inspected(), error.isEmpty());
    QCOMPARE(report.layout, layout);
    QCOMPARE(report.certainty, certainty);
    QVERIFY2(report.reasons.join('\n').contains(reason), qPrintable(report.reasons.join('\n')));
    if (!report.Inspected())
        return;
    QCOMPARE(report.sha1, QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
    QCOMPARE(report.md5, QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    QCOMPARE(report.header.computedChecksum, RomImages::HeaderChecksum(content));
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
        RomInspector::PlainSha1(path, layout == RomLayout::Unknown ? RomLayout::Plain : layout),
        report.sha1);
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
