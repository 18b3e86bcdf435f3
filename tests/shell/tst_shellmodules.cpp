#include "Errors.h"
#include "Mod_DefaultOpen.h"
#include "Position.h"
#include "ScriptedDesktop.h"

#include <QApplication>
#include <QTest>

class tst_ShellModules : public QObject {
    Q_OBJECT

private slots:
    void showError_data();
    void showError();
    void conversionFailureNamesTheEntry();
    void centerForm_data();
    void centerForm();
    void defaultOpen();
};

void tst_ShellModules::showError_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("browser") << -1 << "Error. Default Browser Not Found"
                             << "The default browser for this system could not be found";
    QTest::newRow("drive") << -3 << "Error. Useable Drvie Not Found"
                           << "This drive is not useable";
    QTest::newRow("path") << -4 << "Error. Incorrect Path"
                          << "One or more files or paths did not exist and were deleted from the "
                             "list";
    QTest::newRow("0 shows nothing") << 0 << ""
                                     << "";
    QTest::newRow("1 shows nothing") << 1 << ""
                                     << "";
    QTest::newRow("-5 shows nothing") << -5 << ""
                                      << "";
}

void tst_ShellModules::showError() {
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);
    ScriptedDesktop desktop;
    Errors::ShowError(desktop, kind);
    if (title.isEmpty()) {
        QVERIFY(desktop.messages.isEmpty());
        return;
    }
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].title, title);
    QCOMPARE(desktop.messages[0].text, text);
    QCOMPARE(desktop.messages[0].style, 0);
}

void tst_ShellModules::conversionFailureNamesTheEntry() {
    ScriptedDesktop desktop;
    Errors::ShowError(desktop, ConversionFailure, QStringLiteral("/y/b c.smd"));
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].title, QStringLiteral("Error. Conversion Fauilure"));
    QCOMPARE(desktop.messages[0].text,
             QStringLiteral("The file /y/b c.smd could not be converted! Skipping this file..."));
    // No entry (a position outside the list) names nothing rather than failing.
    Errors::ShowError(desktop, ConversionFailure);
    QCOMPARE(desktop.messages[1].text,
             QStringLiteral("The file  could not be converted! Skipping this file..."));
}

void tst_ShellModules::centerForm_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::newRow("ordinary") << QSize(1024, 768) << QSize(366, 289) << 4935.0f << 3592.5f;
    QTest::newRow("odd difference: half twips")
        << QSize(1001, 700) << QSize(366, 289) << 4762.5f << 3082.5f;
    QTest::newRow("wider than the screen")
        << QSize(300, 200) << QSize(366, 289) << -495.0f << -667.5f;
}

void tst_ShellModules::centerForm() {
    QFETCH(QSize, screen);
    QFETCH(QSize, window);
    QFETCH(float, left);
    QFETCH(float, top);
    ScriptedDesktop desktop;
    desktop.screenPixels = screen;
    QWidget form;
    form.resize(window);
    Position::CenterForm(desktop, &form);
    QCOMPARE(desktop.placements.size(), 1);
    QCOMPARE(desktop.placements[0].left, left);
    QCOMPARE(desktop.placements[0].top, top);
    QCOMPARE(form.pos(), QPoint(qRound(left / 15), qRound(top / 15)));
}

void tst_ShellModules::defaultOpen() {
    ScriptedDesktop desktop;
    desktop.shellResult = 33;
    QCOMPARE(Mod_DefaultOpen::DefaultOpen(desktop, QStringLiteral("https://example.org/"), 10), 33);
    QCOMPARE(desktop.opened, QStringList{QStringLiteral("https://example.org/")});
}

QTEST_MAIN(tst_ShellModules)
#include "tst_shellmodules.moc"
