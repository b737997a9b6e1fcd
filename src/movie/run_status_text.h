#pragma once

#include <string>

#include "movie/render_host.h"

namespace zr {

// The status line texts of the desktop program, made from a run's events. The command line
// shows them with --verbose.

// "Browsing:N" for the Nth key frame file listed.
std::string browsingText(int keyFrame);
// "Create image M:0,P:3,F:75 00004_1e4.zmb"
std::string statusText(const KeyFrameStarted& event);
// "M:0,P:3,F:76,C:0.000000,D:1.000000,R:0.000000 00004_1e4.zmb", then the writer's error if it
// failed.
std::string statusText(const FrameDone& event);
// How the run ended: "Done! M:...,C:...,D:...,R:..." with the failed movie file, the reason for
// no frame and the key frames that could not be used; or why the run did not go through.
std::string statusText(const RenderOutcome& outcome);
// "film_02.avi: complete and made with these settings, kept", or for a file without a record
// that it is kept as it is.
std::string keptFileText(const FileKept& event);
// "film_02.avi: made with other settings, made again", or why else an existing file is made
// again.
std::string remadeFileText(const FileRemade& event);
// "Frame: 12\nTime: 00:00:10.000", the "Debug" box of a speed line with "Skip render".
std::string speedLineText(const SpeedLineReached& event);
// A colour value beside the status line: "12.500000".
std::string valueText(double value);
// The "Colors" field beside the status line: "12-14-12" for a colour range taken,
// "12-480 12-500" for a stretched range moved on.
std::string colorRangeText(const ColorRangeTaken& event);
std::string colorRangeText(const StretchRangeMoved& event);

}  // namespace zr
