#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "settings/render_host.h"

namespace zr {

class MainDialog;

// The render host of the desktop program: every call of the render thread is carried out on
// the user interface thread while the render thread waits, in the order the calls were made.
class GuiRenderHost : public RenderHost {
  public:
    explicit GuiRenderHost(MainDialog& dialog) : dialog_(dialog) {}

    void setStatus(std::string_view text) override;
    void setValue(RunValue value, std::string_view text) override;
    void showDebug(std::string_view text) override;
    void showError(std::string_view text) override;
    bool chooseCompressor(CompressorChoice& choice) override;
    void showPreview(const FrameImage& image) override;
    void keyFrameUnreadable(std::string_view path) override;
    void progress(long long framesDone, long long framesPlanned) override;
    void finished() override;

    // From now on every call returns at once without touching the dialog (it is going away);
    // a call waiting for the dialog's thread returns too. Called on the dialog's thread.
    void detach();

  private:
    // Runs `work` on the dialog's thread and waits for it; false when detached.
    bool onUiThread(const std::function<void()>& work);

    MainDialog& dialog_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool detached_ = false;  // written under the mutex on the dialog's thread
};

}  // namespace zr
