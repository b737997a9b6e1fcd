// The dialog's controls as the engine sees them: text, check marks, selections and list lines
// addressed by control identifier.

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

#include "app/folder_choice.h"
#include "movie/movie_length.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "ui/main_dialog.h"
#include "ui/small_dialogs.h"

namespace zr {

namespace {

QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::string MainDialog::text(int id) const {
    const QWidget* widget = control(id);
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text().toStdString();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text().toStdString();
    }
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) {
        return box->currentText().toStdString();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text().toStdString();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title().toStdString();
    }
    return {};
}

void MainDialog::setText(int id, std::string_view text) {
    QWidget* widget = control(id);
    const QString value = toQt(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() == value) {
            // The same text still counts as a change, as typing it would.
            editChanged(id);
        } else {
            edit->setText(value);
        }
        if (edit->isReadOnly()) {
            edit->setCursorPosition(0);
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(value);
    }
}

bool MainDialog::checked(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(control(id));
    return button != nullptr && button->isChecked();
}

void MainDialog::setChecked(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id))) {
        button->setChecked(checked);
    }
}

int MainDialog::selection(int id) const {
    const QWidget* widget = control(id);
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) {
        return box->currentIndex();
    }
    if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.front());
    }
    return -1;
}

void MainDialog::setSelection(int id, int index) {
    QWidget* widget = control(id);
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        const QSignalBlocker quiet(list);
        if (index >= 0 && index < list->count()) {
            list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        } else {
            list->clearSelection();
            list->setCurrentRow(-1);
        }
    }
}

int MainDialog::entryCount(int id) const {
    const QWidget* widget = control(id);
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) {
        return box->count();
    }
    if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
        return list->count();
    }
    return 0;
}

std::vector<std::string> MainDialog::lines(int id) const {
    std::vector<std::string> result;
    if (const auto* list = qobject_cast<const QListWidget*>(control(id))) {
        for (int i = 0; i < list->count(); ++i) {
            result.push_back(list->item(i)->text().toStdString());
        }
    }
    return result;
}

void MainDialog::clearLines(int id) {
    if (auto* list = qobject_cast<QListWidget*>(control(id))) {
        const QSignalBlocker quiet(list);
        list->clear();
    }
}

void MainDialog::addLine(int id, std::string_view line) {
    if (auto* list = qobject_cast<QListWidget*>(control(id))) {
        const QSignalBlocker quiet(list);
        list->addItem(toQt(line));
    }
}

void MainDialog::replaceLine(int id, int index, std::string_view line) {
    auto* list = qobject_cast<QListWidget*>(control(id));
    if (list == nullptr || index < 0 || index >= list->count()) {
        return;
    }
    const QSignalBlocker quiet(list);
    delete list->takeItem(index);
    list->insertItem(index, toQt(line));
    list->clearSelection();
}

void MainDialog::removeLine(int id, int index) {
    auto* list = qobject_cast<QListWidget*>(control(id));
    if (list == nullptr || index < 0 || index >= list->count()) {
        return;
    }
    const QSignalBlocker quiet(list);
    delete list->takeItem(index);
    list->clearSelection();
}

std::optional<std::string> MainDialog::askZoomSize() {
    return zr::askZoomSize(this);
}

void MainDialog::recomputeMovieLength() {
    // The timeline plans the movie and gives its exact length; until it has, or when it cannot,
    // the field shows the estimate from the speed list.
    if (!exactMovieLength_) {
        updateMovieLengthEstimate(*this, keyFrameCount(), controlInt(*this, kIdFps));
    }
    timelineColorsChanged();
}

void MainDialog::showPlannedLength(long long frameCount, int fps) {
    exactMovieLength_ = frameCount > 0 && fps > 0;
    if (exactMovieLength_) {
        setText(kIdMovieLength, formatMovieTime(frameCount, fps));
    } else {
        updateMovieLengthEstimate(*this, keyFrameCount(), controlInt(*this, kIdFps));
    }
}

void MainDialog::editChanged(int id) {
    if (id == kIdMovieWidth) {
        const DerivedMovieSize derived = deriveFromMovieWidth(controlInt(*this, kIdMovieWidth));
        setText(kIdMovieHeight, std::to_string(derived.height));
        setText(kIdFramesPerMovie, std::to_string(derived.framesPerMovie));
    } else if (id == kIdFps) {
        recomputeMovieLength();
    }
}

}  // namespace zr
