#include "DesktopPlatform.h"

#include "MsgBox.h"
#include "PathSeparator.h"
#include "Twips.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QWidget>

int DesktopPlatform::ShowMessage(const QString& text, int style, const QString& title) {
    QMessageBox box;
    box.setWindowTitle(title.isEmpty() ? QString::fromLatin1(ApplicationName) : title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::NoIcon);
    struct Choice {
        const char* caption;
        QMessageBox::ButtonRole role;
        int answer;
    };
    QList<Choice> choices;
    switch (style) {
    case MsgBox::OkCancel:
        choices = {{"OK", QMessageBox::AcceptRole, MsgBox::Ok},
                   {"Cancel", QMessageBox::RejectRole, MsgBox::Cancel}};
        break;
    case MsgBox::YesNo:
        choices = {{"Yes", QMessageBox::YesRole, MsgBox::Yes},
                   {"No", QMessageBox::NoRole, MsgBox::No}};
        break;
    default:
        choices = {{"OK", QMessageBox::AcceptRole, MsgBox::Ok}};
        break;
    }
    QList<QPair<QPushButton*, int>> buttons;
    for (const Choice& choice : choices)
        buttons.append(
            {box.addButton(QString::fromLatin1(choice.caption), choice.role), choice.answer});
    box.setDefaultButton(buttons.first().first);
    // Escape or the close box give the last choice: OK, Cancel or No.
    box.setEscapeButton(buttons.last().first);
    box.exec();
    for (const auto& [button, answer] : buttons)
        if (box.clickedButton() == button)
            return answer;
    return buttons.last().second;
}

QStringList DesktopPlatform::UiLanguages() {
    return QLocale::system().uiLanguages();
}

namespace {

QSettings Settings() {
    return QSettings(QString::fromLatin1(ApplicationName), QString::fromLatin1(ApplicationName));
}

const QString LanguageKey = QStringLiteral("language");

} // namespace

QString DesktopPlatform::StoredLanguage() {
    return Settings().value(LanguageKey).toString();
}

void DesktopPlatform::StoreLanguage(const QString& code) {
    // A setting that cannot be written leaves the choice for this run only.
    Settings().setValue(LanguageKey, code);
}

QStringList DesktopPlatform::NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        filters.append(QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' '))));
    }
    return filters;
}

QString DesktopPlatform::SelectionText(const QStringList& files) {
    if (files.isEmpty())
        return QString();
    if (files.size() == 1)
        return QDir::toNativeSeparators(files.first());
    const QString folder = QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath());
    QStringList pieces{folder};
    for (const QString& file : files)
        pieces.append(QFileInfo(file).fileName());
    return pieces.join(QChar(0));
}

void DesktopPlatform::ShowOpen(CommonDialog& dialog, QWidget* owner) {
    // The dialog belongs to the window the user is working in, when there is one.
    QWidget* active = QApplication::activeWindow();
    QFileDialog fileDialog(active ? active : owner);
    fileDialog.setAcceptMode(QFileDialog::AcceptOpen);
    fileDialog.setFileMode((dialog.Flags & CommonDialog::AllowMultiSelect)
                               ? QFileDialog::ExistingFiles
                               : QFileDialog::ExistingFile);
    fileDialog.setNameFilters(NameFilters(dialog.Filter));
    if (!dialog.FileName.isEmpty())
        fileDialog.selectFile(dialog.FileName);
    dialog.FileName = fileDialog.exec() == QDialog::Accepted
                          ? SelectionText(fileDialog.selectedFiles())
                          : QString();
}

QString DesktopPlatform::ChooseFolder(const QString& start, QWidget* owner) {
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(owner, QString(), start));
}

QString DesktopPlatform::ChooseSaveFile(const QString& start, const QString& filters,
                                        QString* filter, QWidget* owner) {
    return QDir::toNativeSeparators(
        QFileDialog::getSaveFileName(owner, QString(), start, filters, filter));
}

void DesktopPlatform::DoEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString DesktopPlatform::ProgramFolder() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QSize DesktopPlatform::WindowSizeTwips(QWidget* window) {
    const QSize size = window->frameGeometry().size();
    return {ToTwips(size.width()), ToTwips(size.height())};
}

QSize DesktopPlatform::ScreenSizeTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize(640, 480);
    return {ToTwips(size.width()), ToTwips(size.height())};
}

void DesktopPlatform::MoveWindowTwips(QWidget* window, float left, float top) {
    window->move(qRound(left / TwipsPerPixel), qRound(top / TwipsPerPixel));
}

void DesktopPlatform::EndProgram() {
    QCoreApplication::exit(0);
}
