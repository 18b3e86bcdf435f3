#pragma once

// The pointer moving onto and off a widget, as the window system reports it.

#include <QApplication>
#include <QEnterEvent>
#include <QWidget>

namespace Hover {

inline void Enter(QWidget* widget) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(widget, &event);
}

inline void Leave(QWidget* widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

} // namespace Hover
