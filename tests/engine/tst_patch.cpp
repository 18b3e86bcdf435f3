// Patches: each format read and applied to the bytes it names, hostile
// patches refused, and a patching job's decisions: which bytes a patch goes
// to, the base and the result checked, the checksum mended, what is named.

#include "ConversionJob.h"
#include "Patch.h"
#include "PatchMaker.h"
#include "PatchWriters.h"
#include "RomImages.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using TestFiles::ReadFile;
using TestFiles::WriteFile;

Q_DECLARE_METATYPE(Patch::Kind)
Q_DECLARE_METATYPE(RomLayout)
Q_DECLARE_METATYPE(FileOutcome)

namespace {

constexpr qsizetype MiB = 1 << 20;

QByteArray MakePatch(Patch::Kind kind, const QByteArray& source, const QByteArray& target) {
    switch (kind) {
    case Patch::Kind::Ips:
        return PatchWriters::Ips(source, target);
    case Patch::Kind::Bps:
        return PatchWriters::Bps(source, target);
    case Patch::Kind::Ups:
        return PatchWriters::Ups(source, target);
    case Patch::Kind::Vcdiff:
        return PatchWriters::Xdelta(source, target, QStringLiteral("lzma"));
    }
    return QByteArray();
}

// What a hack does to an image: a new title, code changed in places, a
// block taken from elsewhere, a new block twice, a run of one byte; grown
// or cut by some blocks, its header's ROM end following. Its checksum is
// left as it was, so wrong.
QByteArray Hacked(const QByteArray& plain, qsizetype resize = 0) {
    QByteArray t = plain;
    RomImages::PutText(t, 0x150, "KESTRIX PATCHED CART", 48);
    for (int k = 0; k < 16; ++k)
        t[0x4000 + k * 0x3001] = char(t[0x4000 + k * 0x3001] ^ 0x5A);
    t.replace(0x20000, 4096, plain.mid(0x60000, 4096));
    const QByteArray fresh = TestFiles::RandomBytes(2048, 99);
    t.replace(0x40000, 2048, fresh);
    t.replace(0x48000, 2048, fresh);
    t.replace(0x50000, 300, QByteArray(300, '\xFF'));
    if (resize > 0)
        t += TestFiles::RandomBytes(resize, 7);
    else if (resize < 0)
        t.chop(-resize);
    qToBigEndian<quint32>(quint32(t.size() - 1), t.data() + 0x1A4);
    return t;
}

// The image with the checksum the boot check computes, by the test's own sum.
QByteArray Mended(QByteArray image) {
    qToBigEndian<quint16>(RomImages::HeaderChecksum(image), image.data() + 0x18E);
    return image;
}

QString Hex(quint32 value, int digits) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, '0');
}

class Collect : public JobObserver {
public:
    std::vector<FileReport> reports;
    void Done(const FileReport& report) override { reports.push_back(report); }
};

QString Words(const FileReport& report) {
    QStringList words;
    for (const JobNotice& notice : report.notices)
        words << notice.error.Text() + notice.text;
    return words.join(QLatin1Char('|'));
}

} // namespace

class TestPatch : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void cleanup() {
        for (const char* sub : {"in", "p", "out"})
            QDir(dir_.filePath(QLatin1String(sub))).removeRecursively();
    }

    void apply_data();
    void apply();
    void hostile_data();
    void hostile();
    void vcdiffRefused_data();
    void vcdiffRefused();
    void made_data();
    void made();
    void bases_data();
    void bases();
    void ipsForAnotherLayout_data();
    void ipsForAnotherLayout();
    void checks_data();
    void checks();

private:
    QString Put(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        return WriteFile(path, bytes) ? path : QString();
    }
    // One patching job over the sources into out/.
    std::vector<FileReport> Run(const QStringList& patches, const QStringList& sources,
                                JobRequest r = {}) {
        loaded_.clear();
        for (const QString& path : patches) {
            Patch::Loaded patch;
            const EngineError loaded = Patch::Load(path, &patch);
            if (loaded.Failed())
                qWarning() << loaded.Text();
            loaded_.push_back(std::move(patch));
        }
        QDir().mkpath(dir_.filePath("out"));
        r.task = JobTask::Patch;
        if (r.target == RomLayout::Plain)
            r.target = RomLayout::Unknown;
        r.folder = dir_.filePath("out");
        r.patches = &loaded_;
        Collect collect;
        ConversionJob job(r, collect);
        std::vector<JobSource> files;
        for (const QString& source : sources)
            files.push_back({source, QString(), false});
        job.Run(files);
        return collect.reports;
    }
    QStringList Outputs() const {
        return QDir(dir_.filePath("out")).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir dir_;
    std::vector<Patch::Loaded> loaded_;
};

