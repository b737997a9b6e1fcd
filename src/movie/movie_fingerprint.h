#pragma once

#include <string>
#include <vector>

#include "settings/movie_spec.h"

namespace zr {

// The fingerprint of everything that decides the frames and the sound of a movie: every setting
// of its description that shapes a picture, the split into files, the codec and its options,
// the key frame files (by name, size and modification time), the texture pictures and the
// soundtrack (the same). The folder and the movie file's name are not part of it, nor what only
// shows (the preview, "Dump images"). 16 hexadecimal digits.
std::string movieFingerprint(const MovieSpec& spec, const std::vector<std::string>& keyFrames);

}  // namespace zr
