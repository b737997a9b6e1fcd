#pragma once

// The soundtrack file as the writer reads it. Internal to the output library.

#include <cstdint>
#include <string>

#include "output/ffmpeg_objects.h"

namespace zr {

// The soundtrack file opened at its first sound stream.
struct SoundSource {
    ffmpeg::InputPtr input;
    AVStream* stream = nullptr;
};

// Opens the sound file at its first sound stream. Returns false with `error` naming the file and
// what to do when it cannot be read or holds no sound.
bool openSoundSource(const std::string& path, SoundSource& source, std::string& error);

// The length of the sound stream as the file states it; 0 when it does not.
double streamSeconds(const AVFormatContext& input, const AVStream& stream);

// The soundtrack time origin: the first sample of streams that do not start at 0 (transport
// streams) plays at soundtrack time 0.
std::int64_t streamOrigin(const AVStream& stream);

}  // namespace zr
