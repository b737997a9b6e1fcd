#include "output/avi_encoder_setup.h"

#include <algorithm>
#include <cerrno>

#include "output/avi_writer.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

namespace zr {

namespace {

constexpr EncoderSetup kEncoderSetups[] = {
    {"msvideo1", AV_PIX_FMT_RGB555LE, false}, {"mjpeg", AV_PIX_FMT_YUVJ420P, false},
    {"libx264", AV_PIX_FMT_YUV420P, true},    {"mpeg4", AV_PIX_FMT_YUV420P, true},
    {"ffv1", AV_PIX_FMT_BGR0, true},          {"huffyuv", AV_PIX_FMT_RGB24, false},
    {"utvideo", AV_PIX_FMT_GBRP, false},      {"cinepak", AV_PIX_FMT_RGB24, true},
};

int clampQuality(int quality) {
    return std::clamp(quality, 0, 100);
}

}  // namespace

EncoderSetup setupFor(std::string_view encoderName) {
    for (const EncoderSetup& setup : kEncoderSetups) {
        if (setup.encoderName == encoderName) {
            return setup;
        }
    }
    return {encoderName, AV_PIX_FMT_BGR24, false};
}

void applyQualityAndKeyFrames(AVCodecContext& context, const std::string& encoderName, int quality,
                              int keyFrameEvery) {
    const int q = clampQuality(quality);
    if (keyFrameEvery > 0) {
        if (encoderName == "msvideo1") {
            // The encoder makes a key frame once keyint_min frames have passed since the last.
            context.keyint_min = keyFrameEvery - 1;
        } else if (setupFor(encoderName).keyFrameInterval) {
            context.gop_size = keyFrameEvery;
        }
    }
    if (encoderName == "mjpeg") {
        // Every frame is coded on its own, so frames coded side by side on threads come out as
        // they would one after another.
        context.thread_count = 0;
        context.thread_type = FF_THREAD_FRAME;
        const int scale = 1 + (100 - q) * 30 / 100;
        context.flags |= AV_CODEC_FLAG_QSCALE;
        context.global_quality = FF_QP2LAMBDA * scale;
        context.qmin = 1;
    } else if (encoderName == "mpeg4") {
        const int scale = 2 + (100 - q) * 29 / 100;
        context.flags |= AV_CODEC_FLAG_QSCALE;
        context.global_quality = FF_QP2LAMBDA * scale;
        context.max_b_frames = 0;
    } else if (encoderName == "libx264") {
        context.thread_count = 0;  // x264 spreads each frame over threads of its own
        const int rateFactor = 18 + (100 - q) * 33 / 100;
        av_opt_set_int(context.priv_data, "crf", rateFactor, 0);
        if (keyFrameEvery > 0) {
            context.keyint_min = std::min(keyFrameEvery, 25);
        }
    }
}

// The error text of a failed encoder start.
std::string compressorFailureText(int code) {
    if (code == AVERROR(ENOMEM)) {
        return std::string(kAviMemoryText);
    }
    // Encoders refuse a size or format they cannot code with these codes (-1 included, which
    // older encoders return for a frame size they do not take, and the code of an external
    // library that refused the settings, such as x264 for an odd width).
    if (code == AVERROR(EINVAL) || code == AVERROR(EPERM) || code == AVERROR(ENOSYS) ||
        code == AVERROR_PATCHWELCOME || code == AVERROR(ERANGE) || code == AVERROR_EXTERNAL) {
        return std::string(kAviUnsupportedText);
    }
    return std::string(kAviCreateCompressedText);
}

}  // namespace zr
