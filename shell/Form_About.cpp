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
    setWindowTitle(QStringLiteral("关于"));
    setFixedSize(Px(5505), Px(3720));

    Label_About = new QLabel(this);
    Label_About->setObjectName(QStringLiteral("Label_About"));
    Label_About->setGeometry(TwipsRect(120, 120, 5295, 3015));
    Label_About->setWordWrap(true);
    Label_About->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label_About->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Button_OK = new ButtonPlus(QStringLiteral("确定"), this);
    Button_OK->setObjectName(QStringLiteral("Button_OK"));
    Button_OK->setGeometry(TwipsRect(120, 3240, 5295, 375));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    Button_OK->setFont(font);
    Button_OK->setDefault(true);
    Button_OK->setFocus();
    connect(Button_OK, &ButtonPlus::Click, this, &QWidget::hide);
}

QString Form_About::AboutText() {
    using namespace AboutInfo;
    const QStringList lines = {
        QStringLiteral("Kestrix VERSION " KESTRIX_VERSION_TEXT " 开发作者： ") +
            QString::fromUtf8(AuthorName) + QStringLiteral("(") + QString::fromUtf8(AuthorAlias) +
            QStringLiteral("),特别感谢") + QString::fromUtf8(ThankedName) +
            QStringLiteral("技术帮助支持。 简体中文版：") + QString::fromUtf8(TranslatorName),
        QString(),
        QStringLiteral("你可以写信到: ") + QString::fromUtf8(Email) + QStringLiteral("."),
        QStringLiteral("我的博客: ") + QString::fromUtf8(Blog),
        QStringLiteral("我的网站: ") + QString::fromUtf8(HomePage),
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
