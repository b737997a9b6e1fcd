#include "movie/render_job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "coloring/palette.h"
#include "coloring/render_key_frame.h"
#include "coloring/scale_image.h"
#include "coloring/texture.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_folder.h"
#include "movie/colour_range.h"
#include "movie/frame_composer.h"
#include "movie/plan.h"
#include "movie/render_session.h"
#include "movie/timeline.h"
#include "movie/zoom_text.h"
#include "output/avi_writer.h"
#include "output/jpeg_dump.h"
#include "output/movie_file.h"
#include "settings/controls.h"
#include "settings/movie_settings.h"
#include "settings/render_host.h"
#include "settings/start_conversion.h"

namespace zr {

namespace {

constexpr int kJpegDumpQuality = 99;
// The largest picture the program makes (what a FrameImage may hold).
constexpr double kLargestPicture = 1024.0 * 1024.0 * 1024.0;

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern, args...);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// The text after the last directory separator of a path.
std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

class RenderJob {
  public:
    RenderJob(RenderSession& session, RenderHost& host)
        : session_(session),
          host_(host),
          settings_(movieSettings()),
          timeline_(settings_, host, [](int count) { expandPalette(count); }) {}

    RenderOutcome run();

  private:
    bool startRun();
    // False, with the failure shown, when the movie frame or the composed picture would be
    // larger than a picture may be.
    bool picturesFit();
    bool listFolder();
    void makeMovieFrame();
    void renderKeyFrame(int k);
    void composeKeyFrame(int k);
    void recompose(int k);
    bool drawFrame(const FrameView& view);
    void outputFrame();
    void writeToMovie(const FrameImage& picture);
    void nextMovieFile();
    bool movieFileDone(const std::string& path) const;
    void closeWriter();
    void endRun();
    void showFrameStatus(int k);
    std::string withWriterError(std::string status) const;
    void fail(RunFailureKind kind, std::string message);

    RenderSession& session_;
    RenderHost& host_;
    MovieSettings& settings_;
    TimelineEngine timeline_;
    RenderOutcome outcome_;

    std::vector<std::string> keyFrames_;  // sorted paths; the index is the key frame number
    std::string folder_;                  // with its trailing separator
    std::string moviePath_;
    int movieNumber_ = 0;          // M
    int frameInMovie_ = 0;         // F
    long long framesCounted_ = 0;  // T
    long long framesPlanned_ = 0;
    int keyFrame_ = 0;  // k
    std::string keyFrameName_;

    std::unique_ptr<AviWriter> writer_;
    bool writerFailed_ = false;  // the current writer has reported a failure

    FrameImage movieFrame_;
    OptionalImage composed_;
    // The composition of the current key frame was left out while an existing movie file was
    // being skipped; it is made when the first frame of a missing file needs it.
    bool compositionSkipped_ = false;
    int composedWidth_ = 0;
    int composedHeight_ = 0;

