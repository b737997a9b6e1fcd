#include "movie/render_job.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "coloring/texture.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "movie/frame_composer.h"
#include "movie/frame_loop.h"
#include "movie/frame_renderer.h"
#include "movie/movie_fingerprint.h"
#include "movie/render_host.h"
#include "movie/render_session.h"
#include "output/avi_writer.h"
#include "output/jpeg_dump.h"
#include "output/movie_file.h"
#include "output/movie_files.h"
#include "output/movie_record.h"
#include "support/folder_lock.h"
#include "support/printf_text.h"
#include "support/safe_file.h"

namespace zr {

namespace {

constexpr int kJpegDumpQuality = 99;
// The largest picture the program makes (what a FrameImage may hold).
constexpr double kLargestPicture = 1024.0 * 1024.0 * 1024.0;

// The text after the last directory separator of a path.
std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

class RenderJob : public RunHooks {
  public:
    RenderJob(const MovieSpec& spec, RenderSession& session, RenderHost& host,
              std::optional<MovieFileRange> files, ExistingFilePolicy policy)
        : session_(session),
          host_(host),
          files_(files),
          policy_(policy),
          movieFiles_(spec.output, WriterThreads{session.threads(), session.encoderThreads()}) {
        run_.spec = spec;
    }

    RenderOutcome run();

    void keyFrameStarting(const RunState& state) override;
    void compose(const RunState& state) override;
    void keyFrameBegun(const RunState& state) override;
    void outputFrame(const RunState& state, const FrameView& view,
                     std::optional<double> column) override;
    void frameDone(const RunState& state) override;

  private:
    bool startRun();
    // False, with the failure shown, when the movie frame or the composed picture would be
    // larger than a picture may be.
    bool picturesFit();
    bool listFolder();
    // Brings the run to the first frame of the first movie file asked for, without pictures.
    // False, with the failure shown, when the movie has no such file.
    bool seekFirstFile();
    bool pastLastFile() const { return files_ && state_.counters.movieNumber > files_->last; }
    // False, with the failure shown, when the movie files cannot be written as asked.
    bool movieFilesFit();
    bool writesMovieFiles() const {
        return !run_.spec.output.testOnly && !run_.spec.output.skipRender;
    }
    // Takes the hold on the movie's folder; false, with the failure shown, when another render
    // holds it.
    bool lockFolder();
    // Decides for every movie file of the run that exists already whether it is kept or made
    // again, before the first frame. False, with the failure shown, when a name cannot be
    // written or holds a file this program did not make.
    bool judgeMovieFiles();
    enum class Verdict { kMake, kKeep, kRefuse };
    Verdict judgeMovieFile(int movieNumber, const std::string& path);
    void writeToMovie(const FrameImage& picture);
    // The frame about to be written lacks these key frames.
    void noteUnusable(const std::vector<KeyFrameReadError>& unusable);
    // Marks a movie file with why it is not whole (a stop cut it short, or it lacks some key
    // frame's detail), or takes a whole one's mark off (`reason` empty).
    void markMovieFile(const std::string& path, const std::string& reason);
    std::string unusableText() const;
    void nextMovieFile(int movieNumber);
    bool movieFileDone(const std::string& path, int movieNumber) const;
    // The frames the plan gives movie file `movieNumber`.
    long long framesDueIn(int movieNumber) const;
    std::string whyNoFrames() const;
    void closeWriter();
    void endRun();
    // What the next run or Test goes on from.
    void leaveColors();
    bool makingPictures() const { return !skipping_ && !run_.spec.output.skipRender; }
    void fail(RunFailureKind kind, std::string message);
    RunColors colors() const;

    RenderSession& session_;
    RenderHost& host_;
    MovieRun run_;
    std::unique_ptr<FrameLoop> loop_;
    std::unique_ptr<FrameRenderer> renderer_;
    RunState state_;
    bool started_ = false;  // the state went through the start of the run
    RenderOutcome outcome_;