// Each format, made by the test's own writer, read and applied to the
// image it was made for gives the target byte for byte; what the patch
// says of itself is what the writer put in.
void TestPatch::apply_data() {
    QTest::addColumn<Patch::Kind>("kind");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<qsizetype>("resize");
    for (const auto& [name, kind] :
         {std::pair{"IPS", Patch::Kind::Ips}, std::pair{"BPS", Patch::Kind::Bps},
          std::pair{"UPS", Patch::Kind::Ups}, std::pair{"xdelta3 VCDIFF", Patch::Kind::Vcdiff}}) {
        QTest::addRow("%s 1 MiB", name) << kind << MiB << qsizetype(0);
        QTest::addRow("%s 2 MiB grown by 64 KiB", name) << kind << 2 * MiB << qsizetype(65536);
        QTest::addRow("%s 4 MiB cut by 1 MiB", name) << kind << 4 * MiB << -MiB;
    }
}

void TestPatch::apply() {
    QFETCH(Patch::Kind, kind);
    QFETCH(qsizetype, size);
    QFETCH(qsizetype, resize);
    const QByteArray source = RomImages::PlainImage(size, 3);
    const QByteArray target = Hacked(source, resize);
    const QByteArray patch = MakePatch(kind, source, target);
    Patch::Description d;
    QCOMPARE(Patch::Describe(patch, &d), QString());
    QCOMPARE(d.kind, kind);
    QCOMPARE(d.TargetSize(source.size()), target.size());
    if (kind == Patch::Kind::Ips) {
        QCOMPARE(d.truncate, resize < 0 ? target.size() : -1);
        QVERIFY(d.runLength >= 1);
    } else if (kind == Patch::Kind::Vcdiff) {
        QVERIFY(d.windowChecksums);
        QCOMPARE(d.secondary, QStringLiteral("LZMA"));
    } else {
        QCOMPARE(d.sourceSize, source.size());
        QCOMPARE(d.sourceCrc, TestFiles::Crc32(source));
        QCOMPARE(d.targetCrc, TestFiles::Crc32(target));
    }
    if (kind == Patch::Kind::Bps)
        for (int action = 0; action < 4; ++action)
            QVERIFY2(d.actions[action] > 0, qPrintable(QString::number(action)));
    std::vector<std::uint8_t> made;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(source.constData());
    QVERIFY(!Patch::Apply(patch, d, RomInspector::MemoryReader(bytes, source.size()), source.size(),
                          &made)
                 .Failed());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(made.data()), qsizetype(made.size())),
             target);
}

