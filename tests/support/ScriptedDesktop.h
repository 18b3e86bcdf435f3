#pragma once

// A desktop for tests: message boxes, the file dialog and the default handler
// answer from a script and record what was asked of them, so no test ever
// waits for a person.

#include "Desktop.h"
#include "MsgBox.h"
#include "Twips.h"

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QWidget>

#include <functional>

class ScriptedDesktop : public Desktop {
public:
    struct Message {
        QString text;
        int style = 0;
        QString title;
    };

    // What was shown and asked.
    QList<Message> messages;
    QList<CommonDialog> dialogs;
    QStringList opened;
    int yields = 0;
    int endCalls = 0;

    // Answers, taken in order; an empty queue answers with the box's last
    // button (OK, Cancel or No).
    QList<int> answers;
    // Selections the file dialog returns in turn; an empty queue cancels.
    QStringList selections;
    // The code the default handler answers.
    int shellResult = 42;
    QString programFolder = QStringLiteral("/opt/kestrix");
    QSize screenPixels{1024, 768};
    QStringList drives{QStringLiteral("/")};
    QStringList unusableDrives;
    // Runs during a message box, before it answers.
    std::function<void(const Message&)> onMessage;
    // Runs during the yield with its 1-based number.
    std::function<void(int)> onYield;

    int ShowMessage(const QString& text, int style, const QString& title) override {
        const Message message{text, style, title};
        messages.append(message);
        if (onMessage)
            onMessage(message);
        if (!answers.isEmpty())
            return answers.takeFirst();
        switch (style) {
        case MsgBox::OkCancel:
            return MsgBox::Cancel;
        case MsgBox::YesNo:
            return MsgBox::No;
        default:
            return MsgBox::Ok;
        }
    }

    void ShowOpen(CommonDialog& dialog, QWidget*) override {
        dialogs.append(dialog);
        dialog.FileName = selections.isEmpty() ? QString() : selections.takeFirst();
    }

    // Folders the folder question returns in turn; an empty queue cancels.
    QStringList folders;
    QString ChooseFolder(const QString&, QWidget*) override {
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }

    // Names the save question returns in turn, each with the filter chosen
    // (the first when none); an empty queue cancels.
    QList<QPair<QString, QString>> saves;
    QString ChooseSaveFile(const QString&, const QString& filters, QString* filter,
                           QWidget*) override {
        if (saves.isEmpty())
            return QString();
        const QPair<QString, QString> save = saves.takeFirst();
        if (filter)
            *filter =
                save.second.isEmpty() ? filters.section(QStringLiteral(";;"), 0, 0) : save.second;
        return save.first;
    }

    void DoEvents() override {
        ++yields;
        QCoreApplication::processEvents();
        if (onYield)
            onYield(yields);
    }

    int ShellExecute(const QString& file, int) override {
        opened.append(file);
        return shellResult;
    }

    QString ProgramFolder() override { return programFolder; }

    QSize WindowSizeTwips(QWidget* window) override {
        const QSize size = window->frameGeometry().size();
        return {ToTwips(size.width()), ToTwips(size.height())};
    }

    QSize ScreenSizeTwips() override {
        return {ToTwips(screenPixels.width()), ToTwips(screenPixels.height())};
    }

    void MoveWindowTwips(QWidget* window, float left, float top) override {
        placements.append({window, left, top});
        window->move(qRound(left / TwipsPerPixel), qRound(top / TwipsPerPixel));
    }

    QStringList Drives() override { return drives; }
    bool DriveUsable(const QString& drive) override { return !unusableDrives.contains(drive); }

    void EndProgram() override { ++endCalls; }

    // The desktop's languages (the C locale: the program's own Chinese) and
    // the kept choice.
    QStringList uiLanguages{QStringLiteral("C")};
    QString storedLanguage;
    QStringList UiLanguages() override { return uiLanguages; }
    QString StoredLanguage() override { return storedLanguage; }
    void StoreLanguage(const QString& code) override { storedLanguage = code; }

    struct Placement {
        QPointer<QWidget> window;
        float left = 0;
        float top = 0;
    };
    QList<Placement> placements;

    // The last placement of a window, or a default one.
    Placement LastPlacement(const QWidget* window) const {
        for (qsizetype i = placements.size() - 1; i >= 0; --i)
            if (placements[i].window == window)
                return placements[i];
        return {};
    }
};