    std::string moviePath_;
    // The movie file now due already exists whole: its frames are counted but not made.
    bool skipping_ = false;
    long long framesPlanned_ = 0;
    std::optional<MovieFileRange> files_;  // the movie files to make; none: all
    ExistingFilePolicy policy_;
    std::set<int> keptFiles_;  // the movie files that exist whole and are not made again
    FolderLock folderLock_;
    long long firstFrame_ = 0;    // the run's frame this run makes first
    long long framesToMake_ = 0;  // from firstFrame_ on
    std::string keyFrameName_;

    MovieFiles movieFiles_;
    std::unique_ptr<MovieFileWriter> writer_;
    bool writerFailed_ = false;  // the current writer has reported a failure
    int writerMovieNumber_ = 0;  // the movie file the current writer writes
    long long framesInWriter_ = 0;
    bool writerMissesKeyFrames_ = false;  // a frame of the current writer lacks a key frame
};

RenderOutcome RenderJob::run() {
    // The session shows the run as running until it has left its colours, just before it tells
    // its end (and whatever ends it).
    struct RunningFlag {
        explicit RunningFlag(std::atomic<bool>& flag) : flag(flag) { flag = true; }
        ~RunningFlag() { flag = false; }
        std::atomic<bool>& flag;
    } runningFlag(session_.running);
    bool running = false;
    try {
        running = startRun();
        if (running) {
            while (!pastLastFile() && !outcome_.movieNotCreated && !outcome_.movieWriteFailed &&
                   loop_->step(state_, makingPictures())) {
            }
            outcome_.stopped = session_.stopRequested();
            endRun();
        }
    } catch (const std::exception& error) {
        // Nothing may leave the run's thread: the run ends as after a failure at its start.
        running = false;
        outcome_.done = false;
        fail(RunFailureKind::kInternal, std::string("The render stopped: ") + error.what());
    }
    if (!running) {
        try {
            closeWriter();
        } catch (const std::exception&) {
        }
        leaveColors();
    }
    outcome_.counters = state_.counters;
    outcome_.colors = colors();
    outcome_.framesCounted = state_.counters.framesCounted;
    session_.running = false;
    host_.runEnded(outcome_);
    return std::move(outcome_);
}

RunColors RenderJob::colors() const {
    return {state_.color.startCycle, state_.color.colorDivision, state_.color.startRotation};
}

bool RenderJob::picturesFit() {
    const OutputSpec& output = run_.spec.output;
    const double zoom = run_.spec.zoom.zoomFactor;
    const auto bytes = [](double width, double height) {
        return std::trunc(width) * FrameImage::kBytesPerPixel * std::trunc(height);
    };
    const double movieBytes = bytes(output.movieWidth, output.movieHeight);
    const double composedBytes = bytes(zoom * output.movieWidth, zoom * output.movieHeight);
    if (movieBytes <= kLargestPicture && composedBytes <= kLargestPicture) {
        return true;
    }
    fail(RunFailureKind::kMovieTooLarge,
         printfText("Movie too large: %dx%d pixels with zoom factor %g needs pictures of more than "
                    "1 GB; choose a smaller movie size or zoom factor",
                    output.movieWidth, output.movieHeight, zoom));
    return false;
}

void RenderJob::fail(RunFailureKind kind, std::string message) {
    outcome_.failureKind = kind;
    outcome_.failure = std::move(message);
}

bool RenderJob::listFolder() {
    run_.keyFrames = listRunKeyFrames(run_.spec);
    host_.folderListed(static_cast<int>(run_.keyFrames.size()));
    return !run_.keyFrames.empty();
}

bool RenderJob::startRun() {
    moviePath_ = movieFiles_.path(0);
    host_.runStarted();

    if (!listFolder()) {
        fail(RunFailureKind::kInvalidFolder, "Invalid Folder");
        return false;
    }
    if (!picturesFit() || !movieFilesFit() || !lockFolder()) {
        return false;
    }
    outcome_.textureProblem = textureProblem(run_.spec.texture);

    // Every run reads its key frames anew, in case a file changed since the last one.
    session_.keyFrames().emptyAll();

    FrameLoop::Options options;
    options.hooks = this;
    options.host = &host_;
    options.stop = [this] { return session_.stopRequested(); };
    loop_ = std::make_unique<FrameLoop>(run_, session_, options);
    if (!loop_->start(state_, session_.colors)) {
        fail(RunFailureKind::kTimeStampOrder, "Later timestamps can not be earlier");
        return false;
    }
    started_ = true;
    renderer_ = std::make_unique<FrameRenderer>(run_, session_, &host_);
    renderer_->startRun(state_);

    framesPlanned_ = framesOfRun(run_, session_, state_);
    framesToMake_ = framesPlanned_;
    movieFiles_.setPlannedFrames(framesPlanned_);
    if (writesMovieFiles()) {
        movieFiles_.setFingerprint(movieFingerprint(run_.spec, run_.keyFrames));
    }
    if (files_ && !seekFirstFile()) {
        return false;
    }
    if (writesMovieFiles() && !judgeMovieFiles()) {
        return false;
    }
    if (state_.counters.movieNumber == 0) {
        writer_ = movieFiles_.open(0);
        skipping_ = movieFileDone(moviePath_, 0);
    } else if (state_.phase != RunState::Phase::kEnded) {
        nextMovieFile(state_.counters.movieNumber);
    }
    host_.runPlanned(framesToMake_);
    return true;
}

bool RenderJob::seekFirstFile() {
    const long long perFile = std::max(run_.spec.output.framesPerMovie, 1);
    const long long fileCount = (framesPlanned_ + perFile - 1) / perFile;
    if (files_->first < 0 || files_->last < files_->first || files_->last >= fileCount) {
        fail(RunFailureKind::kFilesPastEnd,
             printfText("Movie files %d-%d asked for, but the movie has %lld (0-%lld)",
                        files_->first, files_->last, fileCount, fileCount - 1));
        return false;
    }
    firstFrame_ = files_->first * perFile;
    framesToMake_ = std::min((files_->last + 1) * perFile, framesPlanned_) - firstFrame_;
    FrameLoop::Options options;
    options.host = &host_;
    options.stop = [this] { return session_.stopRequested(); };
    FrameLoop seeker(run_, session_, options);
    // A stop request ends the seeking early, and with it the run.
    if (seeker.seek(state_, firstFrame_)) {
        const auto keyFrame = static_cast<std::size_t>(state_.counters.keyFrame);
        if (keyFrame < run_.keyFrames.size()) {
            keyFrameName_ = fileNameOf(run_.keyFrames[keyFrame]);
        }
    }
    return true;
}

bool RenderJob::movieFilesFit() {
    const OutputSpec& output = run_.spec.output;
    if (output.testOnly || output.skipRender) {
        return true;  // no movie file is written
    }
    const PictureSize size = movieFilePictureSize(run_.spec);
    std::string problem = movieFiles_.check(size.width, size.height);
    if (problem.empty()) {
        return true;
    }
    fail(RunFailureKind::kMovieFile, std::move(problem));
    return false;
}

bool RenderJob::lockFolder() {
    // The tasks of one render spread over machines share the folder by design: each writes its
    // own files under names of its own until they are whole.
    if (!writesMovieFiles() || files_) {
        return true;
    }
    const std::string folder = std::filesystem::path(movieFiles_.path(0)).parent_path().string();
    std::string error;
    if (folderLock_.tryLock(folder, kRenderLockName, error)) {
        return true;
    }
    fail(RunFailureKind::kFolderBusy, std::move(error));
    return false;
}

bool RenderJob::judgeMovieFiles() {
    const int count = movieFiles_.fileCount();
    const int first = files_ ? files_->first : 0;
    const int last = files_ ? std::min(files_->last, count - 1) : count - 1;
    for (int number = first; number <= last; ++number) {
        const std::string path = movieFiles_.path(number);
        for (const std::string& name : {path, unfinishedMarkerPath(path)}) {
            FileWriteResult found = checkWritablePath(name);
            if (found.kind == FileWriteErrorKind::kIsLink && name == path) {
                continue;  // the finished file replaces the link itself, never its target
            }
            if (found.ok()) {
                found = checkFolderWritable(name);
            }
            if (!found.ok()) {
                fail(RunFailureKind::kOutputPath, std::move(found.message));
                return false;
            }
        }
        switch (judgeMovieFile(number, path)) {
            case Verdict::kKeep:
                keptFiles_.insert(number);
                break;
            case Verdict::kRefuse:
                outcome_.foreignFile = std::filesystem::absolute(path).string();
                fail(RunFailureKind::kForeignFile,
                     "\"" + outcome_.foreignFile +
                         "\" already exists and was not made by this program (it carries no "
                         "movie record); move it away or choose another movie file name");
                return false;
            case Verdict::kMake:
                break;
        }
    }
    return true;
}

RenderJob::Verdict RenderJob::judgeMovieFile(int movieNumber, const std::string& path) {
    if (!fileExists(path)) {
        return Verdict::kMake;
    }
    const long long due = movieFiles_.framesOfFile(movieNumber);
    const bool marked = fileExists(unfinishedMarkerPath(path));
    const MovieRecordReading reading = readMovieRecord(path);
    FileRemade remade{path, FileRemadeReason::kOtherSettings, 0, due};
    if (reading.record) {
        const MovieRecord& record = *reading.record;
        if (policy_.fresh) {
            remade.reason = FileRemadeReason::kFresh;
        } else if (marked) {
            remade.reason = FileRemadeReason::kMarked;
        } else if (record == movieFiles_.wholeRecord(movieNumber)) {
            remade.frames = movieFileFrameCount(path);
            if (remade.frames == due) {
                host_.movieFileKept({path, FileKeptReason::kRecordMatches});
                return Verdict::kKeep;
            }
            remade.reason = FileRemadeReason::kShort;
        } else if (record.fingerprint == movieFiles_.wholeRecord(movieNumber).fingerprint &&
                   !record.whole()) {
            remade.reason = FileRemadeReason::kShort;
            remade.frames = record.written;
        }
        host_.movieFileRemade(remade);
        return Verdict::kMake;
    }
    // No record: a whole file an older version made is kept as before; a shorter one that it
    // marked is made again; anything else is not ours to replace.
    if (reading.movie && !marked && !policy_.fresh && movieFileFrameCount(path) >= due) {
        host_.movieFileKept({path, FileKeptReason::kNoRecord});
        return Verdict::kKeep;
    }
    if (reading.movie && marked) {
        remade.reason = FileRemadeReason::kMarked;
    } else if (policy_.overwrite) {
        remade.reason = FileRemadeReason::kOverwrite;
    } else {
        return Verdict::kRefuse;
    }
    host_.movieFileRemade(remade);
    return Verdict::kMake;
}

void RenderJob::keyFrameStarting(const RunState& state) {
    const RunCounters& counters = state.counters;
    keyFrameName_ = fileNameOf(run_.keyFrames[static_cast<std::size_t>(counters.keyFrame)]);
    host_.keyFrameStarted({counters, keyFrameName_});
}

void RenderJob::compose(const RunState& state) {
    renderer_->compose(state);
}

void RenderJob::keyFrameBegun(const RunState& state) {
    const MovieSpec& spec = run_.spec;
    const int k = state.counters.keyFrame;
    if (spec.output.testOnly && spec.output.skipRender &&
        spec.timeline.speedSpecs.rowOf(k) != nullptr) {
        host_.speedLineReached({k, state.counters.framesCounted, std::max(spec.output.fps, 1)});
    }
}

void RenderJob::outputFrame(const RunState& state, const FrameView& view,
                            std::optional<double> column) {
    const MovieSpec& spec = run_.spec;
    const FrameRenderer::Frame frame = renderer_->drawFrame(state, view, column);
    noteUnusable(renderer_->unusableKeyFrames());
    host_.previewPicture(*frame.preview);
    if (!spec.output.testOnly) {
        writeToMovie(*frame.movieFile);
    }
    if (spec.start.rotationActive && session_.dumpImages.load()) {
        saveFrameAsJpeg(
            jpegDumpPath(moviePath_, state.counters.movieNumber, state.counters.frameInMovie),
            *frame.movieFile, kJpegDumpQuality);
    }
}

void RenderJob::frameDone(const RunState& state) {
    const RunCounters& counters = state.counters;
    if (counters.frameInMovie == 0 && !run_.spec.output.skipRender) {
        if (pastLastFile()) {
            closeWriter();
        } else {
            nextMovieFile(counters.movieNumber);
        }
    }
    FrameDone event;
    event.counters = counters;
    event.colors = {state.color.startCycle, state.color.colorDivision,
                     state.color.startRotation};
    event.keyFrameName = keyFrameName_;
    event.framesDone = counters.framesCounted - firstFrame_;
    event.framesToMake = std::max(framesToMake_, event.framesDone);
    if (writerFailed_ && writer_) {
        event.writerError = writer_->errorText();
    }
    host_.frameDone(event);
}

void RenderJob::noteUnusable(const std::vector<KeyFrameReadError>& unusable) {
    if (unusable.empty()) {
        return;
    }
    if (writer_ && !run_.spec.output.testOnly) {
        writerMissesKeyFrames_ = true;
    }
    for (const KeyFrameReadError& error : unusable) {
        std::vector<KeyFrameReadError>& known = outcome_.unusableKeyFrames;
        if (std::none_of(known.begin(), known.end(),
                         [&](const KeyFrameReadError& seen) { return seen.path == error.path; })) {
            known.push_back(error);
        }
    }
}

std::string RenderJob::unusableText() const {
    std::string text;
    for (const KeyFrameReadError& error : outcome_.unusableKeyFrames) {
        text += "key frame " + error.text() + "\n";
    }
    return text;
}

void RenderJob::markMovieFile(const std::string& path, const std::string& reason) {
    const std::string marker = unfinishedMarkerPath(path);
    std::error_code ignored;
    if (reason.empty()) {
        // A link of that name goes, never what it points to.
        std::filesystem::remove(marker, ignored);
        return;
    }
    FileWriteResult written = writeFileSafely(marker, reason);
    if (!written.ok()) {
        outcome_.movieFailures.push_back(
            {path, "its marker could not be written: " + written.message});
    }
}

void RenderJob::writeToMovie(const FrameImage& picture) {
    if (!writer_) {
        return;
    }
    if (writer_->writeFrame(picture) == WriteStatus::kOk) {
        ++outcome_.framesWritten;
        ++framesInWriter_;
    } else if (!writerFailed_) {
        writerFailed_ = true;
        std::string reason = writer_->errorText();
        if (framesInWriter_ == 0) {
            // The file could not be created: every later one would fail the same way, so the
            // run stops here instead of composing every frame for nothing.
            reason += printfText(" (frames of %d x %d pixels)", picture.width(), picture.height());
            outcome_.movieNotCreated = true;
        } else {
            // A full disk or a failing device: every later frame would be made for nothing.
            outcome_.movieWriteFailed = true;
        }
        outcome_.movieFailures.push_back({writer_->fileName(), reason});
    }
}

void RenderJob::nextMovieFile(int movieNumber) {
    moviePath_ = movieFiles_.path(movieNumber);
    if (movieFileDone(moviePath_, movieNumber)) {
        skipping_ = true;
        return;
    }
    skipping_ = false;
    auto next = movieFiles_.open(movieNumber);
    closeWriter();
    writer_ = std::move(next);
    writerMovieNumber_ = movieNumber;
}

bool RenderJob::movieFileDone(const std::string& path, int movieNumber) const {
    if (writesMovieFiles()) {
        return keptFiles_.contains(movieNumber);
    }
    if (!fileExists(path) || fileExists(unfinishedMarkerPath(path))) {
        return false;
    }
    const int framesPerMovie = run_.spec.output.framesPerMovie;
    if (framesPlanned_ <= 0 || framesPerMovie <= 0) {
        return true;
    }
    // A stopped run leaves a shorter file that plays; it counts as done only once it holds
    // every frame the plan gives it, so the next run writes it again, whole.
    const long long expected = framesDueIn(movieNumber);
    return expected <= 0 || movieFileFrameCount(path) >= expected;
}

long long RenderJob::framesDueIn(int movieNumber) const {
    const long long framesPerMovie = std::max(run_.spec.output.framesPerMovie, 1);
    const long long framesBefore = movieNumber * framesPerMovie;
    return std::min(framesPerMovie, framesPlanned_ - framesBefore);
}

std::string RenderJob::whyNoFrames() const {
    const MovieSpec& spec = run_.spec;
    const int keyFrames = run_.keyFrameCount();
    if (spec.start.startFrame >= keyFrames) {
        return printfText(
            "the start frame %d lies past the last key frame, %d (the folder holds %d, "
            "numbered from 0)",
            spec.start.startFrame, keyFrames - 1, keyFrames);
    }
    return printfText("a movie of %d x %d pixels is too small for any frame of the zoom",
                      spec.output.movieWidth, spec.output.movieHeight);
}

void RenderJob::closeWriter() {
    if (!writer_) {
        return;
    }
    const bool wrote = writer_->state() == WriterState::kWriting;
    const std::string name = fileNameOf(writer_->fileName());
    std::string unfinished;  // why the file is not whole, as its mark says
    if (outcome_.stopped && wrote && !writerFailed_) {
        const long long due = framesDueIn(writerMovieNumber_);
        if (framesInWriter_ < due) {
            outcome_.shortMovie = writer_->fileName();
            outcome_.shortMovieFrames = framesInWriter_;
            outcome_.shortMovieFramesDue = due;
            unfinished = printfText(
                "%s holds %lld of its %lld frames: the render was stopped, "
                "and the next run writes it again, whole.\n",
                name.c_str(), framesInWriter_, due);
        }
    }
    const bool missingKeyFrames = wrote && writerMissesKeyFrames_;
    if (missingKeyFrames) {
        unfinished += name +
                      " was made without the detail of these key frames, and is written again "
                      "by the next run:\n" +
                      unusableText();
    }
    // The mark goes on before the file takes its name, so no moment shows it complete.
    if (!unfinished.empty()) {
        markMovieFile(writer_->fileName(), unfinished);
    }
    if (writer_->close() != WriteStatus::kOk) {
        if (!writerFailed_) {
            outcome_.movieFailures.push_back({writer_->fileName(), writer_->errorText()});
        }
    } else if (wrote && !writerFailed_) {
        outcome_.moviesWritten.push_back(writer_->fileName());
        if (missingKeyFrames) {
            outcome_.moviesMissingKeyFrames.push_back(writer_->fileName());
        }
        if (unfinished.empty()) {
            markMovieFile(writer_->fileName(), unfinished);
        }
        if (outcome_.shortMovie != writer_->fileName()) {
            host_.fileDone(
                {writer_->fileName(), writerMovieNumber_, framesInWriter_, missingKeyFrames});
        }
    }
    writer_.reset();
    writerFailed_ = false;
    writerMissesKeyFrames_ = false;
    framesInWriter_ = 0;
}

void RenderJob::leaveColors() {
    // Before the end notice: once the dialog has it, a Test may read them.
    if (started_) {
        session_.colors = state_.color;
        session_.texture = state_.texture;
    } else {
        session_.colors.colorsFromKeyFrame = true;
        session_.texture = startingTexture(run_.spec.texture);
    }
}

void RenderJob::endRun() {
    closeWriter();
    if (state_.counters.framesCounted == 0 && !outcome_.stopped) {
        outcome_.noFrameReason = whyNoFrames();
    }
    outcome_.done = true;
    leaveColors();
}

}  // namespace

RenderOutcome runRenderJob(const MovieSpec& spec, RenderSession& session, RenderHost& host,
                           std::optional<MovieFileRange> files, ExistingFilePolicy policy) {
    RenderJob job(spec, session, host, files, policy);
    return job.run();
}

RenderOutcome renderJobMain(const MovieSpec& spec, RenderSession& session, RenderHost& host) {
    return runRenderJob(spec, session, host);
}

}  // namespace zr
