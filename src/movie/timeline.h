#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "settings/movie_spec.h"
#include "settings/timeline_tracks.h"

namespace zr {

class RenderHost;
struct RunState;

// Asked between steps of long work: true when the work is to end early.
using StopCheck = std::function<bool()>;

// The last key frame of a run stops after this many movie frames at the latest.
inline constexpr int kLastKeyFrameMaxFrames = 601;
// Speed in force in Speed mode while no row of key frame 0 sets one.
inline constexpr int kDefaultSpeed = 150;

// ---------------------------------------------------------------------------------------------
// Zoom arithmetic shared by the timeline, the time stamp speeds and the plan.

// Zoom of one movie frame at `speed` movie frames per key frame: 10^(log10(Z) / speed).
double zoomPerFrame(double zoomFactor, int speed);

// A key frame shows for at most this many movie frames (more than three days at 60 frames a
// second): larger speeds count as this one, so that walking a key frame frame by frame, and
// counting the frames of a ramp, always ends within a fraction of a second.
inline constexpr int kMaxSpeed = 1 << 24;

// Speeds are divisors of the zoom: a speed of 0 or below counts as 1 movie frame per key frame,
// and one above kMaxSpeed as kMaxSpeed.
int usableSpeed(int speed);

// How countFrames starts its count of a ramp.
enum class RampCount {
    kFromFirstStep,   // n = 1, p = 1: counts the frames of a key frame that ramps
    kFromFirstFrame,  // n = 1, p = 1/f0: the count used by the smooth time stamp speeds
};

// Number of movie frames of a ramp from speed a to speed b (movie frames per key frame) with the
// zoom factor Z between key frames. Speeds count as usableSpeed makes them; a zoom factor that
// never leaves the key frame (Z <= 1 or not a number) ends the count after 2 * max(a, b) + 16
// frames.
int countFrames(int speedA, int speedB, double zoomFactor,
                RampCount form = RampCount::kFromFirstStep);

// ---------------------------------------------------------------------------------------------
// The zoom within one key frame, without any picture: which movie frames the key frame shows and
// which middle part of the composed picture each of them cuts out.

struct KeyFrameZoomSetup {
    int speedIn = 1;   // movie frames per key frame at the start (already usable, >= 1)
    int speedOut = 1;  // ... and at the end
    double zoomFactor = 2.0;
    int movieWidth = 0;
    int movieHeight = 0;
    bool lastKeyFrame = false;     // the last key frame of the list has its own end rules
    bool stopOnLastFrame = false;  // "Stop movie directly on last frame"
    bool leftScrolling = false;    // frames are cut sideways (scrollColumn)
    bool subpixel = false;         // frames also get their exact view (FrameView::progress)
    bool operator==(const KeyFrameZoomSetup&) const = default;
};

// The zoom setup of a key frame of the movie from the key frame's two speeds.
KeyFrameZoomSetup zoomSetupOf(const MovieSpec& spec, int speedIn, int speedOut, bool lastKeyFrame);

// The view of one movie frame: half width L and half height S of the middle rectangle of the
// composed picture (zoom mode), and in left scrolling the first column x to copy.
struct FrameView {
    int halfWidth = 0;   // L
    int halfHeight = 0;  // S
    // With sub-pixel zoom, the exact view: the middle progress * W2 x progress * H2 of the
    // composed picture. The zoom progress of the key frame's frames is stretched evenly (in
    // its logarithm) so that the first frame the key frame does not draw would show exactly
    // the middle 1/Z, where the next key frame's first frame begins: every step of the zoom,
    // the one across the switch included, is like its neighbours.
    double progress = 1.0;
};

class KeyFrameZoom {
  public:
    explicit KeyFrameZoom(const KeyFrameZoomSetup& setup);

