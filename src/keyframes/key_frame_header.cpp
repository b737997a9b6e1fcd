#include "keyframes/key_frame_header.h"

#include <fstream>

namespace zr {

KeyFrameStart parseKeyFrameStart(const std::uint8_t (&bytes)[kKeyFrameStartBytes]) {
    KeyFrameStart start;
    for (int i = 0; i < 3; ++i) {
        start.magic[i] = static_cast<char>(bytes[i]);
    }
    start.width = static_cast<std::int32_t>(littleEndian32(bytes + 3));
    start.height = static_cast<std::int32_t>(littleEndian32(bytes + 7));
    return start;
}

KeyFrameStartResult readKeyFrameStart(const std::string& path) {
    KeyFrameStartResult result;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.error = KeyFrameStartError::kCannotOpen;
        return result;
    }
    std::uint8_t bytes[kKeyFrameStartBytes] = {};
    file.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (static_cast<std::size_t>(file.gcount()) != sizeof bytes) {
        result.error = KeyFrameStartError::kTooShort;
        return result;
    }
    result.start = parseKeyFrameStart(bytes);
    return result;
}

}  // namespace zr
