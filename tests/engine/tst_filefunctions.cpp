#include "FileFunctions.h"
#include "FileHandle.h"
#include "PathSeparator.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace FileFunctions;

namespace {

// Joins path pieces with the native separator.
QString P(std::initializer_list<QString> pieces) {
    QStringList list(pieces);
    return list.join(PathSeparator());
}

// The separator of the other platform family, which is an ordinary character here.
QChar OtherSlash() {
    return PathSeparator() == QLatin1Char('/') ? u'\\' : u'/';
}

} // namespace

class tst_FileFunctions : public QObject {
    Q_OBJECT

private slots:
    void getFileName_data();
    void getFileName();
    void getBaseName_data();
    void getBaseName();
    void sizeRules_data();
    void sizeRules();
    void sizeRulesOnMissingFile();
    void classifySelection_data();
    void classifySelection();
    void addSelectedFiles_data();
    void addSelectedFiles();
    void addSelectedFilesKeepsFormedPath();
    void targetExtension_data();
    void targetExtension();
};

void tst_FileFunctions::getFileName_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("full path") << P({"D:", "roms", "game.smd"}) << "game.smd";
    QTest::newRow("bare name") << "game.smd"
                               << "game.smd";
    QTest::newRow("trailing separator") << P({"D:", "roms", ""}) << "";
    QTest::newRow("empty") << ""
                           << "";
    const QString other = QStringLiteral("D:") + OtherSlash() + "roms" + OtherSlash() + "game.smd";
#ifdef _WIN32
    // Windows takes a '/' as a separator too.
    QTest::newRow("other slash, a separator on Windows") << other << "game.smd";
#else
    QTest::newRow("other slash is no separator") << other << other;
#endif
    QTest::newRow("dots in folders") << P({"a.b", "c.d", "e"}) << "e";
}

void tst_FileFunctions::getFileName() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(GetFileName(path), expected);
}

void tst_FileFunctions::getBaseName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one extension") << "game.smd"
                                   << "game";
    QTest::newRow("no extension") << "game"
                                  << "game";
    QTest::newRow("two dots") << "game.eu.smd"
                              << "game";
    QTest::newRow("only extension") << ".smd"
                                    << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("case kept") << "Sonic.BIN"
                               << "Sonic";
    QTest::newRow("unicode") << QStringLiteral("索尼克.bin") << QStringLiteral("索尼克");
}

void tst_FileFunctions::getBaseName() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(GetBaseName(name), expected);
}

void tst_FileFunctions::sizeRules_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("smd");
    QTest::addColumn<bool>("plain");
    QTest::newRow("0") << qint64(0) << false << true;
    QTest::newRow("511") << qint64(511) << false << false;
    QTest::newRow("512") << qint64(512) << true << false;
    QTest::newRow("8192") << qint64(8192) << false << false;
    QTest::newRow("16383") << qint64(16383) << false << false;
    QTest::newRow("16384") << qint64(16384) << false << true;
    QTest::newRow("16385") << qint64(16385) << false << false;
    QTest::newRow("16896") << qint64(16896) << true << false;
    QTest::newRow("32768") << qint64(32768) << false << true;
    QTest::newRow("33280") << qint64(33280) << true << false;
}

void tst_FileFunctions::sizeRules() {
    QFETCH(qint64, size);
    QFETCH(bool, smd);
    QFETCH(bool, plain);
    QTemporaryDir dir;
    const QString path = dir.filePath("image");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
    file.close();
    QCOMPARE(IsValidSMD(path), smd);
    QCOMPARE(IsValidBIN(path), plain);
    QCOMPARE(IsValidMD(path), plain);
    QCOMPARE(IsValidSMDLength(size), smd);
    QCOMPARE(IsValidBINLength(size), plain);
}

void tst_FileFunctions::sizeRulesOnMissingFile() {
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("missing.bin"), QString(), dir.path()}) {
        QVERIFY(!IsValidSMD(path));
        QVERIFY(!IsValidBIN(path));
        QVERIFY(!IsValidMD(path));
    }
}

void tst_FileFunctions::classifySelection_data() {
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("count");
    // The count starts at 42 so that an untouched count shows.
    QTest::newRow("nothing") << QStringList() << int(NoFiles) << 0;
    QTest::newRow("one empty element") << QStringList{""} << int(NoFiles) << 42;
    QTest::newRow("one path") << QStringList{P({"D:", "a.bin"})} << int(SingleFile) << 1;
    QTest::newRow("folder and two names")
        << QStringList{"D:", "a.bin", "b.bin"} << int(MultipleFiles) << 2;
    QTest::newRow("folder and one name") << QStringList{"D:", "a.bin"} << int(MultipleFiles) << 1;
}

