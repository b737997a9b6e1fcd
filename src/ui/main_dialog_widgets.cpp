#include "ui/main_dialog_widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QVBoxLayout>

#include "ui/main_dialog.h"
#include "ui/widget_helpers.h"

namespace zr {

namespace {

constexpr int kTabStopDialogUnits = 25;

// Draws list lines with TAB characters expanded to a fixed tab stop.
class TabStopDelegate : public QStyledItemDelegate {
  public:
    TabStopDelegate(QObject* parent, int tabStopPixels)
        : QStyledItemDelegate(parent), tabStop_(tabStopPixels) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString line = item.text;
        item.text.clear();
        const QWidget* widget = item.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
        layout.setTabStopDistance(tabStop_);
        layout.setWrapMode(QTextOption::NoWrap);
        painter->save();
        painter->setPen(item.state & QStyle::State_Selected
                            ? item.palette.color(QPalette::HighlightedText)
                            : item.palette.color(QPalette::Text));
        painter->drawText(QRectF(item.rect.adjusted(3, 0, -1, 0)), line, layout);
        painter->restore();
    }

  private:
    int tabStop_;
};

}  // namespace

DialogWidgets::DialogWidgets(MainDialog& dialog)
    : dialog_(dialog), tabStop_(dialogUnitsX(&dialog, kTabStopDialogUnits)) {}

QLabel* DialogWidgets::label(const char* caption, int id) {
    auto* widget = new QLabel(caption, &dialog_);
    dialog_.registerControl(widget, id);
    return widget;
}

QLineEdit* DialogWidgets::edit(int id, int widthUnits, bool readOnly, bool digitsOnly) {
    auto* widget = new QLineEdit(&dialog_);
    dialog_.registerControl(widget, id);
    widget->setReadOnly(readOnly);
    if (widthUnits > 0) {
        widget->setFixedWidth(dialogUnitsX(&dialog_, widthUnits));
    }
    if (digitsOnly) {
        widget->installEventFilter(new DigitsOnlyFilter(widget));
    }
    MainDialog* dialog = &dialog_;
    QObject::connect(widget, &QLineEdit::textChanged, dialog,
                     [dialog, id] { dialog->editChanged(id); });
    return widget;
}

QPushButton* DialogWidgets::button(int id, const char* caption, int widthUnits) {
    auto* widget = new QPushButton(caption, &dialog_);
    dialog_.registerControl(widget, id);
    widget->setAutoDefault(false);
    if (widthUnits > 0) {
        widget->setFixedWidth(dialogUnitsX(&dialog_, widthUnits));
    }
    MainDialog* dialog = &dialog_;
    QObject::connect(widget, &QPushButton::clicked, dialog, [dialog, id] { dialog->command(id); });
    return widget;
}

QCheckBox* DialogWidgets::check(int id, const char* caption) {
    auto* widget = new QCheckBox(caption, &dialog_);
    dialog_.registerControl(widget, id);
    MainDialog* dialog = &dialog_;
    QObject::connect(widget, &QCheckBox::clicked, dialog, [dialog, id] { dialog->command(id); });
    return widget;
}

QComboBox* DialogWidgets::combo(int id) {
    auto* widget = new QComboBox(&dialog_);
    dialog_.registerControl(widget, id);
    widget->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return widget;
}

QListWidget* DialogWidgets::listBox(int id, int tabStopPixels) {
    auto* widget = new QListWidget(&dialog_);
    dialog_.registerControl(widget, id);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->setFixedHeight(dialogUnitsY(&dialog_, 40));
    if (tabStopPixels > 0) {
        widget->setItemDelegate(new TabStopDelegate(widget, tabStopPixels));
    }
    MainDialog* dialog = &dialog_;
    QObject::connect(widget, &QListWidget::itemSelectionChanged, dialog,
                     [dialog, id] { dialog->listSelectionChanged(id); });
    return widget;
}

QGroupBox* DialogWidgets::group(int id, const char* caption) {
    auto* widget = new QGroupBox(caption, &dialog_);
    dialog_.registerControl(widget, id);
    return widget;
}

QHBoxLayout* DialogWidgets::buttonRow(int add, int update, int remove) {
    auto* row = new QHBoxLayout;
    row->addWidget(button(add, "Add"));
    row->addWidget(button(update, "Update"));
    row->addWidget(button(remove, "Remove"));
    return row;
}

QGroupBox* DialogWidgets::keyFrameListGroup(int groupId, const char* caption, int frameNum, int key,
                                            QWidget* valueCaption, int value, int list, int add,
                                            int update, int remove) {
    QGroupBox* box = group(groupId, caption);
    auto* layout = new QVBoxLayout(box);
    auto* top = new QHBoxLayout;
    top->addWidget(button(frameNum, "Frame num."));
    top->addWidget(edit(key, 28, false, true));
    top->addWidget(valueCaption);
    top->addWidget(edit(value, 36));
    layout->addLayout(top);
    layout->addWidget(listBox(list, tabStop_));
    layout->addLayout(buttonRow(add, update, remove));
    return box;
}

}  // namespace zr
