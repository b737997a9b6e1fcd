#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "settings/render_host.h"

class QComboBox;
class QSpinBox;
class QSlider;

namespace zr {

// One compressor the dialog offers: its four-character code and what the user reads.
struct CompressorOffer {
    std::string fourcc;
    std::string description;
};

// The compressor dialog "Välj Codec": the compressors this build can write, the key-frame
// interval and the quality on 0 ... 10000 (preset 8500).
class CompressorDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kMaxQuality = 10000;
    static constexpr int kPresetQuality = 8500;

    CompressorDialog(QWidget* owner, const std::vector<CompressorOffer>& offers,
                     const CompressorChoice& start);

    // The choice as the dialog shows it now.
    CompressorChoice choice() const;

    QComboBox* compressorList() const { return compressors_; }
    QSpinBox* keyFrameEdit() const { return keyFrameEvery_; }
    QSpinBox* qualityEdit() const { return quality_; }

  private:
    std::vector<CompressorOffer> offers_;
    QComboBox* compressors_;
    QSpinBox* keyFrameEvery_;
    QSpinBox* quality_;
    QSlider* qualitySlider_;
};

// The compressors this build can write, as the dialog offers them.
std::vector<CompressorOffer> writableCompressors();

// Shows the dialog; on OK `choice` takes the user's values and true is returned, on cancel it
// stays as it was.
bool chooseCompressor(QWidget* owner, CompressorChoice& choice);

}  // namespace zr
