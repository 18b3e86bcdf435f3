#include "ProgressBarAccessible.h"

#include "XP_ProgressBar.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include <mutex>

namespace {

// The bar as a progress bar: its value is the percentage it shows, from 0
// to 100, and it cannot be set from outside.
class ProgressBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ProgressBarAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value)
            return QString::number(Bar()->Percent()) + QLatin1Char('%');
        return QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return Bar()->Percent(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    const XP_ProgressBar* Bar() const { return static_cast<const XP_ProgressBar*>(widget()); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("XP_ProgressBar") && object && object->isWidgetType())
        return new ProgressBarAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

void InstallProgressBarAccessibility() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(Factory); });
}