// Patches that lie: each is refused with words that say what is wrong.
void TestPatch::hostile_data() {
    using PatchWriters::PutNumber;
    QTest::addColumn<QByteArray>("patch");
    QTest::addColumn<QString>("words");
    const QByteArray image = RomImages::PlainImage(64 * 1024, 5);
    // A patch of a kind: its fields after the magic, then CRC32s that hold
    // (of empty images, and its own).
    auto sealed = [](const char* magic, const QByteArray& fields) {
        QByteArray out(magic);
        out += fields;
        PatchWriters::PutCrcs(out, QByteArray(), QByteArray());
        return out;
    };
    // A BPS of a source into a target, its actions given.
    auto bps = [&](quint64 source, quint64 target, const QByteArray& actions) {
        QByteArray fields;
        PutNumber(fields, source);
        PutNumber(fields, target);
        PutNumber(fields, 0);
        return sealed("BPS1", fields + actions);
    };
    auto action = [](int kind, quint64 length, qint64 relative = 0, bool withOffset = false) {
        QByteArray out;
        PutNumber(out, (length - 1) << 2 | quint64(kind));
        if (withOffset)
            PutNumber(out, quint64(relative < 0 ? (-relative) << 1 | 1 : relative << 1));
        return out;
    };
    QTest::newRow("0 bytes") << QByteArray() << "the file is empty";
    QTest::newRow("no magic") << QByteArray("PATCX\0\0\0EOF", 11)
                              << "it is not an IPS, BPS, UPS or VCDIFF patch";
    const QByteArray vcdiff("\xD6\xC3\xC4\x00", 4);
    QTest::newRow("VCDIFF compressed with DJW")
        << PatchWriters::Xdelta(image, RomImages::PlainImage(64 * 1024, 6), "djw")
        << "compressed with DJW, which Kestrix does not read; make it again with xdelta3 -S none "
           "or -S lzma";
    QTest::newRow("VCDIFF compressed with FGK")
        << PatchWriters::Xdelta(image, RomImages::PlainImage(64 * 1024, 6), "fgk")
        << "compressed with FGK";
    QTest::newRow("VCDIFF cut short")
        << PatchWriters::Xdelta(image, RomImages::PlainImage(64 * 1024, 6)).left(40)
        << "the window at byte";
    QTest::newRow("VCDIFF of another version")
        << QByteArray("\xD6\xC3\xC4\x01\x00", 5) << "a VCDIFF of version 1";
    QTest::newRow("VCDIFF code table of its own")
        << vcdiff + QByteArray("\x02", 1) << "a code table of its own";
    // A window of 2 GiB: its length, 0x88 0x80 0x80 0x80 0x00.
    QTest::newRow("VCDIFF target of 2 GiB")
        << vcdiff + QByteArray("\x00\x00\x0A\x88\x80\x80\x80\x00\x00\x00\x00\x00", 12)
        << "makes a target larger than the largest image";
    QTest::newRow("VCDIFF number past 62 bits")
        << vcdiff + QByteArray("\x00\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 12)
        << "is cut short";
    QTest::newRow("IPS that never ends") << QByteArray("PATCH\x00\x10\x00\x00\x02\xAA\xBB", 12)
                                         << "it ends without its \"EOF\" record";
    QTest::newRow("IPS record cut short")
        << QByteArray("PATCH\x00\x10\x00\x00\x08\xAA\xBB", 12) << "a record at byte 5 is cut short";
    QTest::newRow("IPS record past 16 MiB") << QByteArray("PATCH\xFF\xFF\xFF\x00\x02\xAA\xBB"
                                                          "EOF",
                                                          15)
                                            << "a record at byte 5 reaches past 16 MiB";
    QTest::newRow("IPS run of 0 bytes") << QByteArray("PATCH\x00\x10\x00\x00\x00\x00\x00\xAA"
                                                      "EOF",
                                                      16)
                                        << "a record at byte 5 repeats a byte 0 times";
    QTest::newRow("IPS bytes after its end")
        << QByteArray("PATCHEOF\x01\x02", 10) << "2 bytes follow its \"EOF\" record";
    QTest::newRow("BPS too short")
        << QByteArray("BPS1\x80\x80\x80", 7) << "it ends before its CRC32s";
    {
        QByteArray damaged = PatchWriters::Bps(image, RomImages::PlainImage(64 * 1024, 6));
        damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 1);
        QTest::newRow("BPS damaged") << damaged << "the patch is damaged: its CRC32 is";
    }
    QTest::newRow("BPS number past 64 bits")
        << sealed("BPS1", QByteArray(11, '\0')) << "is a number larger than 64 bits";
    QTest::newRow("BPS target of 16 EiB")
        << bps(16, ~quint64(0), QByteArray()) << "larger than the largest image (1024 MiB)";
    QTest::newRow("BPS metadata past its end")
        << sealed("BPS1", "\x90\x90\x90") << "metadata of 16 bytes reach past";
    QTest::newRow("BPS read past the source")
        << bps(16, 32, action(0, 32)) << "reads past the source's 16 bytes";
    QTest::newRow("BPS copy before the source")
        << bps(16, 16, action(2, 4, -1, true)) << "copies from outside the source";
    QTest::newRow("BPS copy past the source")
        << bps(16, 16, action(2, 4, 14, true)) << "copies from outside the source";
    QTest::newRow("BPS copy of target not yet written")
        << bps(16, 16, action(0, 4) + action(3, 4, 4, true))
        << "copies from outside the target written so far";
    QTest::newRow("BPS write past the target")
        << bps(16, 16, action(0, 8) + action(1, 9) + QByteArray(9, 'x'))
        << "writes past the target's 16 bytes";
    QTest::newRow("BPS short of the target")
        << bps(16, 16, action(0, 8)) << "its actions make 8 bytes, not the target's 16";
    {
        QByteArray damaged = PatchWriters::Ups(image, RomImages::PlainImage(64 * 1024, 6));
        damaged[damaged.size() - 1] = char(damaged[damaged.size() - 1] ^ 0x80);
        QTest::newRow("UPS whose CRC32 is wrong") << damaged << "the patch is damaged";
    }
    auto ups = [&](quint64 source, quint64 target, const QByteArray& runs) {
        QByteArray fields;
        PutNumber(fields, source);
        PutNumber(fields, target);
        return sealed("UPS1", fields + runs);
    };
    QTest::newRow("UPS run past the target")
        << ups(16, 16, QByteArray("\x8F\x01\x01\x00", 4))
        << "changes bytes past the 16 bytes of the source and the target";
    {
        // A run that ends at the span, its zero past it, then one that
        // would wrap the offset round to before the image.
        QByteArray runs;
        PutNumber(runs, 15);
        runs += QByteArray("\x01\x00", 2);
        PutNumber(runs, ~quint64(0) - 17);
        runs += QByteArray("\x01\x00", 2);
        QTest::newRow("UPS run that wraps round")
            << ups(16, 16, runs) << "starts past the 16 bytes of the source and the target";
    }
    QTest::newRow("UPS run cut short")
        << ups(16, 16, QByteArray("\x80\x01\x01", 3)) << "the run at byte 6 is cut short";
    QTest::newRow("UPS source of 16 EiB")
        << ups(~quint64(0), 16, QByteArray()) << "larger than the largest image";
}

