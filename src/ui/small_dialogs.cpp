#include "ui/small_dialogs.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/controls.h"
#include "ui/widget_helpers.h"

namespace zr {

ZoomSizeDialog::ZoomSizeDialog(QWidget* owner) : QDialog(owner), edit_(new QLineEdit(this)) {
    setWindowTitle("Zoom size(float value)");
    edit_->setMaxLength(kMaxLength);
    auto* start = new QPushButton("Start", this);
    auto* exit = new QPushButton("Exit", this);
    start->setDefault(true);
    connect(start, &QPushButton::clicked, this, &QDialog::accept);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(start);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
    edit_->setMinimumWidth(dialogUnitsX(this, 172));
    setFixedSize(sizeHint());
}

std::string ZoomSizeDialog::text() const {
    return edit_->text().left(kMaxLength).toStdString();
}

FileNameNumberDialog::FileNameNumberDialog(QWidget* owner)
    : QDialog(owner), edit_(new QLineEdit(this)) {
    setWindowTitle("File name number");
    edit_->setMaxLength(255);
    edit_->installEventFilter(new DigitsOnlyFilter(edit_));
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter the number the file name is beginning with", this));
    layout->addWidget(edit_, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

int FileNameNumberDialog::number() const {
    return readInt(edit_->text().toStdString());
}

std::optional<std::string> askZoomSize(QWidget* owner) {
    ZoomSizeDialog dialog(owner);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.text();
}

int askFileNameNumber(QWidget* owner) {
    FileNameNumberDialog dialog(owner);
    return dialog.exec() == QDialog::Accepted ? dialog.number() : -1;
}

std::optional<std::string> FolderBrowser::browse(QWidget* owner, const std::string& path) {
    if (!path.empty()) {
        pathText_ = path;
    }
    // Qt's own folder dialog has an editable path: a typed folder is returned even when it was
    // never picked in the list.
    QFileDialog dialog(owner, "Folder:", QString::fromStdString(pathText_));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    pathText_ = QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
    return pathText_;
}

QString fileDialogFilter(const std::string& description, const std::string& patterns) {
    QString list = QString::fromStdString(patterns);
    list.replace(';', ' ');
    return QString::fromStdString(description) + " (" + list + ")";
}

std::string withDefaultExtension(std::string name, std::string_view patterns) {
    const std::size_t separator = name.find_last_of("/\\");
    const std::size_t lastPart = separator == std::string::npos ? 0 : separator + 1;
    if (name.find('.', lastPart) != std::string::npos) {
        return name;
    }
    const std::string_view pattern = patterns.substr(0, patterns.find(';'));
    const std::size_t dot = pattern.find('.');
    name += dot == std::string_view::npos ? pattern : pattern.substr(dot);
    return name;
}

std::optional<std::string> chooseFile(QWidget* owner, bool open, const std::string& title,
                                      const std::string& filterDescription,
                                      const std::string& patterns, const std::string& startName) {
    QFileDialog dialog(owner, QString::fromStdString(title), QString::fromStdString(startName),
                       fileDialogFilter(filterDescription, patterns));
    if (open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The extension is added before the dialog asks about overwriting, so the question is
        // asked about the file that will really be written.
        const std::string extension = withDefaultExtension("", patterns);
        if (extension.size() > 1 && extension[0] == '.') {
            dialog.setDefaultSuffix(QString::fromStdString(extension.substr(1)));
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    std::string chosen = QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
    return open ? chosen : withDefaultExtension(std::move(chosen), patterns);
}

}  // namespace zr
