#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "movie/render_host.h"
#include "support/frame_image.h"

namespace zr {

class MainDialog;

// The render host of the desktop program: each event of the render thread is queued for the
// user interface thread and carried out there in the order the events happened; the render
// thread never waits for it. Preview pictures that the dialog has not shown yet are replaced by
// the newest one, so a busy dialog holds one picture, not a queue of them; so are frames done
// one after another with no other event between them, so a run that makes frames faster than
// the dialog shows them never floods it.
class GuiRenderHost : public RenderHost {
  public:
    explicit GuiRenderHost(MainDialog& dialog);

    void runStarted() override;
    void folderListed(int keyFrames) override;
    void runPlanned(long long framesToMake) override;
    void keyFrameStarted(const KeyFrameStarted& event) override;
    void frameDone(const FrameDone& event) override;
    void colorCountChanged(int keyColors) override;
    void colorRangeTaken(const ColorRangeTaken& event) override;
    void stretchRangeMoved(const StretchRangeMoved& event) override;
    void previewPicture(const FrameImage& image) override;
    void speedLineReached(const SpeedLineReached& event) override;
    void keyFrameUnreadable(const std::string& path) override;
    void runEnded(const RenderOutcome& outcome) override;

    // From now on events are dropped without touching the dialog (it is going away). Called on
    // the dialog's thread.
    void detach();

  private:
    // Carries `work` out on the dialog's thread: at once when called there, else queued.
    void onUiThread(std::function<void()> work);

    MainDialog& dialog_;
    std::shared_ptr<std::atomic<bool>> detached_;
    // A frame notice queued and not yet shown; frames done before any other event replace its
    // frame.
    struct FrameNotice {
        FrameDone done;
    };
    // Another event comes after the open frame notice: the next frame gets a notice of its own.
    void closeFrameNotice();

    std::mutex frameMutex_;
    std::shared_ptr<FrameNotice> openFrameNotice_;  // guarded by frameMutex_
    std::mutex previewMutex_;
    std::optional<FrameImage> pendingPreview_;  // guarded by previewMutex_
    bool previewQueued_ = false;                // guarded by previewMutex_
};

}  // namespace zr
