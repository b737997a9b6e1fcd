#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "coloring/color_state.h"
#include "movie/frame_loop.h"
#include "movie/frame_seeker.h"
#include "support/frame_image.h"
#include "support/thread_pool.h"

namespace zr {

// What the timeline shows of a movie: its length and where its key frames begin.
struct ScrubMovieFacts {
    int generation = 0;  // the setMovie() call the facts are of
    bool ok = false;     // false: the movie has no frame to show (no key frame, stamps go back)
    long long frameCount = 0;
    std::vector<long long> keyFrameStarts;
    int firstKeyFrame = 0;  // the key frame of keyFrameStarts[0]
};

// A frame made for the preview.
struct ScrubFrame {
    int generation = 0;
    long long frame = 0;
    FrameImage picture;  // what the preview shows of the frame
    bool playing = false;
    // While playing: frames shown and frames skipped to keep time since Play.
    long long shown = 0;
    long long skipped = 0;
    bool ended = false;  // the movie's last frame: playing stops with it
};

// Makes the frames the timeline asks for on a thread of its own, with a render session of its
// own, so a render under way and the timeline never share anything that changes. The newest
// request wins: a jump asked for while another is being made gives that one up between two
// steps of the run. While playing it keeps time with the clock, skipping frames it cannot make
// in time. Results reach `deliver`, called on the worker's thread.
class ScrubWorker {
  public:
    struct Callbacks {
        std::function<void(const ScrubMovieFacts&)> movieReady;
        std::function<void(ScrubFrame&&)> frameReady;
    };
    // Renders on `threads` (by default its own thread alone).
    explicit ScrubWorker(Callbacks callbacks, const ThreadShare& threads = {});
    ~ScrubWorker();
    ScrubWorker(const ScrubWorker&) = delete;
    ScrubWorker& operator=(const ScrubWorker&) = delete;

    // A new movie (the key frames are listed on the worker's thread), starting from `colours`
    // as a run started now would. Returns the generation that its facts and frames carry.
    int setMovie(const MovieSpec& spec, const ColorState& colors);
    // Shows frame `frame` (stops playing).
    void show(long long frame);
    // Plays from `frame` at `fps` frames a second of the clock, from now.
    void play(long long frame, int fps);
    void pause();

  private:
    enum class Task { kNone, kMovie, kShow, kPlay };
    struct Request {
        Task task = Task::kNone;
        long long frame = 0;
        int fps = 30;
        std::chrono::steady_clock::time_point clockStart{};
    };
    struct WorkState;

    void work();
    bool changed();  // a newer request is waiting (or the worker is ending)
    // The steps of the worker's loop. takeRequests() waits while there is nothing to do and
    // is false once the worker is ending.
    bool takeRequests(WorkState& state, std::optional<MovieSpec>& movie);
    void takeMovie(WorkState& state, MovieSpec movie);
    void showFrame(WorkState& state, const FrameSeeker::Cancel& cancel);
    void playNextFrame(WorkState& state, const FrameSeeker::Cancel& cancel);

    Callbacks callbacks_;
    ThreadShare threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ending_ = false;
    int generation_ = 0;
    std::optional<MovieSpec> movie_;  // the movie to take up
    ColorState colors_;
    Request request_;
    bool requestWaiting_ = false;
    std::thread thread_;
};

}  // namespace zr
