#pragma once

#include "ui/widget_helpers.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zr {

class MainDialog;

// The widest values of the fields: every value the program writes into a field fits it.
inline constexpr const char* kWidestKeyFrame = "00000";
inline constexpr const char* kWidestListValue = "00:00:00";
// The height of the list boxes, in dialog units: three lines.
inline constexpr int kListHeightUnits = 24;

// Margins and spacing of the layout inside a group box: a quarter of a line each.
void compactGroupLayout(QGridLayout* layout);

// Makes the main dialog's widgets: each one is registered under its control identifier and
// wired to the dialog's commands. Sizes follow the dialog's font, so the dialog scales with the
// screen's DPI: value fields are as wide as the widest value they show, buttons as wide as their
// caption.
class DialogWidgets {
  public:
    explicit DialogWidgets(MainDialog& dialog);

    QLabel* label(const char* caption, int id = kNoControlId);
    // An edit wide enough for `widest` (nullptr: as wide as its place in the layout).
    QLineEdit* edit(int id, const char* widest, bool readOnly = false, bool digitsOnly = false);
    QPushButton* button(int id, const char* caption);
    QCheckBox* check(int id, const char* caption);
    QComboBox* combo(int id);
    // A list box `heightUnits` dialog units high whose lines have their TAB characters
    // expanded to a tab stop (when `tabStops` is set).
    QListWidget* listBox(int id, int heightUnits, bool tabStops);
    QGroupBox* group(int id, const char* caption);
    // "Add", "Update" and "Remove" under a list box, sharing the row.
    QHBoxLayout* buttonRow(int add, int update, int remove);
    // A key frame list area: the key frame menu button over the value's caption, the key edit
    // over the value, the list box and its three buttons.
    QGroupBox* keyFrameListGroup(int groupId, const char* caption, int frameNum, int key,
                                 QWidget* valueCaption, int value, int list, int add, int update,
                                 int remove);

  private:
    MainDialog& dialog_;
    int tabStop_;  // pixels between the columns of a key frame list
};

}  // namespace zr
