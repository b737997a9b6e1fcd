#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "output/movie_format.h"

class QComboBox;
class QSpinBox;
class QSlider;

namespace zr {

// What the user picks in the compressor dialog: a four-character code, the key-frame
// interval and the quality on 0 ... 10000.
struct CompressorChoice {
    std::string fourcc = "MSVC";
    int keyFrameEvery = 1;
    int quality = 8500;
};

// One compressor the dialog offers: its four-character code and what the user reads.
struct CompressorOffer {
    std::string fourcc;
    std::string description;
};

// The compressor dialog "Välj Codec": the compressors this build can write, the key-frame
// interval and the quality on 0 ... 100 (preset 85), the command line's scale. The writer holds
// the quality in hundredths of that (0 ... 10000): the dialog converts both ways. A start
// compressor this build does not write selects Motion JPEG, the command line's default too.
class CompressorDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kMaxQuality = 100;
    static constexpr int kPresetQuality = 85;
    // The writer's quality for one step of the dialog's.
    static constexpr int kWriterQualityStep = 100;

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

// The compressor the dialog offers first when the user has not chosen one: Motion JPEG keeps
// the fractal's colours (Microsoft Video 1 bands them to 15 bits).
inline constexpr const char* kPreferredCompressor = "MJPG";

// The codec of an MP4, Matroska, QuickTime or WebM movie as the movie file settings hold it:
// empty texts and a CRF of -1 take the codec's defaults.
struct VideoCodecChoice {
    std::string codec;
    int crf = -1;
    std::string preset;
    std::string pixelFormat;
    bool operator==(const VideoCodecChoice&) const = default;
};

// The compressor dialog "Välj Codec" of the containers other than AVI: the codecs this build
// writes into the container, each with its constant quality (CRF) scale, its presets and its
// pixel formats.
class VideoCodecDialog : public QDialog {
    Q_OBJECT
  public:
    VideoCodecDialog(QWidget* owner, Container container, const VideoCodecChoice& start);

    // The choice as the dialog shows it now; values left at the codec's default stay empty.
    VideoCodecChoice choice() const;

    QComboBox* codecList() const { return codecs_; }
    QSpinBox* crfEdit() const { return crf_; }
    QComboBox* presetList() const { return presets_; }
    QComboBox* pixelFormatList() const { return pixelFormats_; }

  private:
    // Fills the quality, preset and pixel format fields for the selected codec.
    void showCodec(const VideoCodecChoice& values);

    std::vector<const VideoCodec*> offered_;
    QComboBox* codecs_;
    QSpinBox* crf_;
    QComboBox* presets_;
    QComboBox* pixelFormats_;
};

// Shows the dialog; on OK `choice` takes the user's values and true is returned, on cancel it
// stays as it was.
bool chooseCompressor(QWidget* owner, CompressorChoice& choice);

// Shows the codec dialog of the container; on OK `choice` takes the user's values and true is
// returned, on cancel it stays as it was.
bool chooseVideoCodec(QWidget* owner, Container container, VideoCodecChoice& choice);

}  // namespace zr
