#include "ui/widget_helpers.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QVariant>
#include <QWidget>

namespace zr {

void setControlId(QWidget* widget, int id) {
    widget->setProperty(kControlIdProperty, id);
}

bool hasControlId(const QWidget* widget) {
    return widget->property(kControlIdProperty).isValid();
}

int controlIdOf(const QWidget* widget) {
    const QVariant id = widget->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : kNoControlId;
}

int dialogUnitsX(const QWidget* widget, int units) {
    const QFontMetrics metrics(widget->font());
    return units * metrics.averageCharWidth() / 4;
}

int dialogUnitsY(const QWidget* widget, int units) {
    const QFontMetrics metrics(widget->font());
    return units * metrics.height() / 8;
}

bool DigitsOnlyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool printable = !text.isEmpty() && text.at(0).isPrint();
        const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (printable && !shortcut && !text.at(0).isDigit()) {
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace zr