void TestPatch::hostile() {
    QFETCH(QByteArray, patch);
    QFETCH(QString, words);
    Patch::Description d;
    const QString why = Patch::Describe(patch, &d);
    QVERIFY2(why.contains(words), qPrintable(why));
}

// VCDIFF patches that read as patches but break when applied: each refused
// with its words, nothing made.
void TestPatch::vcdiffRefused_data() {
    QTest::addColumn<QByteArray>("patch");
    QTest::addColumn<qsizetype>("source");
    QTest::addColumn<QString>("words");
    const QByteArray image = RomImages::PlainImage(MiB, 5);
    QByteArray changed = image;
    changed.replace(0x1000, 26, "KESTRIX CHANGES 26 BYTES!!");
    QTest::newRow("a copy from past the source") << PatchWriters::Xdelta(image, changed) << MiB / 2
                                                 << "copies from past the source's 524288 bytes";
    // A window of 4 bytes whose one instruction adds 5.
    QTest::newRow("an instruction past its window")
        << QByteArray("\xD6\xC3\xC4\x00\x00\x00\x0B\x04\x00\x05\x01\x00"
                      "ABCDE\x06",
                      18)
        << MiB << "breaks its own instructions";
    // Its data section says 25 bytes where its stream makes 26: what
    // decompresses past what a section says is cut off and refused.
    QByteArray lies = PatchWriters::Xdelta(image, changed, "lzma");
    const qsizetype xz = lies.indexOf("\xFD"
                                      "7zXZ");
    if (xz > 0 && lies[xz - 1] == char(26))
        lies[xz - 1] = char(25);
    QTest::newRow("a compressed section that says less than it holds")
        << lies << MiB << "holds other than the 25 bytes it says";
    // 16 bytes of data, says the section, whose stream makes 100 MiB of
    // zeros (tests/data, made by Python's lzma): cut off past the 16.
    QTest::newRow("an LZMA bomb") << TestFiles::ReadFile(
                                         QFINDTESTDATA("../data/vcdiff-lzma-bomb.xdelta"))
                                  << MiB << "holds other than the 16 bytes it says";
}

void TestPatch::vcdiffRefused() {
    QFETCH(QByteArray, patch);
    QFETCH(qsizetype, source);
    QFETCH(QString, words);
    Patch::Description d;
    QCOMPARE(Patch::Describe(patch, &d), QString());
    const QByteArray image = RomImages::PlainImage(source, 5);
    std::vector<std::uint8_t> made;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    const EngineError applied = Patch::Apply(
        patch, d, RomInspector::MemoryReader(bytes, image.size()), image.size(), &made);
    QCOMPARE(applied.code, EngineError::Code::PatchDoesNotFit);
    QVERIFY2(applied.Text().contains(words), qPrintable(applied.Text()));
    QVERIFY(made.empty());
}

