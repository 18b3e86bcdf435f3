#include "Form_About.h"

#include "AboutInfo.h"
#include "ButtonPlus.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QLabel>

Form_About::Form_About(Forms&)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form_About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Px(5505), Px(3720));

    Label_About = new QLabel(this);
    Label_About->setObjectName(QStringLiteral("Label_About"));
    Label_About->setGeometry(TwipsRect(120, 120, 5295, 3015));
    Label_About->setWordWrap(true);
    Label_About->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label_About->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Button_OK = new ButtonPlus(QString(), this);
    Button_OK->setObjectName(QStringLiteral("Button_OK"));
    Button_OK->setGeometry(TwipsRect(120, 3240, 5295, 375));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    Button_OK->setFont(font);
    Button_OK->setDefault(true);
    Button_OK->setFocus();
    connect(Button_OK, &ButtonPlus::Click, this, &QWidget::hide);
    Retranslate();
}

void Form_About::Retranslate() {
    setWindowTitle(tr("About"));
    Button_OK->setText(tr("OK"));
    if (!Label_About->text().isEmpty())
        SetText();
}

void Form_About::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QWidget::changeEvent(event);
}

QString Form_About::AboutText() {
    using namespace AboutInfo;
    const QStringList lines = {
        //: %1 the version, %2 the author, %3 the author's alias, %4 who is
        //: thanked, %5 the translators
        tr("Kestrix VERSION %1 by %2 (%3), with special thanks to %4 for technical help. "
           "Translations: %5")
            .arg(QStringLiteral(KESTRIX_VERSION_TEXT), QString::fromUtf8(AuthorName),
                 QString::fromUtf8(AuthorAlias), QString::fromUtf8(ThankedName),
                 QString::fromUtf8(TranslatorName)),
        QString(),
        tr("You can write to: %1.").arg(QString::fromUtf8(Email)),
        tr("My blog: %1").arg(QString::fromUtf8(Blog)),
        tr("My website: %1").arg(QString::fromUtf8(HomePage)),
        QString(),
        QStringLiteral("Kestrix " KESTRIX_VERSION_TEXT " ") + QString::fromUtf8(Rights),
    };
    return lines.join(QStringLiteral("\r\n"));
}

void Form_About::SetText() {
    Label_About->setText(AboutText());
}

void Form_About::closeEvent(QCloseEvent* event) {
    event->accept();
    emit Unloaded();
}
