#include "movie/movie_fingerprint.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "support/safe_file.h"

namespace zr {

namespace {

// The text the fingerprint is made of: one value after another, each ended by a line feed.
class FingerprintText {
  public:
    FingerprintText& operator<<(const std::string& value) {
        text_ += value;
        text_ += '\n';
        return *this;
    }
    FingerprintText& operator<<(const char* value) { return *this << std::string(value); }
    FingerprintText& operator<<(double value) {
        char number[40];
        std::snprintf(number, sizeof number, "%.17g", value);
        return *this << std::string(number);
    }
    FingerprintText& operator<<(long long value) { return *this << std::to_string(value); }
    FingerprintText& operator<<(int value) { return *this << std::to_string(value); }
    FingerprintText& operator<<(unsigned value) { return *this << std::to_string(value); }
    FingerprintText& operator<<(bool value) { return *this << std::string(value ? "1" : "0"); }

    // A file by name, size and modification time; "none" for no file.
    void file(const std::string& path) {
        struct stat info {};
        if (path.empty() || ::stat(path.c_str(), &info) != 0) {
            *this << (path.empty() ? "none" : "missing " + filename(path));
            return;
        }
        *this << filename(path) << static_cast<long long>(info.st_size)
              << static_cast<long long>(info.st_mtim.tv_sec)
              << static_cast<long long>(info.st_mtim.tv_nsec);
    }

    template <typename Track>
    void track(const char* name, const Track& rows) {
        *this << name << rows.rowCount();
        for (const auto& row : rows.rows()) {
            *this << row.keyText << row.valueText;
        }
    }

    const std::string& text() const { return text_; }

  private:
    static std::string filename(const std::string& path) {
        return std::filesystem::path(path).filename().string();
    }

    std::string text_;
};

void addOutput(FingerprintText& text, const OutputSpec& output) {
    const MovieFileSpec& file = output.movieFile;
    text << "output" << output.fps << output.framesPerMovie << output.movieWidth
         << output.movieHeight << output.bitsPerPixel << output.aspect43
         << std::filesystem::path(output.firstMovieFile()).extension().string() << file.codec
         << file.aviQuality << file.aviKeyFrameEvery << file.crf << file.preset << file.pixelFormat
         << file.soundtrackOffset;
    text.file(output.soundtrackFile());
}

void addColoring(FingerprintText& text, const MovieSpec& spec) {
    const ZoomSpec& zoom = spec.zoom;
    text << "zoom" << zoom.zoomFactor << zoom.mergeCount << zoom.frameByFrame
         << zoom.stopOnLastFrame << zoom.ellipticRegion << zoom.leftScrolling << zoom.subpixelZoom
         << zoom.supersample;
    const ColoringSpec& coloring = spec.coloring;
    text << "colouring" << coloring.colorMethod << coloring.smoothColoring
         << coloring.fixedColorCycling << coloring.insideColor << coloring.waveColoring
         << coloring.slopes << coloring.slopePower << coloring.slopeRatio << coloring.divideSlopes;
    for (const HsbWave& wave : coloring.hsbWaves) {
        text << wave.type << wave.period << wave.phase << wave.endFlag;
        if (wave.endFlag != 0) {
            break;
        }
    }
    for (const LongWave& wave : coloring.longWaves) {
        text << wave.period << wave.endFlag << wave.color << wave.percent;
        if (wave.endFlag != 0) {
            break;
        }
    }
    const TextureSpec& texture = spec.texture;
    text << "texture" << texture.texture << texture.textureDepth << texture.textureStrength
         << texture.textureMerge << texture.textureMulti;
    if (texture.texture) {
        text.file(texture.textureFile);
        for (const std::string& picture : texture.textureFiles) {
            text.file(picture);
        }
    }
    text << "zoom text" << spec.zoomText.showZoomText << spec.zoomText.fontFace;
}

}  // namespace

std::string movieFingerprint(const MovieSpec& spec, const std::vector<std::string>& keyFrames) {
    FingerprintText text;
    addOutput(text, spec.output);
    addColoring(text, spec);
    const TimelineSpec& timeline = spec.timeline;
    text << "timeline" << static_cast<int>(timeline.timeType);
    text.track("speed", timeline.speedSpecs);
    text.track("rotate", timeline.rotateSpecs);
    text.track("cycle", timeline.cycleSpecs);
    text.track("divide", timeline.divideSpecs);
    text.track("colours", timeline.colorCountSpecs);
    const StartSpec& start = spec.start;
    text << "start" << start.startFrame << start.startCycle << start.startRotation
         << start.rotationActive << start.startIteration;
    text << "key frames" << static_cast<long long>(keyFrames.size());
    for (const std::string& keyFrame : keyFrames) {
        text.file(keyFrame);
    }
    return hexDigits(fnv1a64(text.text()));
}

}  // namespace zr
