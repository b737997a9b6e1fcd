#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "settings/timeline_tracks.h"

namespace zr {

class RenderHost;
class TextTable;
struct MovieSettings;

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

// The row of key frame k in a specification table: the first row whose cell 0 is exactly the
// decimal text of k, or -1. Works without the table's lookup index and never changes the table.
int findSpecRow(const TextTable& table, int keyFrame);

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
};

// The zoom setup of a key frame from the settings record and the key frame's two speeds.
KeyFrameZoomSetup zoomSetupOf(const MovieSettings& settings, int speedIn, int speedOut,
                              bool lastKeyFrame);

// The view of one movie frame: half width L and half height S of the middle rectangle of the
// composed picture (zoom mode), and in left scrolling the first column x to copy.
struct FrameView {
    int halfWidth = 0;   // L
    int halfHeight = 0;  // S
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

  private:
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
KeyFrameSpeeds speedListSpeeds(const TextTable& speedSpecs, int keyFrame, int& speedInForce);

// ---------------------------------------------------------------------------------------------
// The running values of one run besides those kept in MovieSettings.

struct TimelineState {
    int speed = kDefaultSpeed;        // speed in force in Speed mode
    std::vector<int> keyFrameSpeeds;  // speeds per key frame from time stamps; empty in Speed mode
    double rotationSpeed = 0.0;       // degrees added to startRotation per movie frame
    double cycleSpeed = 0.0;          // added to startCycle at every recomposition
    int colorCountStep = 0;           // added to keyColorCount at every recomposition
    double slopeScale = 1.0;          // current slope scale, passed to the composer
    double slopeScaleTarget = 0.0;    // value to reach at the end of the key frame
    double slopeScaleStep = 0.0;      // change per recomposition
    double textureScale = 1.0;        // current texture scale, passed to the composer
    double frameFactor = 1.0;         // Z^(1/n) of the current key frame
    int keyMin = 1;                   // colour range targets of the current key frame
    int keyMax = 0;
    double stretchMinStep = 0.0;  // change of stretchMin / stretchMax per composition
    double stretchMaxStep = 0.0;
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
};

// ---------------------------------------------------------------------------------------------
// The timeline of one run. The render job drives it in this order:
//
//   TimelineEngine timeline(movieSettings(), host, expandPalette);
//   timeline.startColourRange(host.controlText(kIdStartIteration));      // run start step 1
//   ...                                                                   // list, writer, cache
//   timeline.applyFirstKeyFrameRows();                                    // run start step 8
//   ...                                                                   // the movie frame
//   if (!timeline.startSpeeds(timeType, keyFrameCount)) -> run ends      // run start 11-12
//   for k = startFrame ... while k < keyFrameCount:
//       updateColourRange(..., timeline.state(), ...) when slopes / method 4, 5
//       timeline.applyColorCountStep();  then compose key frame k
//       timeline.beginKeyFrame(k, keyFrameCount);  (Debug box: findSpecRow(speedSpecs, k))
//       loop:
//           auto view = timeline.beginFrame();  if (!view) break;
//           if (timeline.needsRecomposition()) {
//               timeline.advanceColoursForComposition(); recompose;
//               timeline.advanceScalesAfterComposition();
//           }
//           zoom: viewFrame(*view);  left scrolling: x = timeline.scrollColumn(), none -> break
//           ... frame output (startRotation += rotationSpeed there) ...
//           if (!timeline.endFrame()) break;  if stop requested break;
//       timeline.endKeyFrame();
//
// The engine works on the MovieSettings it is given (the record during a run, a test's own record
// in tests) and shows texts through the RenderHost.
class TimelineEngine {
  public:
    // `expandPalette` runs whenever the number of key colours changes; it may be empty.
    TimelineEngine(MovieSettings& settings, RenderHost& host,
                   std::function<void(int)> expandPalette = {});

    // Run start, step 1: the Stretched range from "Start iter value" (read as an unsigned
    // integer; 0 means not set): stretchMin, stretchMax, keyMin.
    void startColourRange(std::string_view startIterationText);
    // Run start, steps 2-3: the rows of key frame 0 of the division and colour count lists.
    void applyFirstKeyFrameRows();
    // Run start, steps 4-6: speeds per key frame from time stamps (timeType 1, 2; any other
    // value is Speed mode), the start speed, rotation speed and cycle speed. `keyFrameCount` is
    // the number of key frames of the run. False after the time stamp error (already shown
    // through the host): the run ends. A stop request (settings.stopRequested) ends the time
    // stamp work early without an error: true with no speeds, and the run, which looks for the
    // request before each key frame, makes no frame.
    bool startSpeeds(int timeType, int keyFrameCount);
    // Run start as a whole (steps 1-6), for callers without pictures.
    bool startRun(std::string_view startIterationText, int timeType, int keyFrameCount);

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
    void advanceColoursForComposition();
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

    TimelineState& state() { return state_; }
    const TimelineState& state() const { return state_; }
    const KeyFrameTargets& targets() const { return targets_; }
    // The zoom of the current key frame (valid after beginKeyFrame).
    const KeyFrameZoom& zoom() const { return zoom_; }
    int timeType() const { return timeType_; }

  private:
    void changeColorCount(int step, int minimum);

    MovieSettings& settings_;
    RenderHost& host_;
    std::function<void(int)> expandPalette_;
    TimelineState state_;
    int timeType_ = 0;
    KeyFrameTargets targets_;
    KeyFrameZoom zoom_;
};

}  // namespace zr
