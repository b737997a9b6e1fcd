#pragma once

// How the AVI writer sets up each FFmpeg encoder it codes frames with. Internal to the output
// library.

#include <string>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zr {

// What each encoder is fed: the pixel layout it codes (the picture is converted to it), and
// whether its key-frame interval is the group-of-pictures size.
struct EncoderSetup {
    std::string_view encoderName;
    AVPixelFormat pixelFormat;
    bool keyFrameInterval;
};

// The setup of an encoder by its FFmpeg name; BGR pixels for one the table does not know.
EncoderSetup setupFor(std::string_view encoderName);

// How the writer's quality (0 ... 100) and key-frame interval reach each encoder:
//
//   MSVC, CRAM  Microsoft Video 1: a key frame every `keyFrameEvery` frames; the encoder has no
//               quality control of its own.
//   DIB         uncompressed: every frame is a key frame; quality has no meaning.
//   MJPG        every frame is a key frame; fixed quantiser 1 + (100 - quality) * 30 / 100, so 100
//               gives 1 (finest) and 0 gives 31.
//   H264, X264  constant rate factor 18 + (100 - quality) * 33 / 100, so 100 gives 18 (visually
//               lossless), the preset 85 gives 22 and 0 gives 51; a key frame at least every
//               `keyFrameEvery` frames.
//   XVID, FMP4  fixed quantiser 2 + (100 - quality) * 29 / 100 (2 ... 31); a key frame every
//               `keyFrameEvery` frames, no B-frames.
//   FFV1, HFYU, ULRG  lossless; quality has no meaning; FFV1 starts a key frame every
//               `keyFrameEvery` frames, the others code every frame on its own.
//   cvid        Cinepak: a key frame every `keyFrameEvery` frames; quality is not adjustable.
//
// A key-frame interval of 0 or less leaves the encoder's own default.
void applyQualityAndKeyFrames(AVCodecContext& context, const std::string& encoderName, int quality,
                              int keyFrameEvery);

// The error text of a failed encoder start: one of the writer's texts.
std::string compressorFailureText(int code);

}  // namespace zr
