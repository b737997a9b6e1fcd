#include "ui/compressor_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "output/compressors.h"

namespace zr {

CompressorDialog::CompressorDialog(QWidget* owner, const std::vector<CompressorOffer>& offers,
                                   const CompressorChoice& start)
    : QDialog(owner),
      offers_(offers),
      compressors_(new QComboBox(this)),
      keyFrameEvery_(new QSpinBox(this)),
      quality_(new QSpinBox(this)),
      qualitySlider_(new QSlider(Qt::Horizontal, this)) {
    setWindowTitle(QString::fromUtf8("V\u00e4lj Codec"));
    compressors_->setMaxVisibleItems(12);
    int current = 0;
    for (std::size_t i = 0; i < offers_.size(); ++i) {
        compressors_->addItem(
            QString::fromStdString(offers_[i].description + " (" + offers_[i].fourcc + ")"));
        if (offers_[i].fourcc == start.fourcc) {
            current = static_cast<int>(i);
        }
    }
    compressors_->setCurrentIndex(offers_.empty() ? -1 : current);

    keyFrameEvery_->setRange(1, 1000000);
    keyFrameEvery_->setValue(std::max(1, start.keyFrameEvery));
    quality_->setRange(0, kMaxQuality);
    qualitySlider_->setRange(0, kMaxQuality);
    // The dialog opens at its own preset quality, whatever the writer holds.
    quality_->setValue(kPresetQuality);
    qualitySlider_->setValue(kPresetQuality);
    connect(quality_, &QSpinBox::valueChanged, qualitySlider_, &QSlider::setValue);
    connect(qualitySlider_, &QSlider::valueChanged, quality_, &QSpinBox::setValue);

    auto* qualityRow = new QHBoxLayout;
    qualityRow->addWidget(qualitySlider_, 1);
    qualityRow->addWidget(quality_);
    auto* form = new QFormLayout;
    form->addRow("Compressor:", compressors_);
    form->addRow("Key frame every", keyFrameEvery_);
    form->addRow("Quality", qualityRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!offers_.empty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

CompressorChoice CompressorDialog::choice() const {
    CompressorChoice chosen;
    const int index = compressors_->currentIndex();
    if (index >= 0 && index < static_cast<int>(offers_.size())) {
        chosen.fourcc = offers_[index].fourcc;
    }
    chosen.keyFrameEvery = keyFrameEvery_->value();
    chosen.quality = quality_->value();
    return chosen;
}

std::vector<CompressorOffer> writableCompressors() {
    std::vector<CompressorOffer> offers;
    for (const Compressor& compressor : availableCompressors()) {
        offers.push_back({compressor.fourcc, compressor.description});
    }
    return offers;
}

bool chooseCompressor(QWidget* owner, CompressorChoice& choice) {
    CompressorDialog dialog(owner, writableCompressors(), choice);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    choice = dialog.choice();
    return true;
}

}  // namespace zr