    std::string zoomText_;
    std::unique_ptr<ZoomTextPainter> painter_;
    // What lay under the caption of the last frame: a frame that is repeated because its key
    // frame has no picture gets it back before the caption is drawn again.
    FrameImage underCaption_;
};

RenderOutcome RenderJob::run() {
    bool started = false;
    try {
        started = startRun();
        if (started) {
            while (settings_.stopRequested.load() == 0 &&
                   keyFrame_ < static_cast<int>(keyFrames_.size())) {
                renderKeyFrame(keyFrame_);
                ++keyFrame_;
            }
            outcome_.stopped = settings_.stopRequested.load() != 0;
            endRun();
        }
    } catch (const std::exception& error) {
        // Nothing may leave the run's thread: the run ends as after a failure at its start.
        started = false;
        outcome_.done = false;
        fail(RunFailureKind::kInternal, std::string("The render stopped: ") + error.what());
    }
    if (!started) {
        try {
            closeWriter();
        } catch (const std::exception&) {
        }
        host_.finished();
    }
    // The flag belongs to the run: a key frame rendered after it (Test) must not be skipped.
    session_.skipExistingMovie = 0;
    outcome_.framesCounted = framesCounted_;
    return std::move(outcome_);
}

bool RenderJob::picturesFit() {
    const auto bytes = [](double width, double height) {
        return std::trunc(width) * FrameImage::kBytesPerPixel * std::trunc(height);
    };
    const double movieBytes = bytes(settings_.movieWidth, settings_.movieHeight);
    const double composedBytes = bytes(settings_.zoomFactor * settings_.movieWidth,
                                       settings_.zoomFactor * settings_.movieHeight);
    if (movieBytes <= kLargestPicture && composedBytes <= kLargestPicture) {
        return true;
    }
    fail(RunFailureKind::kMovieTooLarge,
         format("Movie too large: %dx%d pixels with zoom factor %g needs pictures of more than "
                "1 GB; choose a smaller movie size or zoom factor",
                settings_.movieWidth, settings_.movieHeight, settings_.zoomFactor));
    return false;
}

void RenderJob::fail(RunFailureKind kind, std::string message) {
    outcome_.failureKind = kind;
    outcome_.failure = std::move(message);
    host_.setStatus(outcome_.failure);
}

bool RenderJob::startRun() {
    discardTexture();
    timeline_.startColourRange(host_.controlText(kIdStartIteration));
    settings_.colorsFromKeyFrame = 1;

    folder_ = folderPart(settings_.folderPattern);
    moviePath_ = folder_ + movieFileName(0);
    session_.skipExistingMovie = fileExists(moviePath_) ? 1 : 0;
    host_.setStatus("Start");

    if (!listFolder()) {
        fail(RunFailureKind::kInvalidFolder, "Invalid Folder");
        return false;
    }

    if (!picturesFit()) {
        return false;
    }

    movieNumber_ = 0;
    frameInMovie_ = 0;
    framesCounted_ = 0;
    writer_ = std::make_unique<AviWriter>(moviePath_, settings_.bitsPerPixel, settings_.fps, 1, 100,
                                          "MSVC");
    session_.keyFrames().emptyAll();
    timeline_.applyFirstKeyFrameRows();
    makeMovieFrame();

    const int w = movieFrame_.width();
    const int h = movieFrame_.height();
    if (settings_.testOnly == 0) {
        if (settings_.rotationActive != 0) {
            writer_->chooseCompressor(host_, w / 2, h / 2);
        } else if (settings_.aspect43 != 0) {
            writer_->chooseCompressor(host_, 4 * h / 3, h);
        } else {
            writer_->chooseCompressor(host_, w, h);
        }
    }

    if (!timeline_.startSpeeds(host_.controlSelection(kIdTimeType),
                               static_cast<int>(keyFrames_.size()))) {
        outcome_.failureKind = RunFailureKind::kTimeStampOrder;
        outcome_.failure = "Later timestamps can not be earlier";
        return false;
    }
    keyFrame_ = std::max(0, std::atoi(host_.controlText(kIdStartFrame).c_str()));
    const std::optional<MoviePlan> plan =
        planMovie(settings_, static_cast<int>(keyFrames_.size()), keyFrame_,
                  host_.controlSelection(kIdTimeType), nullptr,
                  [this] { return settings_.stopRequested.load() != 0; });
    framesPlanned_ = plan ? plan->totalFrames : 0;
    session_.skipExistingMovie = movieFileDone(moviePath_) ? 1 : 0;
    host_.progress(0, framesPlanned_);
    if (settings_.showZoomText != 0) {
        painter_ = std::make_unique<ZoomTextPainter>(settings_.fontFace);
    }
    return true;
}

bool RenderJob::listFolder() {
    keyFrames_ = listKeyFrames(
        folder_, settings_.leftScrolling != 0 ? SortOrder::kAscending : SortOrder::kDescending);
    if (keyFrames_.empty()) {
        return false;
    }
    for (std::size_t i = 1; i <= keyFrames_.size(); ++i) {
        host_.setStatus(format("Browsing:%d", static_cast<int>(i)));
    }
    return true;
}

void RenderJob::makeMovieFrame() {
    // The key colours, and the division unless a DIVIDE row of key frame 0 gives it, come from
    // the first key frame of the list that reads (the widest one, unless it is damaged).
    if (settings_.skipRender == 0) {
        for (const std::string& path : keyFrames_) {
            if (const KeyFrame* keyFrame = session_.keyFrames().load(path, &host_)) {
                takeKeyFrameHeader(*keyFrame, settings_);
                break;
            }
        }
    }
    OptionalImage first = zr::renderKeyFrame(session_.keyFrames(), keyFrames_.front(), 0.0,
                                             timeline_.state().slopeScale, 1.0, &host_);
    if (!first) {
        first = loadImageFile(keyFrames_.front());
    }
    const int width = std::max(settings_.movieWidth, 1);
    const int height = std::max(settings_.movieHeight, 1);
    if (!first || first->empty()) {
        movieFrame_ = FrameImage(width, height);
    } else if (first->width() != width || first->height() != height) {
        movieFrame_ = scaleImage(*first, width, height);
    } else {
        movieFrame_ = std::move(*first);
    }
}

void RenderJob::composeKeyFrame(int k) {
    ComposeRequest request;
    request.keyFrame = k;
    request.cycleOffset = settings_.startCycle;
    request.zoomFactor = settings_.zoomFactor;
    request.movieWidth = settings_.movieWidth;
    request.movieHeight = settings_.movieHeight;
    const TimelineState& state = timeline_.state();
    request.slopeScale = state.slopeScale;
    request.textureScale = state.textureScale;
    request.stretchMinStep = state.stretchMinStep;
    request.stretchMaxStep = state.stretchMaxStep;
    request.keyMin = state.keyMin;
    request.keyMax = state.keyMax;
    composed_ = composeKeyFrames(session_, host_, keyFrames_, request);
    compositionSkipped_ = session_.skipExistingMovie.load() != 0 && settings_.skipRender == 0;
}

void RenderJob::recompose(int k) {
    composed_.reset();
    timeline_.advanceColoursForComposition();
    composeKeyFrame(k);
    if (composed_ && composedWidth_ > 0 && composed_->width() != composedWidth_) {
        composed_ = scaleImage(*composed_, composedWidth_, composedHeight_);
    }
    timeline_.advanceScalesAfterComposition();
}

void RenderJob::renderKeyFrame(int k) {
    const int keyFrameCount = static_cast<int>(keyFrames_.size());
    textureKeyFrameStep(k, keyFrameCount);
    zoomText_ = buildZoomText(keyFrames_[k]);
    if (colourRangeInUse(settings_)) {
        updateColourRange(session_, keyFrames_[k], timeline_.state(), settings_, host_);
    }
    keyFrameName_ = fileNameOf(keyFrames_[k]);
    session_.keyFrames().clearInUse();
    host_.setStatus(format("Create image M:%d,P:%d,F:%d %s", movieNumber_, k, frameInMovie_,
                           keyFrameName_.c_str()));

    composed_.reset();
    timeline_.applyColorCountStep();
    composeKeyFrame(k);
    if (composed_) {
        composedWidth_ = composed_->width();
        composedHeight_ = composed_->height();
    }

    timeline_.beginKeyFrame(k, keyFrameCount);
    if (settings_.testOnly != 0 && settings_.skipRender != 0 &&
        findSpecRow(settings_.speedSpecs, k) >= 0) {
        const long long fps = std::max(settings_.fps, 1);
        const long long t = framesCounted_;
        host_.showDebug(format("Frame: %d\nTime: %02lld:%02lld:%02lld.%03lld", k, t / (fps * 3600),
                               (t / (fps * 60)) % 60, (t / fps) % 60, (t % fps) * 1000 / fps));
    }

    // A stop asked for while the key frame was composed ends the run before its first frame.
    while (settings_.stopRequested.load() == 0) {
        const std::optional<FrameView> view = timeline_.beginFrame();
        if (!view) {
            break;
        }
        if (timeline_.needsRecomposition()) {
            recompose(k);
        }
        if (!drawFrame(*view)) {
            break;
        }
        outputFrame();
        ++framesCounted_;
        host_.progress(framesCounted_, std::max(framesPlanned_, framesCounted_));
        showFrameStatus(k);
        const bool goOn = timeline_.endFrame();
        if (!goOn || settings_.stopRequested.load() != 0) {
            break;
        }
    }
    timeline_.endKeyFrame();
}

bool RenderJob::drawFrame(const FrameView& view) {
    const bool shown = session_.skipExistingMovie.load() == 0 && settings_.skipRender == 0;
    if (shown && compositionSkipped_) {
        // Resuming in the middle of a key frame: its picture was not made at its start.
        composeKeyFrame(keyFrame_);
        if (composed_) {
            composedWidth_ = composed_->width();
            composedHeight_ = composed_->height();
        }
    }
    if (settings_.leftScrolling != 0) {
        const std::optional<double> column = timeline_.scrollColumn();
        if (!column) {
            return false;
        }
        if (shown && composed_) {
            scrollFrame(*composed_, movieFrame_, *column);
        }
    } else if (shown && composed_) {
        viewFrame(*composed_, movieFrame_, view.halfWidth, view.halfHeight);
    }
    if (!shown) {
        return true;  // the frame is counted but not output: nothing to draw on it
    }
    if (painter_) {
        const ZoomTextPainter::Area area = painter_->area(movieFrame_.width(), zoomText_);
        if (!composed_ && !underCaption_.empty()) {
            // The frame repeats the last one: take its caption off first.
            copyBlock(underCaption_, 0, 0, movieFrame_, 0, 0, underCaption_.width(),
                      underCaption_.height());
        }
        if (area.right > 0 && area.bottom > 0) {
            if (underCaption_.width() != area.right || underCaption_.height() != area.bottom) {
                underCaption_ = FrameImage(area.right, area.bottom);
            }
            copyBlock(movieFrame_, 0, 0, underCaption_, 0, 0, area.right, area.bottom);
        }
        painter_->draw(movieFrame_, zoomText_);
    }
    return true;
}

void RenderJob::outputFrame() {
    if (session_.skipExistingMovie.load() == 0 && settings_.skipRender == 0) {
        if (settings_.rotationActive != 0) {
            FinishOptions options;
            options.rotationActive = true;
            options.rotation = settings_.startRotation;
            options.zoomText = painter_.get();
            options.zoomTextString = zoomText_;
            const OptionalImage out = finishFrame(movieFrame_, options, true);
            const FrameImage& picture = out ? *out : movieFrame_;
            host_.showPreview(picture);
            if (settings_.testOnly == 0) {
                writeToMovie(picture);
            }
            if (host_.controlChecked(kIdDumpImages)) {
                saveFrameAsJpeg(jpegDumpPath(moviePath_, movieNumber_, frameInMovie_), picture,
                                kJpegDumpQuality);
            }
            settings_.startRotation += timeline_.state().rotationSpeed;
            textureRotationStep();
            if (settings_.startRotation > 360.0) {
                settings_.startRotation -= 360.0;
            } else if (settings_.startRotation < -360.0) {
                settings_.startRotation += 360.0;
            }
        } else {
            host_.showPreview(movieFrame_);
            if (settings_.testOnly == 0) {
                FinishOptions options;
                options.aspect43 = settings_.aspect43 != 0;
                const OptionalImage part = finishFrame(movieFrame_, options, true);
                writeToMovie(part ? *part : movieFrame_);
            }
            textureFadeStep();
        }
    }
    ++frameInMovie_;
    if (frameInMovie_ >= settings_.framesPerMovie) {
        frameInMovie_ = 0;
        ++movieNumber_;
        if (settings_.skipRender == 0) {
            nextMovieFile();
        }
    }
}

void RenderJob::writeToMovie(const FrameImage& picture) {
    if (!writer_) {
        return;
    }
    if (writer_->writeFrame(picture) == kAviOk) {
        ++outcome_.framesWritten;
    } else if (!writerFailed_) {
        writerFailed_ = true;
        outcome_.movieFailures.push_back({writer_->fileName(), writer_->errorText()});
    }
}

void RenderJob::nextMovieFile() {
    moviePath_ = folder_ + movieFileName(movieNumber_);
    if (movieFileDone(moviePath_)) {
        session_.skipExistingMovie = 1;
        return;
    }
    session_.skipExistingMovie = 0;
    const std::string handler = writer_ ? writer_->compressorHandler() : std::string("MSVC");
    auto next = std::make_unique<AviWriter>(moviePath_, settings_.bitsPerPixel, settings_.fps, 1,
                                            100, handler);
    closeWriter();
    writer_ = std::move(next);
}

bool RenderJob::movieFileDone(const std::string& path) const {
    if (!fileExists(path)) {
        return false;
    }
    if (framesPlanned_ <= 0 || settings_.framesPerMovie <= 0) {
        return true;
    }
    // A stopped run leaves a shorter file that plays; it counts as done only once it holds
    // every frame the plan gives it, so the next run writes it again, whole.
    const long long framesBefore = static_cast<long long>(movieNumber_) * settings_.framesPerMovie;
    const long long expected =
        std::min<long long>(settings_.framesPerMovie, framesPlanned_ - framesBefore);
    return expected <= 0 || movieFileFrameCount(path) >= expected;
}

void RenderJob::closeWriter() {
    if (!writer_) {
        return;
    }
    const bool wrote = writer_->state() == 2;
    if (writer_->close() != kAviOk) {
        if (!writerFailed_) {
            outcome_.movieFailures.push_back({writer_->fileName(), writer_->errorText()});
        }
    } else if (wrote && !writerFailed_) {
        outcome_.moviesWritten.push_back(writer_->fileName());
    }
    writer_.reset();
    writerFailed_ = false;
}

std::string RenderJob::withWriterError(std::string status) const {
    if (writerFailed_ && writer_ && !writer_->errorText().empty()) {
        status += ' ';
        status += writer_->errorText();
    }
    return status;
}

void RenderJob::showFrameStatus(int k) {
    host_.setStatus(
        format("M:%d,P:%d,F:%d %s", movieNumber_, k, frameInMovie_, keyFrameName_.c_str()));
    host_.setStatus(withWriterError(format(
        "M:%d,P:%d,F:%d,C:%f,D:%f,R:%f %s", movieNumber_, k, frameInMovie_, settings_.startCycle,
        settings_.colorDivision, settings_.startRotation, keyFrameName_.c_str())));
    host_.setValue(kIdCurrentCycle, format("%f", settings_.startCycle));
    host_.setValue(kIdCurrentRotation, format("%f", settings_.startRotation));
}

void RenderJob::endRun() {
    closeWriter();
    std::string status =
        format("Done! M:%d,P:%d,F:%d,C:%f,D:%f,R:%f", movieNumber_, keyFrame_, frameInMovie_,
               settings_.startCycle, settings_.colorDivision, settings_.startRotation);
    if (!outcome_.movieFailures.empty()) {
        const MovieFileFailure& failure = outcome_.movieFailures.back();
        status += ' ' + failure.reason;
    }
    host_.setStatus(status);
    outcome_.done = true;
    host_.finished();
    host_.setValue(kIdCurrentCycle, format("%f", settings_.startCycle));
    host_.setValue(kIdCurrentRotation, format("%f", settings_.startRotation));
}

}  // namespace

RenderOutcome runRenderJob(RenderSession& session, RenderHost& host) {
    RenderJob job(session, host);
    return job.run();
}

int renderJobMain(RenderSession& session, RenderHost& host) {
    runRenderJob(session, host);
    return 1;
}

}  // namespace zr
