#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "movie/render_host.h"
#include "movie/run_status_text.h"
#include "support/frame_image.h"

namespace zr::testing {

// A host that records what a run tells, as the desktop program would show it: the status line's
// texts in order, the values beside it, the "Debug" texts, the previews and the progress.
class RecordingHost : public NullRenderHost {
  public:
    std::vector<std::string> statuses;
    std::map<std::string, std::string> values;  // "Colors", "Iteration", "Cycle", "Rotation"
    std::vector<std::string> debugTexts;
    std::vector<FileDone> filesDone;
    std::vector<FileKept> kept;
    std::vector<FileRemade> remade;
    int previews = 0;
    int previewWidth = 0;
    int endedCount = 0;
    long long lastProgress = 0;
    long long planned = 0;
    std::function<void(long long)> onProgress;

    void runStarted() override { statuses.emplace_back("Start"); }
    void folderListed(int keyFrames) override {
        for (int i = 1; i <= keyFrames; ++i) {
            statuses.push_back(browsingText(i));
        }
    }
    void runPlanned(long long framesToMake) override { progress(0, framesToMake); }
    void keyFrameStarted(const KeyFrameStarted& event) override {
        statuses.push_back(statusText(event));
    }
    void frameDone(const FrameDone& event) override {
        statuses.push_back(statusText(event));
        values["Cycle"] = valueText(event.colors.cycle);
        values["Rotation"] = valueText(event.colors.rotation);
        progress(event.framesDone, event.framesToMake);
    }
    void colorCountChanged(int keyColors) override {
        values["Colors"] = std::to_string(keyColors);
    }
    void colorRangeTaken(const ColorRangeTaken& event) override {
        values["Colors"] = colorRangeText(event);
        values["Iteration"] = std::to_string(event.iteration);
    }
    void stretchRangeMoved(const StretchRangeMoved& event) override {
        values["Colors"] = colorRangeText(event);
    }
    void previewPicture(const FrameImage& image) override {
        ++previews;
        previewWidth = image.width();
    }
    void speedLineReached(const SpeedLineReached& event) override {
        debugTexts.push_back(speedLineText(event));
    }
    void fileDone(const FileDone& event) override { filesDone.push_back(event); }
    void movieFileKept(const FileKept& event) override { kept.push_back(event); }
    void movieFileRemade(const FileRemade& event) override { remade.push_back(event); }
    void runEnded(const RenderOutcome& outcome) override {
        statuses.push_back(statusText(outcome));
        ++endedCount;
    }

  private:
    void progress(long long done, long long total) {
        lastProgress = done;
        planned = total;
        if (onProgress) {
            onProgress(done);
        }
    }
};

}  // namespace zr::testing
