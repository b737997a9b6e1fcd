#include "output/frame_pipeline.h"

#include <new>
#include <utility>

namespace zr {

namespace {

constexpr std::size_t kQueuedFrames = 2;

}  // namespace

FramePipeline::FramePipeline(Encode encode) : encode_(std::move(encode)) {
    thread_ = std::thread([this] { run(); });
}

FramePipeline::~FramePipeline() {
    stop();
}

void FramePipeline::submit(const FrameImage& frame, int index) {
    std::unique_lock lock(mutex_);
    spaceFree_.wait(lock, [this] { return queue_.size() < kQueuedFrames; });
    FrameImage copy;
    if (!spares_.empty()) {
        copy = std::move(spares_.back());
        spares_.pop_back();
    }
    lock.unlock();
    copy = frame;
    lock.lock();
    queue_.push_back({std::move(copy), index});
    frameQueued_.notify_one();
}

std::string FramePipeline::takeError() {
    const std::lock_guard lock(mutex_);
    return std::exchange(error_, {});
}

void FramePipeline::stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    frameQueued_.notify_all();
    thread_.join();
}

void FramePipeline::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        frameQueued_.wait(lock, [this] { return !queue_.empty() || stopping_; });
        if (queue_.empty()) {
            return;
        }
        Queued item = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        std::string error;
        try {
            error = encode_(item.image, item.index);
        } catch (const std::bad_alloc&) {
            error = "out of memory";
        }
        lock.lock();
        if (!error.empty() && error_.empty()) {
            error_ = std::move(error);
        }
        spares_.push_back(std::move(item.image));
        spaceFree_.notify_one();
    }
}

}  // namespace zr
