#include "ButtonPlus.h"

#include "TextFit.h"

#include <QStyle>
#include <QStyleOptionButton>

ButtonPlus::ButtonPlus(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setAttribute(Qt::WA_Hover);
    connect(this, &QPushButton::clicked, this, &ButtonPlus::Click);
}

void ButtonPlus::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    emit MouseEnter();
}

void ButtonPlus::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    emit MouseLeave();
}

void ButtonPlus::SetCaption(const QString& caption) {
    if (!designFont_)
        designFont_ = font();
    QStyleOptionButton option;
    initStyleOption(&option);
    const int room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this).width();
    const QFont fitting = TextFit::FittingFont(*designFont_, caption, room);
    setFont(fitting);
    const QString shown = QFontMetrics(fitting).elidedText(caption, Qt::ElideRight, room);
    setText(shown);
    setToolTip(shown == caption ? QString() : caption);
    setAccessibleName(QString(caption).remove(QLatin1Char('&')));
}

void ButtonPlus::SetHint(const QString& hint) {
    hint_ = hint;
    setAccessibleDescription(hint);
}