// Patches made of two images, each format: the patch gives back the
// modified image, and is as small as the edit; what a format cannot carry
// is refused.
void TestPatch::made_data() {
    QTest::addColumn<Patch::Kind>("kind");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<qsizetype>("most"); // bytes the patch may take; 0: refused
    const QByteArray one = RomImages::PlainImage(MiB, 31);
    QByteArray inserted = one;
    inserted.insert(256 * 1024, QByteArray("SIXTEEN BYTES IN"));
    inserted.chop(16);
    QByteArray large = RomImages::PlainImage(5 * MiB, 32);
    QByteArray atEof = large;
    atEof[0x454F46] = char(~atEof[0x454F46]);
    atEof[0x454F47] = char(~atEof[0x454F47]);
    const std::pair<const char*, Patch::Kind> kinds[] = {
        {"IPS", Patch::Kind::Ips}, {"BPS", Patch::Kind::Bps}, {"UPS", Patch::Kind::Ups}};
    for (const auto& [name, kind] : kinds) {
        QTest::addRow("%s of a hack", name) << kind << one << Hacked(one) << qsizetype(16384);
        QTest::addRow("%s of a hack grown by 64 KiB", name)
            << kind << RomImages::PlainImage(2 * MiB, 33)
            << Hacked(RomImages::PlainImage(2 * MiB, 33), 65536) << qsizetype(96 * 1024);
        // A UPS patch holds the bytes it drops, so that it undoes itself.
        QTest::addRow("%s of a hack cut by 1 MiB", name)
            << kind << RomImages::PlainImage(4 * MiB, 34)
            << Hacked(RomImages::PlainImage(4 * MiB, 34), -MiB)
            << qsizetype(kind == Patch::Kind::Ups ? MiB + 16384 : 16384);
        QTest::addRow("%s of the same image", name) << kind << one << one << qsizetype(64);
        QTest::addRow("%s of a change at the offset that reads EOF", name)
            << kind << large << atEof << qsizetype(64);
    }
    QTest::newRow("BPS of 16 bytes inserted at 256 KiB")
        << Patch::Kind::Bps << one << inserted << qsizetype(4096);
    QTest::newRow("BPS of an image grown past 16 MiB")
        << Patch::Kind::Bps << one << one + QByteArray(16 * MiB, '\x11') << qsizetype(1024);
    QTest::newRow("IPS of an image grown past 16 MiB")
        << Patch::Kind::Ips << one << one + QByteArray(16 * MiB, '\x11') << qsizetype(0);
}

void TestPatch::made() {
    QFETCH(Patch::Kind, kind);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, target);
    QFETCH(qsizetype, most);
    const PatchMaker::Images images{
        reinterpret_cast<const std::uint8_t*>(source.constData()), source.size(),
        reinterpret_cast<const std::uint8_t*>(target.constData()), target.size()};
    QByteArray patch;
    const EngineError made = PatchMaker::Make(kind, images, "made by a test", &patch);
    if (most == 0) {
        QVERIFY2(made.Text().contains(QStringLiteral("make a BPS patch")), qPrintable(made.Text()));
        return;
    }
    QVERIFY2(!made.Failed(), qPrintable(made.Text()));
    QVERIFY2(patch.size() <= most, qPrintable(QString::number(patch.size())));
    Patch::Description d;
    QCOMPARE(Patch::Describe(patch, &d), QString());
    QCOMPARE(d.kind, kind);
    std::vector<std::uint8_t> back;
    QVERIFY(!Patch::Apply(patch, d, RomInspector::MemoryReader(images.source, source.size()),
                          source.size(), &back)
                 .Failed());
    QVERIFY(QByteArray(reinterpret_cast<const char*>(back.data()), qsizetype(back.size())) ==
            target);
    if (kind == Patch::Kind::Bps)
        QCOMPARE(d.metadata, QByteArray("made by a test"));
}

