#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output/movie_format.h"

namespace zr {

// The split files of a movie in `folder`, in order: `firstName` ("film.avi", or any name with a
// movie extension), then the files numbered from 01 ("film_01.avi", "film_02.avi", ...) as far
// as the highest number present.
// With an empty `firstName` the extension is the one movie extension for which "film" exists,
// or the one for which "film_01" exists too.
// Returns false with `error` naming the file and what to do when the first file is missing, a
// numbered file is missing between others, a file is still being written, or (without
// `firstName`) the folder holds none or films of several extensions.
bool findMoviePieces(const std::string& folder, const std::string& firstName,
                     std::vector<std::string>& pieces, std::string& error);

struct JoinRequest {
    std::vector<std::string> pieces;  // in order
    std::string output;               // the extension chooses the container
    // How to encode the video when it cannot be copied; any choice made here has it encoded.
    VideoRequest video;
    std::string aviCodec = "MJPG";  // the compressor of an AVI that is encoded
    std::optional<std::string> soundtrack;
    double soundtrackOffset = 0.0;  // seconds into the movie where the soundtrack begins
    long long expectedFrames = -1;  // frames the whole movie must hold; -1: not known
};

struct JoinResult {
    std::string error;  // empty when the movie was written
    long long frames = 0;
    bool videoCopied = false;
    bool soundCopied = false;
};

// Puts the pieces together into one movie file, written under partialMovieName() and renamed
// once complete. The video is copied when every piece codes it alike in a codec the output's
// container holds and no video choice was made; otherwise it is decoded and encoded again. The
// soundtrack, when given, runs over the whole movie and fades out at its end. Refuses pieces of
// different sizes or rates, a piece before the last that holds fewer frames than the first (an
// interrupted render leaves such a file), pieces with sound of their own when no soundtrack is
// given, and a result that does not hold every frame of the pieces (or `expectedFrames`).
JoinResult joinMovies(const JoinRequest& request);

}  // namespace zr
