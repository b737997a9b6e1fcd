#include "output/compressors.h"
#include "support/text_match.h"

#include <algorithm>
#include <cctype>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zr {

const std::vector<Compressor>& knownCompressors() {
    static const std::vector<Compressor> compressors = {
        {"MSVC", "Microsoft Video 1", "msvideo1", false},
        {"CRAM", "Microsoft Video 1", "msvideo1", false},
        {"DIB ", "Uncompressed bitmaps (lossless)", "", true},
        {"MJPG", "Motion JPEG", "mjpeg", false},
        {"H264", "H.264 (x264)", "libx264", false},
        {"X264", "H.264 (x264)", "libx264", false},
        {"FFV1", "FFV1 (lossless)", "ffv1", true},
        {"HFYU", "HuffYUV (lossless)", "huffyuv", true},
        {"ULRG", "Ut Video RGB (lossless)", "utvideo", true},
        {"XVID", "MPEG-4 part 2 (Xvid compatible)", "mpeg4", false},
        {"FMP4", "MPEG-4 part 2", "mpeg4", false},
        {"cvid", "Cinepak", "cinepak", false},
    };
    return compressors;
}

namespace {

bool encoderPresent(const Compressor& compressor) {
    return compressor.encoderName.empty() ||
           avcodec_find_encoder_by_name(compressor.encoderName.c_str()) != nullptr;
}

}  // namespace

std::vector<Compressor> availableCompressors() {
    std::vector<Compressor> available;
    for (const Compressor& compressor : knownCompressors()) {
        if (encoderPresent(compressor)) {
            available.push_back(compressor);
        }
    }
    return available;
}

std::string normalizeFourcc(std::string_view code) {
    std::string fourcc(code.substr(0, 4));
    fourcc.resize(4, ' ');
    return fourcc;
}

const Compressor* findCompressor(std::string_view code) {
    const std::string fourcc = normalizeFourcc(code);
    for (const Compressor& compressor : knownCompressors()) {
        if (equalIgnoringCase(compressor.fourcc, fourcc)) {
            return &compressor;
        }
    }
    return nullptr;
}

bool compressorAvailable(std::string_view code) {
    const Compressor* compressor = findCompressor(code);
    return compressor != nullptr && encoderPresent(*compressor);
}

}  // namespace zr