// A patch made for the plain image, applied to it in each layout: the
// result in the source's layout (a byteswapped one as plain), named after
// the patch, with the checksum the test sums. A patch made for an SMD
// file's own bytes is applied to those.
void TestPatch::bases_data() {
    QTest::addColumn<Patch::Kind>("kind");
    QTest::addColumn<RomLayout>("layout");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("raw");         // made for the file's own bytes
    QTest::addColumn<RomLayout>("to");     // asked for; Plain: the default
    QTest::addColumn<RomLayout>("wanted"); // what the result is in
    const std::pair<const char*, RomLayout> layouts[] = {{"plain", RomLayout::Plain},
                                                         {"SMD", RomLayout::Smd},
                                                         {"MD", RomLayout::Md},
                                                         {"byteswapped", RomLayout::Byteswapped}};
    const std::pair<const char*, Patch::Kind> kinds[] = {{"IPS", Patch::Kind::Ips},
                                                         {"BPS", Patch::Kind::Bps},
                                                         {"UPS", Patch::Kind::Ups},
                                                         {"VCDIFF", Patch::Kind::Vcdiff}};
    int n = 0;
    for (const auto& [kindName, kind] : kinds)
        for (const auto& [layoutName, layout] : layouts) {
            const qsizetype size = (1 + n++ % 4) * MiB;
            const RomLayout wanted = layout == RomLayout::Byteswapped ? RomLayout::Plain : layout;
            QTest::addRow("%s on %s, %d MiB", kindName, layoutName, int(size / MiB))
                << kind << layout << size << false << RomLayout::Plain << wanted;
        }
    QTest::newRow("BPS made for the SMD file")
        << Patch::Kind::Bps << RomLayout::Smd << MiB << true << RomLayout::Plain << RomLayout::Smd;
    QTest::newRow("UPS made for the MD file, written as SMD")
        << Patch::Kind::Ups << RomLayout::Md << 2 * MiB << true << RomLayout::Smd << RomLayout::Smd;
    QTest::newRow("VCDIFF made for the MD file")
        << Patch::Kind::Vcdiff << RomLayout::Md << MiB << true << RomLayout::Plain << RomLayout::Md;
    QTest::newRow("IPS on SMD, written as MD")
        << Patch::Kind::Ips << RomLayout::Smd << MiB << false << RomLayout::Md << RomLayout::Md;
}

void TestPatch::bases() {
    QFETCH(Patch::Kind, kind);
    QFETCH(RomLayout, layout);
    QFETCH(qsizetype, size);
    QFETCH(bool, raw);
    QFETCH(RomLayout, to);
    QFETCH(RomLayout, wanted);
    const QByteArray plain = RomImages::PlainImage(size, quint32(size / MiB));
    const QByteArray target = Hacked(plain);
    const QByteArray file = RomImages::InLayout(plain, layout);
    const QByteArray patch = raw ? MakePatch(kind, file, RomImages::InLayout(target, layout))
                                 : MakePatch(kind, plain, target);
    const QString source = Put("in/game" + LayoutExtension(layout), file);
    const QString patchPath = Put("p/Game (Translation v1.2).xyz", patch);
    JobRequest r;
    r.target = to;
    const std::vector<FileReport> reports = Run({patchPath}, {source}, r);
    QCOMPARE(reports.size(), std::size_t(1));
    const FileReport& report = reports.front();
    QVERIFY2(report.outcome == FileOutcome::Converted, qPrintable(Words(report)));
    const QString name = "Game (Translation v1.2)" + LayoutExtension(wanted);
    QCOMPARE(Outputs(), QStringList{name});
    QCOMPARE(QFileInfo(report.destination).fileName(), name);
    QVERIFY(ReadFile(dir_.filePath("out/" + name)) == RomImages::InLayout(Mended(target), wanted));
    QVERIFY2(
        report.detail.contains(QStringLiteral("checksum %1, was %2")
                                   .arg(Hex(RomImages::HeaderChecksum(target), 4),
                                        Hex(qFromBigEndian<quint16>(target.data() + 0x18E), 4))),
        qPrintable(report.detail));
    if (kind == Patch::Kind::Bps || kind == Patch::Kind::Ups) {
        const QByteArray made = raw ? RomImages::InLayout(target, layout) : target;
        QVERIFY2(report.detail.contains(
                     QStringLiteral("target CRC32 %1 matches").arg(Hex(TestFiles::Crc32(made), 8))),
                 qPrintable(report.detail));
    }
    QCOMPARE(ReadFile(source), file);
}

// An IPS made between two SMD files (or MD, or byteswapped ones) of a hack
// whose checksum its maker mended, applied to the game in any layout: the
// same game as on the layout it was made for, byte for byte as plain
// content, and the line says so.
void TestPatch::ipsForAnotherLayout_data() {
    QTest::addColumn<RomLayout>("madeFor");
    QTest::addColumn<RomLayout>("image");
    const std::pair<const char*, RomLayout> layouts[] = {{"plain", RomLayout::Plain},
                                                         {"SMD", RomLayout::Smd},
                                                         {"MD", RomLayout::Md},
                                                         {"byteswapped", RomLayout::Byteswapped}};
    for (const auto& [madeName, made] : layouts)
        for (const auto& [imageName, image] : layouts)
            if (made != RomLayout::Plain &&
                (image == RomLayout::Plain || image == made || made == RomLayout::Smd))
                QTest::addRow("made for %s, on %s", madeName, imageName) << made << image;
}