void tst_FileFunctions::classifySelection() {
    QFETCH(QStringList, elements);
    QFETCH(int, kind);
    QFETCH(int, count);
    std::int32_t k = 42;
    QCOMPARE(int(ClassifySelection(elements, k)), kind);
    QCOMPARE(int(k), count);
}

void tst_FileFunctions::addSelectedFiles_data() {
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QStringList>("expected");

    const QString ea = P({"E:", "a"});
    const QString db = P({"D:", "b"});
    QTest::newRow("single into empty list")
        << QStringList() << QStringList{P({db, "game.bin"})} << QStringList{P({db, "game.bin"})};
    QTest::newRow("single with listed base name")
        << QStringList{P({ea, "game.smd"})} << QStringList{P({db, "game.bin"})}
        << QStringList{P({ea, "game.smd"})};
    QTest::newRow("single with new base name")
        << QStringList{P({ea, "game.smd"})} << QStringList{P({db, "other.bin"})}
        << QStringList{P({ea, "game.smd"}), P({db, "other.bin"})};
    QTest::newRow("equal bases against empty list: none added")
        << QStringList() << QStringList{db, "x.smd", "x.bin"} << QStringList();
    QTest::newRow("equal bases against empty list: others added")
        << QStringList() << QStringList{db, "x.smd", "y.smd", "x.bin", "z"}
        << QStringList{P({db, "y.smd"}), P({db, "z"})};
    QTest::newRow("equal bases against listed: first added")
        << QStringList{P({ea, "game.smd"})} << QStringList{db, "x.smd", "x.bin"}
        << QStringList{P({ea, "game.smd"}), P({db, "x.smd"})};
    QTest::newRow("listed base name skipped among several")
        << QStringList{P({ea, "game.smd"})} << QStringList{db, "a.bin", "game.eu.bin", "b.bin"}
        << QStringList{P({ea, "game.smd"}), P({db, "a.bin"}), P({db, "b.bin"})};
    QTest::newRow("comparison is case-sensitive")
        << QStringList{P({ea, "Game.smd"})} << QStringList{P({db, "game.bin"})}
        << QStringList{P({ea, "Game.smd"}), P({db, "game.bin"})};
}

void tst_FileFunctions::addSelectedFiles() {
    QFETCH(QStringList, listed);
    QFETCH(QStringList, selected);
    QFETCH(QStringList, expected);

    QStringList list = listed;
    std::int32_t count = std::int32_t(list.size());
    std::int32_t k = 0;
    const SelectionKind kind = ClassifySelection(selected, k);
    QVERIFY(kind != NoFiles);
    AddSelectedFiles(selected, list, count, k);
    QCOMPARE(list, expected);
    QCOMPARE(count, std::int32_t(expected.size()));
}

void tst_FileFunctions::addSelectedFilesKeepsFormedPath() {
    // A drive root already ends in a separator; the joined path keeps both.
    const QString root = QStringLiteral("D:") + PathSeparator();
    QStringList list;
    std::int32_t count = 0;
    AddSelectedFiles({root, "a.bin", "b.bin"}, list, count, 2);
    QCOMPARE(list.first(), root + PathSeparator() + "a.bin");

    // A negative count of listed files adds nothing.
    count = -1;
    AddSelectedFiles({P({"D:", "c.bin"})}, list, count, 1);
    QCOMPARE(list.size(), 2);
}

void tst_FileFunctions::targetExtension_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("extension");
    QTest::newRow("SMD to BIN") << 0 << ".bin";
    QTest::newRow("BIN to SMD") << 1 << ".smd";
    QTest::newRow("MD to BIN") << 2 << ".bin";
    QTest::newRow("BIN to MD") << 3 << ".md";
    QTest::newRow("unknown 5") << 5 << "";
    QTest::newRow("negative") << -1 << "";
}

void tst_FileFunctions::targetExtension() {
    QFETCH(int, mode);
    QFETCH(QString, extension);
    QCOMPARE(FileHandle::TargetExtension(mode), extension);
}

QTEST_APPLESS_MAIN(tst_FileFunctions)
#include "tst_filefunctions.moc"
