#pragma once

#include <QPushButton>

// A push button that tells when the pointer moves onto it and off it.
class ButtonPlus : public QPushButton {
    Q_OBJECT

public:
    explicit ButtonPlus(const QString& caption, QWidget* parent = nullptr);

signals:
    void Click();
    void MouseEnter();
    void MouseLeave();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};
