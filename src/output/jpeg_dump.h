#pragma once

#include <string>

namespace zr {

class FrameImage;

// Where frame `frameNumber` of movie file `movieNumber` is dumped: the folder of `moviePath`
// (everything up to and including its last separator) followed by "img_%04d_%03d.jpg", e.g.
// img_0002_007.jpg; the widths are minimum widths (frame 1500 of file 0 is img_0000_1500.jpg).
std::string jpegDumpPath(const std::string& moviePath, int movieNumber, int frameNumber);

// Saves the frame as a baseline JPEG of the given quality (0 ... 100), overwriting a file of that
// name. Returns 1 when the file was written, 0 when it could not be created or written (a missing
// folder, a full disk); a file left half written is removed. `errorText`, when given, receives
// the reason of a failure. Never ends the program.
int saveFrameAsJpeg(const std::string& path, const FrameImage& frame, int quality,
                    std::string* errorText = nullptr);

}  // namespace zr
