#pragma once

#include <QFont>
#include <QPushButton>

#include <optional>

// A push button that tells when the pointer moves onto it and off it, and
// carries the hint its window shows meanwhile.
class ButtonPlus : public QPushButton {
    Q_OBJECT

public:
    explicit ButtonPlus(const QString& caption, QWidget* parent = nullptr);

    // Sets the caption so that it fits the button: in a smaller size of the
    // font it was given where it is too long, and where even the smallest is
    // too long, cut short with "..." and whole in the button's tooltip.
    void SetCaption(const QString& caption);

    // The hint the window shows while the pointer is on the button; a screen
    // reader hears it as the button's description.
    void SetHint(const QString& hint);
    QString Hint() const { return hint_; }

signals:
    void Click();
    void MouseEnter();
    void MouseLeave();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::optional<QFont> designFont_;
    QString hint_;
};
