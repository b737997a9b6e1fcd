#include "ui/main_dialog_widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
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
#include <algorithm>

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

// A push button as wide as its caption with a little room on either side (never narrower than
// it is high), where the style would make every captioned button at least 80 pixels wide.
class CompactButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override {
        const QSize styled = QPushButton::sizeHint();
        const QFontMetrics metrics(font());
        const int fitted = metrics.horizontalAdvance(text()) + metrics.height();
        return QSize(std::min(styled.width(), std::max(fitted, styled.height())), styled.height());
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

}  // namespace

DialogWidgets::DialogWidgets(MainDialog& dialog)
    : dialog_(dialog), tabStop_(dialogUnitsX(&dialog, kTabStopDialogUnits)) {}

QLabel* DialogWidgets::label(const char* caption, int id) {
    auto* widget = new QLabel(caption, &dialog_);
    dialog_.registerControl(widget, id);
    return widget;
}

QLineEdit* DialogWidgets::edit(int id, const char* widest, bool readOnly, bool digitsOnly) {
    auto* widget = new QLineEdit(&dialog_);
    dialog_.registerControl(widget, id);
    widget->setReadOnly(readOnly);
    const QFontMetrics metrics(widget->font());
    if (widest != nullptr) {
        // The edit's own size less its room for 17 "x" characters, plus the widest value and
        // the cursor.
        const int frame = widget->sizeHint().width() - 17 * metrics.horizontalAdvance(QChar('x'));
        widget->setFixedWidth(frame + metrics.horizontalAdvance(QString::fromLatin1(widest)) + 2);
    } else {
        // The edit takes the width of its place and does not widen the dialog.
        widget->setMinimumWidth(metrics.horizontalAdvance(QChar('x')) * 4);
        widget->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    if (digitsOnly) {
        widget->installEventFilter(new DigitsOnlyFilter(widget));
    }
    MainDialog* dialog = &dialog_;
    QObject::connect(widget, &QLineEdit::textChanged, dialog,
                     [dialog, id] { dialog->editChanged(id); });
    return widget;
}

QPushButton* DialogWidgets::button(int id, const char* caption) {
    auto* widget = new CompactButton(caption, &dialog_);
    dialog_.registerControl(widget, id);
    widget->setAutoDefault(false);
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

QListWidget* DialogWidgets::listBox(int id, int heightUnits, bool tabStops) {
    auto* widget = new QListWidget(&dialog_);
    dialog_.registerControl(widget, id);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->setFixedHeight(dialogUnitsY(&dialog_, heightUnits));
    // The list takes the width of its place, not of its longest line.
    widget->setMinimumWidth(0);
    widget->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    if (tabStops) {
        widget->setItemDelegate(new TabStopDelegate(widget, tabStop_));
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
    auto* layout = new QGridLayout(box);
    compactGroupLayout(layout);
    layout->addWidget(button(frameNum, "Frame num."), 0, 0);
    layout->addWidget(edit(key, kWidestKeyFrame, false, true), 0, 1);
    layout->addWidget(valueCaption, 1, 0);
    layout->addWidget(edit(value, kWidestListValue), 1, 1);
    layout->addWidget(listBox(list, kListHeightUnits, true), 2, 0, 1, 2);
    layout->addLayout(buttonRow(add, update, remove), 3, 0, 1, 2);
    return box;
}

void compactGroupLayout(QGridLayout* layout) {
    const int spacing = layout->parentWidget()->fontMetrics().height() / 4;
    layout->setContentsMargins(spacing, spacing, spacing, spacing);
    layout->setSpacing(spacing);
}

}  // namespace zr
