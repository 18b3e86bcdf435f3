#include "ButtonPlus.h"

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
