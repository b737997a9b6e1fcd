#pragma once

#include <string>

#include "support/frame_image.h"

namespace zr {

// Reads a picture file at its own size: JPEG, BMP (1, 4, 8, 16, 24 and 32 bits a pixel,
// uncompressed or with bit fields, either row order) or PNG, recognised by their content
// whatever the file is called. Returns none for a missing, unreadable, damaged or unknown file,
// and for a path beginning with "http://", which is never fetched.
OptionalImage loadImageFile(const std::string& path);

// True when at least one file matches `nameOrPattern`: a path whose file name part may hold
// the wildcards * (any run of characters) and ? (one character). A pattern matches names
// without regard to letter case; a plain name is looked up as it stands.
bool fileExists(const std::string& nameOrPattern);

// Writes `image` as a PNG file (8 bits a channel, no alpha). On failure returns false with the
// reason in *error when error is not null.
bool savePng(const FrameImage& image, const std::string& path, std::string* error);

}  // namespace zr