    // Before a frame: false when the key frame has shown all its frames (frames shown reach n,
    // the zoom progress fell below 1/Z or the zoom per frame below 1). The last key frame is not
    // ended by these rules.
    bool mayBeginFrame() const;
    // Counts the frame, computes its L and S and advances the zoom progress and factor. None when
    // the key frame ends without drawing this frame (L < 3, or 2L < movie width except for the
    // last key frame).
    std::optional<FrameView> viewOfFrame();
    // Left scrolling, when the frame is to be drawn: the column from which the movie frame is
    // copied, then the position moves on for the next frame. None when the position has fallen
    // below 0: the key frame ends without drawing the frame.
    std::optional<double> scrollColumn();
    // After a frame has been written: false when the last key frame stops here ("Stop movie
    // directly on last frame", or its 601st frame).
    bool mayContinueAfterFrame() const;

    int frameCount() const { return frameCount_; }        // n
    int framesCounted() const { return framesCounted_; }  // frames begun in this key frame
    double startFactor() const { return startFactor_; }
    double endFactor() const { return endFactor_; }
    double factorStep() const { return factorStep_; }
    double progress() const { return progress_; }           // p
    double factor() const { return factor_; }               // f
    int composedWidth() const { return composedWidth_; }    // W2 = trunc(Z * movie width)
    int composedHeight() const { return composedHeight_; }  // H2
    // Sub-pixel zoom: the exact progress of a frame is progress^exponent (1 for the last key
    // frame, which zooms on until its end rules stop it).
    double progressExponent() const { return progressExponent_; }

    bool operator==(const KeyFrameZoom&) const = default;

  private:
    double evenProgressExponent() const;

    KeyFrameZoomSetup setup_;
    int frameCount_ = 1;
    double startFactor_ = 1.0;
    double endFactor_ = 1.0;
    double factorStep_ = 0.0;
    double progress_ = 1.0;
    double factor_ = 1.0;
    int framesCounted_ = 0;
    int composedWidth_ = 0;
    int composedHeight_ = 0;
    double scrollX_ = 0.0;
    double scrollStep_ = 0.0;
    double scrollChange_ = 0.0;
    double progressExponent_ = 1.0;
};

// ---------------------------------------------------------------------------------------------
// Speeds of the key frames: Speed mode (rows of the speed list) or time stamps.

struct KeyFrameSpeeds {
    int speedIn = 0;
    int speedOut = 0;
};

// Speed mode: the speeds of key frame k from the speed list. A row of key frame k sets the
// speed in force (`speedInForce`); the row of key frame k + 1 gives the speed at the end of k,
// so the ramp to a new speed happens during the key frame before its row.
KeyFrameSpeeds speedListSpeeds(const SpeedTrack& speedSpecs, int keyFrame, int& speedInForce);

// ---------------------------------------------------------------------------------------------
// The running values of one run besides those of the colouring (ColourState).

struct TimelineState {
    int speed = kDefaultSpeed;        // speed in force in Speed mode
    std::vector<int> keyFrameSpeeds;  // speeds per key frame from time stamps; empty in Speed mode
    double rotationSpeed = 0.0;       // degrees added to the rotation per movie frame
    double cycleSpeed = 0.0;          // added to the cycle offset at every recomposition
    int colorCountStep = 0;           // added to the key colour count at every recomposition
    double slopeScale = 1.0;          // current slope scale, passed to the composer
    double slopeScaleTarget = 0.0;    // value to reach at the end of the key frame
    double slopeScaleStep = 0.0;      // change per recomposition
    double textureScale = 1.0;        // current texture scale, passed to the composer
    double frameFactor = 1.0;         // Z^(1/n) of the current key frame
    int keyMin = 1;                   // colour range targets of the current key frame
    int keyMax = 0;
    double stretchMinStep = 0.0;  // change of stretchMin / stretchMax per composition
    double stretchMaxStep = 0.0;
    bool operator==(const TimelineState&) const = default;
};

// Values computed when a key frame starts.
struct KeyFrameTargets {
    int keyFrame = -1;
    int speedIn = 1;
    int speedOut = 1;
    int frameCount = 1;  // n
    double rotationTarget = 0.0;
    double rotationStep = 0.0;
    bool returnUpright = false;  // an "R" row: the picture turns back upright
    double cycleTarget = 0.0;
    double cycleStep = 0.0;
    double divisionBase = 0.0;
    double divisionTarget = 0.0;
    double divisionRatio = 0.0;   // geometric path: factor per frame
    double divisionFactor = 0.0;  // geometric path: factor of the next recomposition; 0 = none
    bool divisionLinear = false;  // a target of the other sign (or from 0) moves linearly
    double divisionStep = 0.0;    // linear path: change per frame
    double divisionNext = 0.0;    // linear path: value of the next recomposition
    bool operator==(const KeyFrameTargets&) const = default;
};

// ---------------------------------------------------------------------------------------------
// The timeline of one run: the steps that advance a run's state (RunState) from key frame to key
// frame and from frame to frame, for the movie `spec`. The frame loop drives it:
//
//   timeline.startColourRange();  timeline.applyFirstKeyFrameRows();   // run start
//   timeline.startSpeeds(keyFrameCount, stop);
//   per key frame k:
//       timeline.applyColorCountStep();  (compose)  timeline.beginKeyFrame(k, keyFrameCount);
//       while (auto view = timeline.beginFrame()) {
//           if (timeline.needsRecomposition()) {
//               timeline.advanceColoursForComposition(); (compose)
//               timeline.advanceScalesAfterComposition();
//           }
//           left scrolling: timeline.scrollColumn(), none ends the key frame
//           ... frame output (the rotation advances there) ...
//           if (!timeline.endFrame()) break;
//       }
//       timeline.endKeyFrame();
//
// A new number of key colours is shown through `host` (none: not shown).
class Timeline {
  public:
    Timeline(const MovieSpec& spec, RunState& state, RenderHost* host = nullptr);

