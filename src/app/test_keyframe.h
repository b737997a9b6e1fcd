#pragma once

#include <string>
#include <string_view>

#include "settings/controls.h"
#include "support/frame_image.h"

namespace zr {

class UnreadableKeyFrameListener;
class RenderSession;
struct MovieSpec;

// The slope values that Test computes and the render job goes on from: the lowest count of the
// key frame (less 10) and the slope scale.
struct TestSlopeValues {
    int keyMin = 1;
    double slopeScale = 1.0;
};

inline constexpr std::string_view kNoKeyFrameToTest = "No key frame to test";

// Why Test gave no picture.
enum class TestFailure {
    kNone,
    kBusy,        // a run is under way
    kNoKeyFrame,  // no key frame file, or "Start frame" beyond the last
    kNoPicture,   // the key frame is unreadable, or "Skip render" is on
};

struct TestKeyFrameResult {
    OptionalImage image;  // the coloured key frame, or none with a message
    TestFailure failure = TestFailure::kNone;
    std::string message;
    std::string path;  // the key frame that was tested
    int keyFrame = -1;
};

// What the Test button does, without the preview: refreshes in `spec` (the movie of the last
// Start) mergeCount, waveColoring, hsbWaves (whatever the state of "Wave coloring"), slopes,
// slopePower, slopeRatio, the inside colour and the texture file from the controls, and the
// session's cycle offset; computes the slope scale when slopes are on, and colours the key frame
// numbered "Start frame" (key frames sorted by path, descending, without regard to case) with
// the session's colours and texture, reading it through the session's key frame cache. Answers
// none with "No key frame to test" when the folder holds no key frame or "Start frame" is beyond
// the last; does nothing while a run is under way.
TestKeyFrameResult testKeyFrame(Controls& controls, MovieSpec& spec, TestSlopeValues& slope,
                                RenderSession& session,
                                UnreadableKeyFrameListener* listener = nullptr);

}  // namespace zr
