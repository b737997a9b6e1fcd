#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"
#include "support/folder_listing.h"

namespace zr {

// The message box texts of the folder choice.
inline constexpr std::string_view kFolderUnreadable = "Could not open file in this directory";
inline constexpr std::string_view kFolderWrongType = "File is either corrupt or of another type";

struct FolderChoiceResult {
    bool ok = true;
    std::string message;  // one of the two texts above when not ok
    std::string detail;   // which file and why, for the command line
    int frameWidth = 0;
    int frameHeight = 0;
    int keyFrameCount = 0;
};

// What the "..." button does once a folder is chosen: puts the folder into the "Directory"
// edit, reads the picture size from the first key frame file ("ZMB" or "ZMC" magic), or from
// the first picture (listKeyFramePictures) of a folder that holds no key frame file, into the frame
// and movie size edits and "Frames per movie" (for the movie file the controls name), sets the
// controls' keyFrameCount (key frame files, or pictures when there are more of those) and
// recomputes the movie length. When the first key frame or picture cannot be read only the folder
// text has changed.
FolderChoiceResult chooseKeyFrameFolder(Controls& controls, const std::string& folder);

// The "Frames per movie" proposed for a movie of width x height written to `movieFile`: an AVI
// file is split so that each part stays within the old 2 GB limit of AVI files; the other
// containers have no such limit and take the whole movie (0, one file). An empty or unknown
// movie file name is an AVI file.
int proposedFramesPerMovieFor(std::string_view movieFile, int width, int height);

// Once the movie file is known: when "Frames per movie" still holds what was proposed for an
// AVI file of the movie size and the movie file is of another container, it becomes that
// container's proposal (0). A number chosen otherwise stays.
void proposeFramesPerMovieForContainer(Controls& controls);

// Writes the movie length estimate (movieLengthEstimate of the speed list) into the "Movie
// length" edit; nothing happens when the key frame count or the FPS is not above 0.
void updateMovieLengthEstimate(Controls& controls, int keyFrameCount, int fps);

// The estimate with the controls' key frame count and the FPS edit's value: the movie length
// hook of the controls (installed with setMovieLengthHook, or called by recomputeMovieLength).
void recomputeMovieLengthEstimate(Controls& controls);

}  // namespace zr
