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
    int wanted = -1;
    int preferred = 0;
    for (std::size_t i = 0; i < offers_.size(); ++i) {
        compressors_->addItem(
            QString::fromStdString(offers_[i].description + " (" + offers_[i].fourcc + ")"));
        if (offers_[i].fourcc == start.fourcc) {
            wanted = static_cast<int>(i);
        }
        if (offers_[i].fourcc == kPreferredCompressor) {
            preferred = static_cast<int>(i);
        }
    }
    compressors_->setCurrentIndex(offers_.empty() ? -1 : wanted >= 0 ? wanted : preferred);

    keyFrameEvery_->setRange(1, 1000000);
    keyFrameEvery_->setValue(std::max(1, start.keyFrameEvery));
    quality_->setRange(0, kMaxQuality);
    qualitySlider_->setRange(0, kMaxQuality);
    const int quality = std::clamp(start.quality / kWriterQualityStep, 0, kMaxQuality);
    quality_->setValue(quality);
    qualitySlider_->setValue(quality);
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
    chosen.quality = quality_->value() * kWriterQualityStep;
    return chosen;
}

std::vector<CompressorOffer> writableCompressors() {
    std::vector<CompressorOffer> offers;
    for (const Compressor& compressor : availableCompressors()) {
        offers.push_back({compressor.fourcc, compressor.description});
    }
    return offers;
}

namespace {

// The first entry of a list that leaves the value to the codec.
constexpr const char* kCodecDefault = "(codec default)";

int indexOf(const std::vector<std::string>& items, const std::string& item) {
    const auto found = std::find(items.begin(), items.end(), item);
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

}  // namespace

VideoCodecDialog::VideoCodecDialog(QWidget* owner, Container container,
                                   const VideoCodecChoice& start)
    : QDialog(owner),
      offered_(availableVideoCodecs(container)),
      codecs_(new QComboBox(this)),
      crf_(new QSpinBox(this)),
      presets_(new QComboBox(this)),
      pixelFormats_(new QComboBox(this)) {
    setWindowTitle(QString::fromUtf8("V\u00e4lj Codec"));
    const VideoCodec* wanted = findVideoCodec(start.codec);
    int current = 0;
    for (std::size_t i = 0; i < offered_.size(); ++i) {
        const VideoCodec& codec = *offered_[i];
        codecs_->addItem(QString::fromStdString(std::string(codec.description) + " (" +
                                                std::string(codec.name) + ")"));
        const bool isDefault = codec.name == containerInfo(container).defaultCodec;
        if (wanted != nullptr ? wanted == &codec : isDefault) {
            current = static_cast<int>(i);
        }
    }
    codecs_->setCurrentIndex(offered_.empty() ? -1 : current);
    // The value -1 stands for the codec's default quality.
    crf_->setSpecialValueText(kCodecDefault);
    showCodec(start);
    connect(codecs_, &QComboBox::currentIndexChanged, this,
            [this] { showCodec(VideoCodecChoice{}); });

    auto* form = new QFormLayout;
    form->addRow("Compressor:", codecs_);
    form->addRow("Quality (CRF)", crf_);
    form->addRow("Preset", presets_);
    form->addRow("Pixel format", pixelFormats_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!offered_.empty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void VideoCodecDialog::showCodec(const VideoCodecChoice& values) {
    const int index = codecs_->currentIndex();
    const VideoCodec* codec =
        index >= 0 && index < static_cast<int>(offered_.size()) ? offered_[index] : nullptr;
    const bool hasCrf = codec != nullptr && codec->minCrf <= codec->maxCrf;
    crf_->setEnabled(hasCrf);
    crf_->setRange(hasCrf ? codec->minCrf - 1 : -1, hasCrf ? codec->maxCrf : -1);
    crf_->setValue(hasCrf && values.crf >= codec->minCrf && values.crf <= codec->maxCrf
                       ? values.crf
                       : crf_->minimum());

    presets_->clear();
    presets_->addItem(kCodecDefault);
    std::vector<std::string> presetNames;
    if (codec != nullptr) {
        presetNames.assign(codec->presets.begin(), codec->presets.end());
    }
    for (const std::string& preset : presetNames) {
        presets_->addItem(QString::fromStdString(preset));
    }
    presets_->setCurrentIndex(indexOf(presetNames, values.preset) + 1);
    presets_->setEnabled(!presetNames.empty());

    pixelFormats_->clear();
    pixelFormats_->addItem(kCodecDefault);
    const std::vector<std::string> formats =
        codec != nullptr ? codecPixelFormats(*codec) : std::vector<std::string>{};
    for (const std::string& format : formats) {
        pixelFormats_->addItem(QString::fromStdString(format));
    }
    pixelFormats_->setCurrentIndex(indexOf(formats, values.pixelFormat) + 1);
}

VideoCodecChoice VideoCodecDialog::choice() const {
    VideoCodecChoice chosen;
    const int index = codecs_->currentIndex();
    if (index >= 0 && index < static_cast<int>(offered_.size())) {
        chosen.codec = std::string(offered_[index]->name);
    }
    chosen.crf = crf_->isEnabled() && crf_->value() != crf_->minimum() ? crf_->value() : -1;
    if (presets_->currentIndex() > 0) {
        chosen.preset = presets_->currentText().toStdString();
    }
    if (pixelFormats_->currentIndex() > 0) {
        chosen.pixelFormat = pixelFormats_->currentText().toStdString();
    }
    return chosen;
}

bool chooseCompressor(QWidget* owner, CompressorChoice& choice) {
    CompressorDialog dialog(owner, writableCompressors(), choice);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    choice = dialog.choice();
    return true;
}

bool chooseVideoCodec(QWidget* owner, Container container, VideoCodecChoice& choice) {
    VideoCodecDialog dialog(owner, container, choice);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    choice = dialog.choice();
    return true;
}

}  // namespace zr
