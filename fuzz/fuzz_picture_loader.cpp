// The picture loader (JPEG, PNG, BMP) on any bytes.

#include <cstddef>
#include <cstdint>

#include "input_file.h"
#include "keyframes/image_file.h"

namespace {

// A JPEG in arithmetic coding can describe a plain picture of the largest size the loader takes
// (some 179 million pixels) in a few dozen bytes: decoding it is correct but takes seconds.
// Inputs whose frame header claims more than 4 million pixels are left out to keep the fuzzer
// fast; the size limits themselves are checked by the unit tests.
bool claimsAHugeJpeg(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 9 <= size; ++i) {
        const std::uint8_t marker = data[i + 1];
        const bool frameHeader =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (data[i] == 0xff && frameHeader) {
            const std::uint64_t height = data[i + 5] * 256u + data[i + 6];
            const std::uint64_t width = data[i + 7] * 256u + data[i + 8];
            if (width * height > (std::uint64_t{1} << 22)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static zr::fuzzing::InputFile file("picture");
    if (claimsAHugeJpeg(data, size)) {
        return 0;
    }
    const zr::OptionalImage picture = zr::loadImageFile(file.holding(data, size));
    if (picture && (picture->width() <= 0 || picture->height() <= 0)) {
        __builtin_trap();
    }
    return 0;
}
