#include "ui/gui_render_host.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QThread>
#include <memory>

#include "ui/main_dialog.h"
#include "ui/preview_window.h"
#include "ui/scrubber.h"

namespace zr {

void GuiRenderHost::detach() {
    {
        const std::lock_guard lock(mutex_);
        detached_ = true;
    }
    answered_.notify_all();
}

bool GuiRenderHost::onUiThread(const std::function<void()>& work) {
    if (QThread::currentThread() == dialog_.thread()) {
        if (detached_) {
            return false;
        }
        work();
        return true;
    }
    // The render thread waits until the dialog's thread has run the work, as a synchronous
    // window message would, or until the dialog lets go of the run. The work and the detach
    // both happen on the dialog's thread, so work that is delivered after the detach sees it
    // and leaves the waiting thread's values alone.
    std::unique_lock lock(mutex_);
    if (detached_) {
        return false;
    }
    auto done = std::make_shared<bool>(false);
    const bool posted = QMetaObject::invokeMethod(
        &dialog_,
        [this, &work, done] {
            if (!detached_) {
                work();
            }
            {
                const std::lock_guard answer(mutex_);
                *done = true;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    if (!posted) {
        return false;
    }
    answered_.wait(lock, [&] { return *done || detached_; });
    return *done;
}

void GuiRenderHost::setStatus(std::string_view text) {
    onUiThread([&] { dialog_.setText(kIdStatus, text); });
}

void GuiRenderHost::setValue(RunValue value, std::string_view text) {
    int controlId = kIdColors;
    switch (value) {
        case RunValue::kCycle:
            controlId = kIdCurrentCycle;
            break;
        case RunValue::kRotation:
            controlId = kIdCurrentRotation;
            break;
        case RunValue::kIteration:
            controlId = kIdCurrentIteration;
            break;
        case RunValue::kColors:
            controlId = kIdColors;
            break;
    }
    onUiThread([&] { dialog_.setText(controlId, text); });
}

void GuiRenderHost::showDebug(std::string_view text) {
    onUiThread([&] {
        dialog_.message(
            MessageRequest{"Debug", std::string(text), MessageIcon::none, MessageButtons::ok});
    });
}

void GuiRenderHost::showError(std::string_view text) {
    onUiThread([&] { dialog_.message(errorMessage(std::string(text))); });
}

bool GuiRenderHost::chooseCompressor(CompressorChoice& choice) {
    bool chosen = false;
    onUiThread([&] { chosen = dialog_.chooseCompressor(choice); });
    return chosen;
}

void GuiRenderHost::showPreview(const FrameImage& image) {
    onUiThread([&] { dialog_.preview().showRenderFrame(image); });
}

void GuiRenderHost::keyFrameUnreadable(std::string_view path) {
    onUiThread([&] {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) {
            clipboard->setText(QString::fromStdString(std::string(path)));
        }
    });
}

void GuiRenderHost::progress(long long framesDone, long long framesPlanned) {
    onUiThread([&] { dialog_.showProgress(framesDone, framesPlanned); });
}

void GuiRenderHost::finished() {
    onUiThread([&] { dialog_.renderFinished(); });
}

}  // namespace zr
