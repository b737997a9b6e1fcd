#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/frame_image.h"

namespace zr {

// Hands frames to a thread of its own that encodes and stores them, so that the caller draws the
// next frame meanwhile. At most two frames wait: enough to keep the thread busy, no more memory.
class FramePipeline {
  public:
    // `encode` runs on the pipeline's thread for every frame in order and returns an error text,
    // empty on success.
    using Encode = std::function<std::string(const FrameImage& frame, int index)>;

    explicit FramePipeline(Encode encode);
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // Queues a copy of the frame, waiting while the queue is full.
    void submit(const FrameImage& frame, int index);

    // The first failure since the last call, or empty.
    std::string takeError();

    // Encodes what is queued and ends the thread. May run more than once.
    void stop();

  private:
    struct Queued {
        FrameImage image;
        int index = 0;
    };

    void run();

    Encode encode_;
    std::mutex mutex_;
    std::condition_variable frameQueued_;
    std::condition_variable spaceFree_;
    std::deque<Queued> queue_;
    std::vector<FrameImage> spares_;
    std::string error_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zr
