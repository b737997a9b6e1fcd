#pragma once

#include <string>
#include <string_view>

namespace zr {

class FrameImage;

// What the user picks in the compressor dialog: a four-character code, the key-frame
// interval and the quality on 0 ... 10000.
struct CompressorChoice {
    std::string fourcc = "MSVC";
    int keyFrameEvery = 1;
    int quality = 8500;
};

// The values a run shows beside its status line.
enum class RunValue {
    kCycle,      // the current colour cycle offset
    kRotation,   // the current rotation
    kIteration,  // the start of the colour range
    kColors,     // the number of key colours, or the colour range
};

// What a run tells whoever started it, and the one question it asks (the compressor). The
// desktop program carries each notice to the user interface thread (the end notice and the
// compressor choice wait for it); the command line prints. A run never reads the dialog: what
// it needs is in its movie description, and what may change while it runs reaches it through
// its render session.
class RenderHost {
  public:
    virtual ~RenderHost() = default;

    // The status line.
    virtual void setStatus(std::string_view text) = 0;
    // One of the values shown beside the status line.
    virtual void setValue(RunValue value, std::string_view text) = 0;

    // The "Debug" and "Error" message boxes; they return when the user has answered.
    virtual void showDebug(std::string_view text) = 0;
    virtual void showError(std::string_view text) = 0;

    // The compressor dialog; false when cancelled (the choice is then left as it was).
    virtual bool chooseCompressor(CompressorChoice& choice) = 0;

    // A movie frame or key frame picture for the preview window.
    virtual void showPreview(const FrameImage& image) = 0;

    // A key frame file that could not be opened (the dialog puts the path on the clipboard).
    virtual void keyFrameUnreadable(std::string_view path) = 0;

    // Progress beyond the status line: movie frames done of the planned total.
    virtual void progress(long long framesDone, long long framesPlanned) = 0;

    // The end notice: the run has finished.
    virtual void finished() = 0;
};

// A host that shows nothing.
class NullRenderHost : public RenderHost {
  public:
    void setStatus(std::string_view) override {}
    void setValue(RunValue, std::string_view) override {}
    void showDebug(std::string_view) override {}
    void showError(std::string_view) override {}
    bool chooseCompressor(CompressorChoice&) override { return false; }
    void showPreview(const FrameImage&) override {}
    void keyFrameUnreadable(std::string_view) override {}
    void progress(long long, long long) override {}
    void finished() override {}
};

}  // namespace zr
