// Start, Stop and Test: the render thread, its progress and the end of a run.

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <cstdio>

#include "app/test_keyframe.h"
#include "movie/frame_composer.h"
#include "movie/render_job.h"
#include "movie/render_session.h"
#include "movie/run_status_text.h"
#include "output/movie_files.h"
#include "settings/setting_types.h"
#include "settings/start_conversion.h"
#include "ui/gui_render_host.h"
#include "ui/main_dialog.h"
#include "ui/preview_window.h"
#include "ui/scrubber.h"
#include "ui/start_checks.h"

namespace zr {

namespace {

std::string formatTimeLeft(long long seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", seconds / 3600, (seconds / 60) % 60,
                  seconds % 60);
    return text;
}

}  // namespace

bool MainDialog::runInProgress() const {
    return runActive_ || session_->running;
}

void MainDialog::reapFinishedRuns() {
    for (auto run = runs_.begin(); run != runs_.end();) {
        if (*run->done) {
            run->thread.join();
            run = runs_.erase(run);
        } else {
            ++run;
        }
    }
}

void MainDialog::startOrStop() {
    if (runInProgress()) {
        session_->requestStop();
        return;
    }
    StartConversionResult converted = convertControlsForStart(*this, spec_);
    if (!converted.ok) {
        if (QWidget* focus = control(converted.focusControl)) {
            focus->setFocus();
        }
        message(errorMessage(converted.message));
        return;
    }
    if (const std::optional<StartProblem> problem = checkBeforeStart(converted.spec)) {
        if (QWidget* focus = control(problem->focusControl)) {
            focus->setFocus();
        }
        message(errorMessage(problem->message));
        return;
    }
    if (!prepareMovieFiles(converted.spec)) {
        return;
    }
    spec_ = converted.spec;
    launchRun(false);
}

void MainDialog::launchRun(bool replaceForeignFiles) {
    reapFinishedRuns();
    session_->clearStop();
    session_->dumpImages = spec_.start.dumpImages;
    runActive_ = true;
    setText(kIdStart, "Stop");
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
    timeLeft_->clear();
    runStart_ = std::chrono::steady_clock::now();
    preview_->show();  // closed before, it comes back for the run
    preview_->scrubber().renderStarted();
    auto done = std::make_shared<std::atomic<bool>>(false);
    GuiRenderHost* host = host_.get();
    RenderSession* session = session_.get();
    ExistingFilePolicy policy;
    policy.overwrite = replaceForeignFiles;
    runs_.push_back(RenderRun{std::thread([spec = spec_, session, host, done, policy] {
                                  // The outcome reaches the dialog with the run's end event.
                                  static_cast<void>(
                                      runRenderJob(spec, *session, *host, std::nullopt, policy));
                                  *done = true;
                              }),
                              done});
}

bool MainDialog::prepareMovieFiles(MovieSpec& spec) {
    if (spec.output.testOnly || spec.output.skipRender) {
        return true;  // no movie file is written
    }
    MovieFileSpec& file = spec.output.movieFile;
    MovieFiles files(spec.output);
    if (files.avi()) {
        // Cancel keeps the compressor of the movie's description; the choice is the same for
        // every file of the movie.
        CompressorChoice choice;
        if (chooseCompressor(choice)) {
            file.codec = choice.fourcc;
            file.aviQuality = choice.quality / 100;
            file.aviKeyFrameEvery = choice.keyFrameEvery;
            files = MovieFiles(spec.output);
        }
    } else if (files.container() != nullptr) {
        // Cancel keeps the codec chosen before, as the AVI compressor dialog does.
        VideoCodecChoice choice{file.codec, file.crf, file.preset, file.pixelFormat};
        if (chooseVideoCodec(files.container()->id, choice)) {
            file.codec = choice.codec;
            file.crf = choice.crf;
            file.preset = choice.preset;
            file.pixelFormat = choice.pixelFormat;
            setText(kIdVideoCodec, choice.codec);
            setText(kIdCrf, choice.crf >= 0 ? std::to_string(choice.crf) : std::string());
            setText(kIdPreset, choice.preset);
            setText(kIdPixelFormat, choice.pixelFormat);
            files = MovieFiles(spec.output);
        }
    }
    const PictureSize size = movieFilePictureSize(spec);
    const std::string problem = files.check(size.width, size.height);
    if (problem.empty()) {
        return true;
    }
    if (QWidget* focus = control(kIdMovieFile)) {
        focus->setFocus();
    }
    message(errorMessage(asSentence(problem)));
    return false;
}

