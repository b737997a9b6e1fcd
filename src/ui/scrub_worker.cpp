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

int ScrubWorker::setMovie(const MovieSpec& spec, const ColourState& colours) {
    int generation = 0;
    {
        const std::lock_guard lock(mutex_);
        movie_ = spec;
        colours_ = colours;
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

void ScrubWorker::work() {
    RenderSession session(threads_);
    std::unique_ptr<FrameSeeker> seeker;
    int generation = 0;
    bool walked = true;  // every key frame start of the movie is known
    Request active;
    bool activeDone = true;
    long long lastPlayed = -1;
    long long shown = 0;
    long long skipped = 0;
    const FrameSeeker::Cancel cancel = [this] { return changed(); };

    for (;;) {
        std::optional<MovieSpec> movie;
        std::optional<Request> request;
        {
            std::unique_lock lock(mutex_);
            if (!requestWaiting_ && !movie_ && activeDone && walked) {
                wake_.wait(lock, [&] { return ending_ || requestWaiting_ || movie_; });
            }
            if (ending_) {
                return;
            }
            if (movie_) {
                movie = std::move(movie_);
                movie_.reset();
                generation = generation_;
                session.colours = colours_;
            }
            if (requestWaiting_) {
                request = request_;
                requestWaiting_ = false;
            }
        }
        if (request) {
            active = *request;
            activeDone = active.task == Task::kNone;
            lastPlayed = -1;
            shown = 0;
            skipped = 0;
        }

        if (movie) {
            seeker.reset();
            MovieRun run;
            run.spec = std::move(*movie);
            run.keyFrames = listRunKeyFrames(run.spec);
            seeker = std::make_unique<FrameSeeker>(std::move(run), session);
            ScrubMovieFacts facts;
            facts.generation = generation;
            facts.ok = seeker->start() && seeker->frameCount() > 0 &&
                       !seeker->run().spec.output.skipRender;
            facts.frameCount = seeker->frameCount();
            facts.keyFrameStarts = seeker->keyFrameStarts();
            facts.firstKeyFrame = std::max(0, seeker->run().spec.start.startFrame);
            walked = !facts.ok;
            if (!facts.ok) {
                seeker.reset();
            }
            if (callbacks_.movieReady) {
                callbacks_.movieReady(facts);
            }
            if (active.task == Task::kPlay && lastPlayed >= 0) {
                // Playing goes on from where it was, in the new movie.
                active.frame = lastPlayed + 1;
                active.clockStart = std::chrono::steady_clock::now();
                lastPlayed = -1;
            } else if (active.task == Task::kShow) {
                activeDone = false;  // the frame shown is made again with the new settings
            }
            continue;
        }
        if (!seeker) {
            activeDone = true;
            continue;
        }

        if (active.task == Task::kShow && !activeDone) {
            const long long frame = std::clamp(active.frame, 0LL, seeker->frameCount() - 1);
            const auto made = seeker->frame(frame, cancel);
            if (made) {
                activeDone = true;
                if (callbacks_.frameReady) {
                    ScrubFrame shownFrame;
                    shownFrame.generation = generation;
                    shownFrame.frame = frame;
                    shownFrame.picture = *made->preview;
                    callbacks_.frameReady(std::move(shownFrame));
                }
            }
            continue;
        }

        if (active.task == Task::kPlay && !activeDone) {
            const auto now = std::chrono::steady_clock::now();
            const double elapsed = std::chrono::duration<double>(now - active.clockStart).count();
            const long long last = seeker->frameCount() - 1;
            // The last frame is shown even when the clock has passed it.
            const long long target = std::min(
                last, active.frame + static_cast<long long>(std::floor(elapsed * active.fps)));
            if (lastPlayed >= last) {
                activeDone = true;
                continue;
            }
            if (target <= lastPlayed) {
                // Ahead of the clock: wait for the next frame's time, or a new request.
                const auto due =
                    active.clockStart +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(
                            static_cast<double>(lastPlayed + 1 - active.frame) / active.fps));
                std::unique_lock lock(mutex_);
                wake_.wait_until(lock, due, [&] { return ending_ || requestWaiting_ || movie_; });
                continue;
            }
            const auto made = seeker->frame(target, cancel);
            if (!made) {
                continue;
            }
            if (lastPlayed >= 0) {
                skipped += target - lastPlayed - 1;
            }
            lastPlayed = target;
            ++shown;
            if (callbacks_.frameReady) {
                ScrubFrame frame;
                frame.generation = generation;
                frame.frame = target;
                frame.picture = *made->preview;
                frame.playing = true;
                frame.shown = shown;
                frame.skipped = skipped;
                frame.ended = target == last;
                callbacks_.frameReady(std::move(frame));
            }
            continue;
        }

        // Nothing asked: learn where every key frame begins, so later jumps are short.
        if (!walked) {
            walked = seeker->walkKeyFrames(cancel);
        }
    }
}

}  // namespace zr