    // Run start, step 1: the Stretched range from "Start iter value" (0 means not set):
    // stretchMin, stretchMax, keyMin.
    void startColorRange();
    // Run start, steps 2-3: the rows of key frame 0 of the division and colour count lists.
    void applyFirstKeyFrameRows();
    // Run start, steps 4-6: speeds per key frame from time stamps (time modes), the start speed,
    // rotation speed and cycle speed. `keyFrameCount` is the number of key frames of the run.
    // False when the time stamps go back (the movie description refuses that already). A stop
    // asked for while time stamp speeds are worked out leaves them empty.
    bool startSpeeds(int keyFrameCount, const StopCheck& stopRequested = {});

    // Before the first composition of a key frame: the colour count step of the earlier key
    // frames is applied (clamped to 4 ... 1024).
    void applyColorCountStep();
    // Key frame k starts: its speeds, the colour count row, frame count, targets and steps.
    void beginKeyFrame(int keyFrame, int keyFrameCount);

    // Steps of one movie frame before it is drawn: the end checks, rotation and cycle speeds,
    // L and S. None when the key frame ends before this frame is drawn.
    std::optional<FrameView> beginFrame();
    // Whether the colours of this frame change, so that the key frame is composed again.
    bool needsRecomposition() const;
    // Colour values advanced before the composition (cycle offset, division, colour count).
    void advanceColorsForComposition();
    // Slope and texture scales advanced after the composition.
    void advanceScalesAfterComposition();
    // Left scrolling: the column of the composed picture this frame is copied from; none when
    // the key frame ends without drawing the frame.
    std::optional<double> scrollColumn();
    // After the frame has been written: false when the key frame ends here (the last key frame's
    // caps). Advances the division path.
    bool endFrame();
    // The key frame ends: speeds and division take their targets; an "R" row leaves the picture
    // upright.
    void endKeyFrame();

  private:
    void changeColorCount(int step, int minimum);

    const MovieSpec& spec_;
    RunState& state_;
    RenderHost* host_;
};

}  // namespace zr
