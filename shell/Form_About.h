#pragma once

#include <QWidget>

class ButtonPlus;
class Forms;
class QLabel;

// The About box: who makes the program and where to find them.
class Form_About : public QWidget {
    Q_OBJECT

public:
    explicit Form_About(Forms& forms);

    QLabel* Label_About = nullptr;
    ButtonPlus* Button_OK = nullptr;

    // The seven lines of the box, joined by CR LF.
    static QString AboutText();
    void SetText();
    // Sets the caption, the button and (once shown) the text in the language
    // of the moment.
    void Retranslate();

signals:
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
};