void TestPatch::ipsForAnotherLayout() {
    QFETCH(RomLayout, madeFor);
    QFETCH(RomLayout, image);
    const QByteArray plain = RomImages::PlainImage(MiB, 41);
    const QByteArray target = Mended(Hacked(plain));
    const QString source =
        Put("in/game" + LayoutExtension(image), RomImages::InLayout(plain, image));
    const QString patch =
        Put("p/hack.ips", PatchWriters::Ips(RomImages::InLayout(plain, madeFor),
                                            RomImages::InLayout(target, madeFor)));
    JobRequest r;
    r.target = RomLayout::Plain;
    r.keepChecksum = true;
    const std::vector<FileReport> reports = Run({patch}, {source}, r);
    QCOMPARE(reports.size(), std::size_t(1));
    QVERIFY2(reports[0].outcome == FileOutcome::Converted, qPrintable(Words(reports[0])));
    const QString out =
        dir_.filePath("out/hack" + LayoutExtension(image == RomLayout::Smd || image == RomLayout::Md
                                                       ? image
                                                       : RomLayout::Plain));
    QVERIFY(RomImages::InLayout(target, image == RomLayout::Byteswapped ? RomLayout::Plain
                                                                        : image) == ReadFile(out));
    QVERIFY2(reports[0].detail.contains("an IPS made for " + LayoutPhrase(madeFor)),
             qPrintable(reports[0].detail));
}

// What the job decides beside the bytes: a base the patch was not made for,
// forced or not, a result that is not what the patch makes, a result that
// would replace its source, several patches in order, the checksum kept.
void TestPatch::checks_data() {
    QTest::addColumn<QString>("row");
    QTest::addColumn<FileOutcome>("outcome");
    QTest::addColumn<QString>("words"); // in the notices or the detail
    QTest::addColumn<bool>("written");
    QTest::newRow("BPS on another image")
        << "other bps" << FileOutcome::Refused
        << "game.smd is not the image this patch was made for: "
           "the patch expects a plain image of 1048576 bytes with "
           "CRC32 %1, this one has %2"
        << false;
    QTest::newRow("UPS on a shorter image")
        << "short ups" << FileOutcome::Refused
        << "the patch expects a plain image of 1048576 bytes with CRC32 %1, this one has 1032192 "
           "bytes with CRC32 %2"
        << false;
    // A UPS patch undoes itself: the image it makes gives back its source.
    QTest::newRow("UPS applied to its target")
        << "reverse ups" << FileOutcome::Converted << "applied in reverse, to the image it makes"
        << true;
    QTest::newRow("VCDIFF on another image")
        << "other vcdiff" << FileOutcome::Refused
        << "game.smd is not the image this patch was made for: what the patch makes of it is not "
           "what its checksums describe"
        << false;
    QTest::newRow("BPS forced onto another image")
        << "force bps" << FileOutcome::Converted
        << "forced onto an image it was not made for; target CRC32 0x" << true;
    QTest::newRow("BPS whose result is not its target")
        << "target bps" << FileOutcome::Failed
        << "the patched image's CRC32 is %1, not the %2 the patch makes" << false;
    QTest::newRow("patch named as its source")
        << "over source" << FileOutcome::Refused << "it would replace its source" << false;
    QTest::newRow("IPS then BPS made for its result")
        << "chain" << FileOutcome::Converted << "second.bps: target CRC32" << true;
    QTest::newRow("BPS after an IPS it was not made for")
        << "chain wrong" << FileOutcome::Refused
        << "the patch expects the image the patches before it make" << false;
    QTest::newRow("checksum kept")
        << "keep" << FileOutcome::Converted << "checksum %1 kept, the boot check sums %2" << true;
    QTest::newRow("existing destination kept")
        << "exists" << FileOutcome::Skipped << QString() << false;
}

