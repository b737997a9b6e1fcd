#pragma once

#include "ui/widget_helpers.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zr {

class MainDialog;

// Makes the main dialog's widgets: each one is registered under its control identifier and
// wired to the dialog's commands. Widths and heights are in dialog units.
class DialogWidgets {
  public:
    explicit DialogWidgets(MainDialog& dialog);

    QLabel* label(const char* caption, int id = kNoControlId);
    QLineEdit* edit(int id, int widthUnits, bool readOnly = false, bool digitsOnly = false);
    QPushButton* button(int id, const char* caption, int widthUnits = 0);
    QCheckBox* check(int id, const char* caption);
    QComboBox* combo(int id);
    // A list box whose lines have their TAB characters expanded to `tabStopPixels` (0: none).
    QListWidget* listBox(int id, int tabStopPixels);
    QGroupBox* group(int id, const char* caption);
    // "Add", "Update" and "Remove" under a list box.
    QHBoxLayout* buttonRow(int add, int update, int remove);
    // A key frame list area: key frame menu button and key edit, the value, the list box and
    // its three buttons.
    QGroupBox* keyFrameListGroup(int groupId, const char* caption, int frameNum, int key,
                                 QWidget* valueCaption, int value, int list, int add, int update,
                                 int remove);

  private:
    MainDialog& dialog_;
    int tabStop_;  // pixels between the columns of a key frame list
};

}  // namespace zr
