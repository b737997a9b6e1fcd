#pragma once

#include <QObject>

class QWidget;

namespace zr {

// Every widget of the dialog carries its control identifier in this property; labels and
// other widgets without an identifier carry -1.
inline constexpr const char* kControlIdProperty = "controlId";
inline constexpr int kNoControlId = -1;

void setControlId(QWidget* widget, int id);
// The identifier of `widget`, or none when it is not one of the dialog's own widgets.
bool hasControlId(const QWidget* widget);
int controlIdOf(const QWidget* widget);

// Pixels of dialog units in the widget's font (a dialog unit is a quarter of the average
// character width across and an eighth of the character height down).
int dialogUnitsX(const QWidget* widget, int units);
int dialogUnitsY(const QWidget* widget, int units);

// Lets only digits be typed into an edit (text set by the program may hold anything).
class DigitsOnlyFilter : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace zr
