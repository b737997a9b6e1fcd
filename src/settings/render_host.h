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

// Everything a run does with the dialog goes through this interface. The desktop program
// carries each call to the user interface thread and waits for it; the command line prints.
class RenderHost {
public:
    virtual ~RenderHost() = default;

    // The status line (1010).
    virtual void setStatus(std::string_view text) = 0;
    // A value field: current cycle (1106), rotation (1107), iteration (1108), colours (1064).
    virtual void setValue(int controlId, std::string_view text) = 0;

    // Controls that the run reads from the dialog: "Start iter value" (1080), "Start frame"
    // (1067), the speed/time type list (1018), "Dump imag" (1119).
    virtual std::string controlText(int controlId) = 0;
    virtual int controlSelection(int controlId) = 0;
    virtual bool controlChecked(int controlId) = 0;

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

// A host that shows nothing and answers every read with an empty value.
class NullRenderHost : public RenderHost {
public:
    void setStatus(std::string_view) override {}
    void setValue(int, std::string_view) override {}
    std::string controlText(int) override { return {}; }
    int controlSelection(int) override { return 0; }
    bool controlChecked(int) override { return false; }
    void showDebug(std::string_view) override {}
    void showError(std::string_view) override {}
    bool chooseCompressor(CompressorChoice&) override { return false; }
    void showPreview(const FrameImage&) override {}
    void keyFrameUnreadable(std::string_view) override {}
    void progress(long long, long long) override {}
    void finished() override {}
};

}  // namespace zr
