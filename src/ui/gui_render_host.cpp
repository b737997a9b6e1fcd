#include "ui/gui_render_host.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QThread>
#include <utility>

#include "movie/run_status_text.h"
#include "ui/main_dialog.h"
#include "ui/preview_window.h"

namespace zr {

GuiRenderHost::GuiRenderHost(MainDialog& dialog)
    : dialog_(dialog), detached_(std::make_shared<std::atomic<bool>>(false)) {}

void GuiRenderHost::detach() {
    *detached_ = true;
}

void GuiRenderHost::onUiThread(std::function<void()> work) {
    if (*detached_) {
        return;
    }
    if (QThread::currentThread() == dialog_.thread()) {
        work();
        return;
    }
    // Queued events of a dialog that has gone are dropped by Qt; those delivered after the
    // detach see it.
    QMetaObject::invokeMethod(
        &dialog_,
        [detached = detached_, work = std::move(work)] {
            if (!*detached) {
                work();
            }
        },
        Qt::QueuedConnection);
}

void GuiRenderHost::runStarted() {
    closeFrameNotice();
    onUiThread([this] { dialog_.setText(kIdStatus, "Start"); });
}

void GuiRenderHost::folderListed(int keyFrames) {
    closeFrameNotice();
    onUiThread([this, keyFrames] {
        for (int i = 1; i <= keyFrames; ++i) {
            dialog_.setText(kIdStatus, browsingText(i));
        }
    });
}

void GuiRenderHost::runPlanned(long long framesToMake) {
    closeFrameNotice();
    onUiThread([this, framesToMake] { dialog_.showProgress(0, framesToMake); });
}

void GuiRenderHost::keyFrameStarted(const KeyFrameStarted& event) {
    closeFrameNotice();
    onUiThread([this, text = statusText(event)] { dialog_.setText(kIdStatus, text); });
}

void GuiRenderHost::frameDone(const FrameDone& event) {
    const auto show = [this](const FrameDone& done) {
        dialog_.showProgress(done.framesDone, done.framesToMake);
        dialog_.setText(kIdStatus, statusText(done));
        dialog_.setText(kIdCurrentCycle, valueText(done.colors.cycle));
        dialog_.setText(kIdCurrentRotation, valueText(done.colors.rotation));
    };
    if (QThread::currentThread() == dialog_.thread()) {
        onUiThread([&show, &event] { show(event); });
        return;
    }
    std::shared_ptr<FrameNotice> notice;
    {
        const std::lock_guard lock(frameMutex_);
        if (openFrameNotice_) {
            openFrameNotice_->done = event;  // the queued notice shows the newest frame
            return;
        }
        notice = std::make_shared<FrameNotice>(FrameNotice{event});
        openFrameNotice_ = notice;
    }
    onUiThread([this, notice, show] {
        FrameDone done;
        {
            const std::lock_guard lock(frameMutex_);
            done = notice->done;
            if (openFrameNotice_ == notice) {
                openFrameNotice_.reset();
            }
        }
        show(done);
    });
}

void GuiRenderHost::closeFrameNotice() {
    const std::lock_guard lock(frameMutex_);
    openFrameNotice_.reset();
}

void GuiRenderHost::colorCountChanged(int keyColors) {
    closeFrameNotice();
    onUiThread([this, keyColors] { dialog_.setText(kIdColors, std::to_string(keyColors)); });
}

void GuiRenderHost::colorRangeTaken(const ColorRangeTaken& event) {
    closeFrameNotice();
    onUiThread([this, event] {
        dialog_.setText(kIdColors, colorRangeText(event));
        dialog_.setText(kIdCurrentIteration, std::to_string(event.iteration));
    });
}

void GuiRenderHost::stretchRangeMoved(const StretchRangeMoved& event) {
    closeFrameNotice();
    onUiThread([this, event] { dialog_.setText(kIdColors, colorRangeText(event)); });
}

void GuiRenderHost::previewPicture(const FrameImage& image) {
    if (QThread::currentThread() == dialog_.thread()) {
        onUiThread([this, &image] { dialog_.preview().showRenderFrame(image); });
        return;
    }
    {
        const std::lock_guard lock(previewMutex_);
        pendingPreview_ = image;
        if (previewQueued_) {
            return;  // the queued showing takes the newest picture
        }
        previewQueued_ = true;
    }
    onUiThread([this] {
        std::optional<FrameImage> picture;
        {
            const std::lock_guard lock(previewMutex_);
            picture.swap(pendingPreview_);
            previewQueued_ = false;
        }
        if (picture) {
            dialog_.preview().showRenderFrame(*picture);
        }
    });
}

void GuiRenderHost::speedLineReached(const SpeedLineReached& event) {
    closeFrameNotice();
    onUiThread([this, text = speedLineText(event)] {
        dialog_.showRunMessage(
            MessageRequest{"Debug", text, MessageIcon::none, MessageButtons::ok});
    });
}

void GuiRenderHost::keyFrameUnreadable(const std::string& path) {
    closeFrameNotice();
    onUiThread([path] {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) {
            clipboard->setText(QString::fromStdString(path));
        }
    });
}

void GuiRenderHost::runEnded(const RenderOutcome& outcome) {
    closeFrameNotice();
    onUiThread([this, outcome] { dialog_.renderFinished(outcome); });
}

}  // namespace zr
