#include "ui/scrub_worker.h"

#include <algorithm>
#include <cmath>

#include "movie/frame_seeker.h"
#include "movie/render_session.h"

namespace zr {

ScrubWorker::ScrubWorker(Callbacks callbacks, const ThreadShare& threads)
    : callbacks_(std::move(callbacks)), threads_(threads), thread_([this] { work(); }) {}

ScrubWorker::~ScrubWorker() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

int ScrubWorker::setMovie(const MovieSpec& spec, const ColorState& colors) {
    int generation = 0;
    {
        const std::lock_guard lock(mutex_);
        movie_ = spec;
        colors_ = colors;
        generation = ++generation_;
    }
    wake_.notify_all();
    return generation;
}

void ScrubWorker::show(long long frame) {
    {
        const std::lock_guard lock(mutex_);
        request_ = Request{Task::kShow, frame};
        requestWaiting_ = true;
    }
    wake_.notify_all();
}

void ScrubWorker::play(long long frame, int fps) {
    {
        const std::lock_guard lock(mutex_);
        request_ = Request{Task::kPlay, frame, std::max(fps, 1), std::chrono::steady_clock::now()};
        requestWaiting_ = true;
    }
    wake_.notify_all();
}

void ScrubWorker::pause() {
    {
        const std::lock_guard lock(mutex_);
        request_ = Request{Task::kNone};
        requestWaiting_ = true;
    }
    wake_.notify_all();
}

bool ScrubWorker::changed() {
    const std::lock_guard lock(mutex_);
    return requestWaiting_ || movie_ || ending_;
}

// What the worker's thread keeps between two turns of its loop.
struct ScrubWorker::WorkState {
    explicit WorkState(const ThreadShare& threads) : session(threads) {}

    RenderSession session;
    std::unique_ptr<FrameSeeker> seeker;
    int generation = 0;
    bool walked = true;  // every key frame start of the movie is known
    Request active;
    bool activeDone = true;
    long long lastPlayed = -1;
    long long shown = 0;
    long long skipped = 0;
};

void ScrubWorker::work() {
    WorkState state(threads_);
    const FrameSeeker::Cancel cancel = [this] { return changed(); };
    for (;;) {
        std::optional<MovieSpec> movie;
        if (!takeRequests(state, movie)) {
            return;
        }
        if (movie) {
            takeMovie(state, std::move(*movie));
        } else if (!state.seeker) {
            state.activeDone = true;
        } else if (state.active.task == Task::kShow && !state.activeDone) {
            showFrame(state, cancel);
        } else if (state.active.task == Task::kPlay && !state.activeDone) {
            playNextFrame(state, cancel);
        } else if (!state.walked) {
            // Nothing asked: learn where every key frame begins, so later jumps are short.
            state.walked = state.seeker->walkKeyFrames(cancel);
        }
    }
}

bool ScrubWorker::takeRequests(WorkState& state, std::optional<MovieSpec>& movie) {
    std::optional<Request> request;
    {
        std::unique_lock lock(mutex_);
        if (!requestWaiting_ && !movie_ && state.activeDone && state.walked) {
            wake_.wait(lock, [&] { return ending_ || requestWaiting_ || movie_; });
        }
        if (ending_) {
            return false;
        }
        if (movie_) {
            movie = std::move(movie_);
            movie_.reset();
            state.generation = generation_;
            state.session.colors = colors_;
        }
        if (requestWaiting_) {
            request = request_;
            requestWaiting_ = false;
        }
    }
    if (request) {
        state.active = *request;
        state.activeDone = state.active.task == Task::kNone;
        state.lastPlayed = -1;
        state.shown = 0;
        state.skipped = 0;
    }
    return true;
}

void ScrubWorker::takeMovie(WorkState& state, MovieSpec movie) {
    state.seeker.reset();
    MovieRun run;
    run.spec = std::move(movie);
    run.keyFrames = listRunKeyFrames(run.spec);
    state.seeker = std::make_unique<FrameSeeker>(std::move(run), state.session);
    FrameSeeker& seeker = *state.seeker;
    ScrubMovieFacts facts;
    facts.generation = state.generation;
    facts.ok = seeker.start() && seeker.frameCount() > 0 && !seeker.run().spec.output.skipRender;
    facts.frameCount = seeker.frameCount();
    facts.keyFrameStarts = seeker.keyFrameStarts();
    facts.firstKeyFrame = std::max(0, seeker.run().spec.start.startFrame);
    state.walked = !facts.ok;
    if (!facts.ok) {
        state.seeker.reset();
    }
    if (callbacks_.movieReady) {
        callbacks_.movieReady(facts);
    }
    if (state.active.task == Task::kPlay && state.lastPlayed >= 0) {
        // Playing goes on from where it was, in the new movie.
        state.active.frame = state.lastPlayed + 1;
        state.active.clockStart = std::chrono::steady_clock::now();
        state.lastPlayed = -1;
    } else if (state.active.task == Task::kShow) {
        state.activeDone = false;  // the frame shown is made again with the new settings
    }
}

void ScrubWorker::showFrame(WorkState& state, const FrameSeeker::Cancel& cancel) {
    const long long frame = std::clamp(state.active.frame, 0LL, state.seeker->frameCount() - 1);
    const auto made = state.seeker->frame(frame, cancel);
    if (!made) {
        return;
    }
    state.activeDone = true;
    if (callbacks_.frameReady) {
        ScrubFrame shownFrame;
        shownFrame.generation = state.generation;
        shownFrame.frame = frame;
        shownFrame.picture = *made->preview;
        callbacks_.frameReady(std::move(shownFrame));
    }
}

void ScrubWorker::playNextFrame(WorkState& state, const FrameSeeker::Cancel& cancel) {
    const Request& active = state.active;
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - active.clockStart).count();
    const long long last = state.seeker->frameCount() - 1;
    // The last frame is shown even when the clock has passed it.
    const long long target =
        std::min(last, active.frame + static_cast<long long>(std::floor(elapsed * active.fps)));
    if (state.lastPlayed >= last) {
        state.activeDone = true;
        return;
    }
    if (target <= state.lastPlayed) {
        // Ahead of the clock: wait for the next frame's time, or a new request.
        const auto due =
            active.clockStart +
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(
                    static_cast<double>(state.lastPlayed + 1 - active.frame) / active.fps));
        std::unique_lock lock(mutex_);
        wake_.wait_until(lock, due, [&] { return ending_ || requestWaiting_ || movie_; });
        return;
    }
    const auto made = state.seeker->frame(target, cancel);
    if (!made) {
        return;
    }
    if (state.lastPlayed >= 0) {
        state.skipped += target - state.lastPlayed - 1;
    }
    state.lastPlayed = target;
    ++state.shown;
    if (callbacks_.frameReady) {
        ScrubFrame frame;
        frame.generation = state.generation;
        frame.frame = target;
        frame.picture = *made->preview;
        frame.playing = true;
        frame.shown = state.shown;
        frame.skipped = state.skipped;
        frame.ended = target == last;
        callbacks_.frameReady(std::move(frame));
    }
}

}  // namespace zr