void TestPatch::checks() {
    QFETCH(QString, row);
    QFETCH(FileOutcome, outcome);
    QFETCH(QString, words);
    QFETCH(bool, written);
    const QByteArray plain = RomImages::PlainImage(MiB, 11);
    const QByteArray target = Hacked(plain);
    const QByteArray other = RomImages::PlainImage(MiB, 12);
    QByteArray base = plain;
    QStringList patches;
    JobRequest r;
    QString also; // more words that must be told
    QString source = dir_.filePath("in/game.smd");
    if (row == QLatin1String("other bps") || row == QLatin1String("force bps")) {
        base = other;
        patches << Put("p/hack.bps", PatchWriters::Bps(plain, target));
        r.force = row == QLatin1String("force bps");
        if (r.force)
            also = QStringLiteral(", not the patch's %1").arg(Hex(TestFiles::Crc32(target), 8));
        else
            words = words.arg(Hex(TestFiles::Crc32(plain), 8), Hex(TestFiles::Crc32(other), 8));
    } else if (row == QLatin1String("other vcdiff")) {
        base = other;
        patches << Put("p/hack.xdelta", PatchWriters::Xdelta(plain, target, "lzma"));
    } else if (row == QLatin1String("short ups")) {
        base = plain.left(plain.size() - 16384);
        patches << Put("p/hack.ups", PatchWriters::Ups(plain, target));
        words = words.arg(Hex(TestFiles::Crc32(plain), 8), Hex(TestFiles::Crc32(base), 8));
    } else if (row == QLatin1String("reverse ups")) {
        base = target;
        patches << Put("p/hack.ups", PatchWriters::Ups(plain, target));
    } else if (row == QLatin1String("target bps")) {
        // The target's CRC32 changed, the patch's own made right again.
        QByteArray patch = PatchWriters::Bps(plain, target);
        patch.chop(4);
        qToLittleEndian<quint32>(0xDEADBEEF, patch.data() + patch.size() - 4);
        char crc[4];
        qToLittleEndian<quint32>(TestFiles::Crc32(patch), crc);
        patch.append(crc, 4);
        patches << Put("p/hack.bps", patch);
        words = words.arg(Hex(TestFiles::Crc32(target), 8), Hex(0xDEADBEEF, 8));
    } else if (row == QLatin1String("over source")) {
        patches << Put("p/game.ips", PatchWriters::Ips(plain, target));
        source = dir_.filePath("out/game.smd");
    } else if (row.startsWith(QLatin1String("chain"))) {
        const QByteArray first = Hacked(plain);
        QByteArray second = first;
        RomImages::PutText(second, 0x120, "KESTRIX SECOND PATCH", 48);
        patches << Put("p/first.ips", PatchWriters::Ips(plain, first))
                << Put("p/second.bps",
                       PatchWriters::Bps(row == QLatin1String("chain") ? first : plain, second));
    } else if (row == QLatin1String("keep")) {
        patches << Put("p/hack.ips", PatchWriters::Ips(plain, target));
        r.keepChecksum = true;
        words = words.arg(Hex(qFromBigEndian<quint16>(target.data() + 0x18E), 4),
                          Hex(RomImages::HeaderChecksum(target), 4));
    } else if (row == QLatin1String("exists")) {
        patches << Put("p/hack.ips", PatchWriters::Ips(plain, target));
        Put("out/hack.smd", "mine");
    }
    Put(QDir(dir_.path()).relativeFilePath(source), RomImages::Smd(base));
    const QStringList before = Outputs();
    const std::vector<FileReport> reports = Run(patches, {source}, r);
    QCOMPARE(reports.size(), std::size_t(1));
    const FileReport& report = reports.front();
    QCOMPARE(report.outcome, outcome);
    QCOMPARE(report.written, written);
    const QString told = Words(report) + report.detail;
    QVERIFY2(told.contains(words) && told.contains(also), qPrintable(told));
    if (!written)
        QCOMPARE(Outputs(), before);
    QCOMPARE(ReadFile(source), RomImages::Smd(base));
    if (row == QLatin1String("exists"))
        QCOMPARE(ReadFile(dir_.filePath("out/hack.smd")), QByteArray("mine"));
    if (row == QLatin1String("keep"))
        QVERIFY(ReadFile(dir_.filePath("out/hack.smd")) == RomImages::Smd(target));
    if (row == QLatin1String("reverse ups"))
        QVERIFY(ReadFile(dir_.filePath("out/hack.smd")) == RomImages::Smd(plain));
}

QTEST_GUILESS_MAIN(TestPatch)
#include "tst_patch.moc"