void MainDialog::renderFinished(const RenderOutcome& outcome) {
    lastOutcome_ = outcome;
    runActive_ = false;
    session_->clearStop();
    setText(kIdStatus, statusText(outcome));
    setText(kIdCurrentCycle, valueText(outcome.colors.cycle));
    setText(kIdCurrentRotation, valueText(outcome.colors.rotation));
    setText(kIdStart, "Start");
    timeLeft_->clear();
    preview_->scrubber().renderEnded();
    timelineColorsChanged();  // the next run starts from the colours this one left
    if (exitAfterRun_) {
        exitAfterRun_ = false;
        done(0);
        return;
    }
    if (outcome.failureKind == RunFailureKind::kTimeStampOrder) {
        showRunMessage(errorMessage(outcome.failure));
    }
    if (outcome.failureKind == RunFailureKind::kForeignFile) {
        // Never replaced without asking: the file may be a movie of the user's own.
        MessageRequest ask;
        ask.title = "Replace file?";
        ask.text = asSentence(outcome.failure) + "\n\nReplace \"" + outcome.foreignFile +
                   "\" with the movie?";
        ask.icon = MessageIcon::question;
        ask.buttons = MessageButtons::yesNo;
        if (message(ask) == MessageAnswer::yes) {
            launchRun(true);
        }
    }
}

void MainDialog::showRunMessage(const MessageRequest& request) {
    runMessages_.push_back(request);
    if (showingRunMessages_) {
        return;  // shown once the ones before it have been answered
    }
    showingRunMessages_ = true;
    while (!runMessages_.empty()) {
        const MessageRequest next = runMessages_.front();
        runMessages_.pop_front();
        message(next);
    }
    showingRunMessages_ = false;
}

void MainDialog::exitDialog() {
    if (!runInProgress()) {
        done(0);
        return;
    }
    if (exitAfterRun_) {
        return;  // already stopping, the dialog ends with the run
    }
    const MessageAnswer answer = message(MessageRequest{
        "Exit",
        "A movie is being rendered. Stop the render and exit?\n\nThe render stops after the "
        "current frame and finishes the movie file it is writing before the program ends.",
        MessageIcon::question, MessageButtons::yesNo});
    if (answer != MessageAnswer::yes) {
        return;
    }
    if (!runInProgress()) {
        done(0);  // the run ended while the question was open
        return;
    }
    // The same stop as the Stop button's; the end notice closes the dialog.
    exitAfterRun_ = true;
    session_->requestStop();
}

void MainDialog::showProgress(long long framesDone, long long framesPlanned) {
    // The bar counts in thousandths when the totals exceed what it holds.
    const long long planned = std::max(1LL, framesPlanned);
    const long long done = std::clamp(framesDone, 0LL, planned);
    const int scale = planned > 1000000000LL ? 1000 : 1;
    progressBar_->setTextVisible(true);
    progressBar_->setRange(0, static_cast<int>(planned / scale));
    progressBar_->setValue(static_cast<int>(done / scale));
    preview_->scrubber().renderProgress(done);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count();
    if (done > 0 && done < planned) {
        const auto left = static_cast<long long>(elapsed * (planned - done) / done);
        timeLeft_->setText(QString::fromStdString(formatTimeLeft(left)));
    } else {
        timeLeft_->clear();
    }
}

void MainDialog::testKeyFrame() {
    if (runInProgress()) {
        return;
    }
    setText(kIdTest, "...");
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const TestKeyFrameResult result =
        zr::testKeyFrame(*this, spec_, testSlope_, *session_, host_.get());
    if (result.image) {
        preview_->show();
        preview_->scrubber().holdPicture();
        preview_->showFrame(*result.image);
    } else {
        message(errorMessage(result.message));
    }
    setText(kIdTest, "Test");
    timelineColorsChanged();  // a run started now goes on from the colours Test left
}

}  // namespace zr
